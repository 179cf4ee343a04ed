// calvoria-tool playlist [--channel C] [FILE.m3u]: the prepared audio for any player.
#include "DataCommand.h"
#include "Mp3Duration.h"
#include "ToolCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

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
        const QFileInfo file(entry.path);
        const qint64 ms = Mp3DurationMs(entry.path, file.size(),
                                        file.lastModified().toSecsSinceEpoch());
        m3u += "#EXTINF:" + QByteArray::number(qint64(std::lround(double(ms) / 1000))) + ',' +
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
