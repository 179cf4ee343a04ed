// calvoria-tool playlist [--channel C] [FILE.m3u]: the prepared audio for any player.
#include "DataCommand.h"
#include "ToolCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// Kilobits per second by version (MPEG 1, else 2 and 2.5), layer (I, II, III) and index.
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

// Seconds of MPEG audio in the bytes: every frame counted, tags and junk stepped over.
double Mp3Seconds(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    if (size >= 10 && bytes.startsWith("ID3"))
        at = 10 + ((qsizetype(data[6] & 0x7F) << 21) | (data[7] & 0x7F) << 14 |
                   (data[8] & 0x7F) << 7 | (data[9] & 0x7F));
    double seconds = 0;
    while (at + 4 <= size) {
        const unsigned char b1 = data[at + 1], b2 = data[at + 2];
        const int version = (b1 >> 3) & 3; // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
        const int layer = (b1 >> 1) & 3;   // 3 layer I, 2 II, 1 III
        const int bitrateIndex = b2 >> 4, rateIndex = (b2 >> 2) & 3;
        if (data[at] != 0xFF || (b1 & 0xE0) != 0xE0 || version == 1 || layer == 0 ||
            bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
            ++at;
            continue;
        }
        const bool mpeg1 = version == 3;
        const int bitrate = kBitrates[mpeg1 ? 0 : 1][3 - layer][bitrateIndex] * 1000;
        const int rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        const int padding = (b2 >> 1) & 1;
        int samples = 0;
        qsizetype length = 0;
        if (layer == 3) {
            samples = 384;
            length = (12 * bitrate / rate + padding) * 4;
        } else {
            samples = layer == 1 && !mpeg1 ? 576 : 1152;
            length = samples / 8 * bitrate / rate + padding;
        }
        seconds += double(samples) / rate;
        at += std::max<qsizetype>(length, 1);
    }
    return seconds;
}

int RunPlaylistCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--channel"_s}, {});
    if (!options.Ok())
        return UsageError("playlist", options.Error());
    if (options.Positional().size() > 1)
        return UsageError("playlist", u"give at most one file"_s);
    QTextStream err(stderr);
    CDataSession session;
    std::vector<CRefPtr<CRssChannel>> channels;
    if (!session.OpenChannels(options.Value(u"--data"_s), options.Value(u"--channel"_s), channels,
                              err))
        return 1;
    struct Entry
    {
        qint64 time;
        QString title;
        QString path;
    };
    std::vector<Entry> entries;
    for (const CRefPtr<CRssChannel>& channel : channels)
        for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot()) {
            auto* item = NodeCast<CRssItem>(node.get());
            if (!item || item->deleted || item->State() != RssItemState::Ready)
                continue;
            const QString path = item->Mp3File();
            if (QFileInfo(path).isFile())
                entries.push_back({item->publicationTime,
                                   channel->Name() + u" - "_s + item->DisplayTitle(), path});
        }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.time > b.time; });

    QByteArray m3u = "#EXTM3U\n";
    for (const Entry& entry : entries) {
        QFile file(entry.path);
        const double seconds = file.open(QIODevice::ReadOnly) ? Mp3Seconds(file.readAll()) : 0;
        m3u += "#EXTINF:" + QByteArray::number(qint64(std::lround(seconds))) + ',' +
               entry.title.simplified().toUtf8() + '\n' +
               QFileInfo(entry.path).absoluteFilePath().toUtf8() + '\n';
    }
    if (options.Positional().isEmpty()) {
        QTextStream(stdout) << QString::fromUtf8(m3u);
        return 0;
    }
    QSaveFile out(options.Positional().first());
    if (!out.open(QIODevice::WriteOnly) || out.write(m3u) != m3u.size() || !out.commit()) {
        err << "cannot write " << options.Positional().first() << ": " << out.errorString() << '\n';
        return 1;
    }
    return 0;
}

const ToolCommandRegistration kPlaylistCommand{
    {"playlist",
     "[--channel C] [FILE.m3u] [--data DIR]\n"
     "an extended M3U playlist of the ready MP3 files, newest first",
     RunPlaylistCommand, "  Without FILE the playlist goes to standard output.\n"}};

} // namespace
