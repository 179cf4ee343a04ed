// The WAV walk, the encoder's settings as an independent decoder sees them, and the tag.
#include "CMp3Encoder.h"
#include "CSpeechSynth.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray LittleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Chunk(const char* id, const QByteArray& body, qint64 declaredSize = -1)
{
    return QByteArray(id, 4) +
           LittleEndian32(quint32(declaredSize < 0 ? body.size() : declaredSize)) + body;
}

QByteArray FormatChunk()
{
    QByteArray body(16, '\0');
    qToLittleEndian<quint16>(1, body.data());
    qToLittleEndian<quint16>(1, body.data() + 2);
    qToLittleEndian<quint32>(16000, body.data() + 4);
    qToLittleEndian<quint32>(32000, body.data() + 8);
    qToLittleEndian<quint16>(2, body.data() + 12);
    qToLittleEndian<quint16>(16, body.data() + 14);
    return Chunk("fmt ", body);
}

QByteArray Wav(const QByteArray& chunks, const QByteArray& first = "RIFF")
{
    return first + LittleEndian32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

// A 440 Hz tone at 16 kHz as little-endian 16-bit samples.
QByteArray Tone(int samples)
{
    QByteArray pcm(2 * samples, '\0');
    for (int i = 0; i < samples; ++i)
        qToLittleEndian(qint16(8000 * std::sin(2 * M_PI * 440 * i / 16000.0)), pcm.data() + 2 * i);
    return pcm;
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
};

Run RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    return run;
}

struct PcmInfo
{
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    qint64 samples = 0;
};

quint32 LeAt(const QByteArray& bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes.at(at + i));
    return value;
}

PcmInfo ReadPcmInfo(const QByteArray& wav)
{
    PcmInfo info;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const quint32 size = LeAt(wav, at + 4, 4);
        const QByteArray id = wav.mid(at, 4);
        if (id == "fmt " && at + 8 + 16 <= wav.size()) {
            info.channels = int(LeAt(wav, at + 10, 2));
            info.sampleRate = int(LeAt(wav, at + 12, 4));
            info.bits = int(LeAt(wav, at + 22, 2));
        } else if (id == "data") {
            info.samples = std::min<qint64>(size, wav.size() - at - 8) / 2;
            break;
        }
        at += 8 + size + (size & 1);
    }
    return info;
}

// What lame's own decoder makes of an MP3 file.
PcmInfo Decode(const QString& mp3, const QString& scratch)
{
    if (RunProgram(u"lame"_s, {u"--quiet"_s, u"--decode"_s, mp3, scratch}).exitCode != 0)
        return {};
    return ReadPcmInfo(ReadFile(scratch));
}

// Every MPEG audio frame after the ID3v2 tag, read from the frame headers.
struct FrameScan
{
    int frames = 0;
    int otherFrames = 0; // not MPEG-2 Layer III, 64 kbit/s, 16 kHz, mono, no CRC, original
    bool infoHeader = false;
    qsizetype firstFrame = 0;
    bool trailingBytes = false;
};

FrameScan ScanFrames(const QByteArray& mp3)
{
    FrameScan scan;
    qsizetype at = 0;
    if (mp3.startsWith("ID3") && mp3.size() >= 10) {
        const auto b = [&](int i) { return qsizetype(quint8(mp3[i]) & 0x7F); };
        at = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
    }
    scan.firstFrame = at;
    while (at + 4 <= mp3.size()) {
        const quint8 h1 = quint8(mp3[at + 1]), h2 = quint8(mp3[at + 2]), h3 = quint8(mp3[at + 3]);
        if (quint8(mp3[at]) != 0xFF || (h1 & 0xE0) != 0xE0)
            break;
        const bool expected = ((h1 >> 3) & 3) == 2 && ((h1 >> 1) & 3) == 1 && (h1 & 1) == 1 &&
                              (h2 >> 4) == 8 && ((h2 >> 2) & 3) == 2 && (h3 >> 6) == 3 &&
                              ((h3 >> 2) & 1) == 1;
        if (scan.frames == 0) {
            // MPEG-2 mono: the header and 9 bytes of side information come first.
            const QByteArray tag = mp3.mid(at + 4 + 9, 4);
            scan.infoHeader = tag == "Xing" || tag == "Info";
        }
        ++scan.frames;
        scan.otherFrames += expected ? 0 : 1;
        at += 72 * 64000 / 16000 + ((h2 >> 1) & 1);
    }
    scan.trailingBytes = at != mp3.size();
    return scan;
}

// The ID3v2 text frames as Python's standard library reads them: "TIT2\tText" lines.
QStringList PythonTagFrames(const QString& mp3)
{
    static const char* const kReader = R"PY(
import sys
d = open(sys.argv[1], 'rb').read()
if d[:3] != b'ID3':
    sys.exit(1)
end = 10 + ((d[6] << 21) | (d[7] << 14) | (d[8] << 7) | d[9])
codecs = {0: 'latin-1', 1: 'utf-16', 2: 'utf-16-be', 3: 'utf-8'}
p = 10
while p + 10 <= end and d[p] != 0:
    fid = d[p:p + 4].decode('ascii')
    size = int.from_bytes(d[p + 4:p + 8], 'big')
    body = d[p + 10:p + 10 + size]
    p += 10 + size
    enc, raw = body[0], body[1:]
    if fid == 'COMM':
        raw = raw[3:]
        unit = 2 if enc in (1, 2) else 1
        i = 0
        while raw[i:i + unit] != b'\0' * unit:
            i += unit
        raw = raw[i + unit:]
    if fid[0] == 'T' or fid == 'COMM':
        text = raw.decode(codecs[enc]).rstrip('\0')
        sys.stdout.buffer.write((fid + '\t' + text + '\n').encode('utf-8'))
)PY";
    const Run run = RunProgram(u"python3"_s, {u"-c"_s, QString::fromUtf8(kReader), mp3});
    return run.exitCode == 0 ? QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts)
                             : QStringList{u"unreadable"_s};
}

class Mp3EncoderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(encoder.Load(), CMp3Encoder::LoadResult::Loaded)
            << encoder.LoadError().toStdString();
    }

    QString Path(const QString& name) const { return dir.filePath(name); }
    bool Encode(const QByteArray& wavBytes, const Mp3Tag* tag = nullptr)
    {
        EXPECT_TRUE(WriteFile(wav, wavBytes));
        return encoder.Encode(wav, mp3, tag);
    }
    // Lines of the log other than its first.
    QStringList Logged() const { return log.Lines().mid(1); }

    ScopedLog log;
    QTemporaryDir dir;
    CMp3Encoder encoder;
    const QString wav = Path(u"item.wav"_s);
    const QString mp3 = Path(u"item.mp3"_s);
};

using WavWalk = Mp3EncoderTest;

} // namespace

TEST_F(WavWalk, AnyFirstFourBytesAreAcceptedWhenWaveFollows)
{
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", Tone(16000)), "JUNK")));
    EXPECT_EQ(Logged(), QStringList());
    const PcmInfo decoded = Decode(mp3, Path(u"decoded.wav"_s));
    EXPECT_EQ(decoded.sampleRate, 16000);
    EXPECT_NEAR(double(decoded.samples), 16000.0, 800.0);
}

TEST_F(WavWalk, ListChunkBeforeDataIsSkipped)
{
    // An odd-sized chunk also leaves the samples at an odd offset of the mapping.
    const QByteArray list = Chunk("LIST", QByteArray("INFOISFT\x05\0\0\0Test", 17));
    ASSERT_TRUE(Encode(Wav(FormatChunk() + list + Chunk("data", Tone(32000)))));
    const QByteArray withList = ReadFile(mp3);
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", Tone(32000)))));
    EXPECT_EQ(withList, ReadFile(mp3));
    EXPECT_EQ(Logged(), QStringList());
}

TEST_F(WavWalk, ChunkRunningPastTheEndIsRefused)
{
    EXPECT_FALSE(Encode(Wav(FormatChunk() + Chunk("LIST", "abcd", 5))));
    EXPECT_EQ(Logged(), QStringList{u"*ITEM: wav format is incorrect 3: '%1'"_s.arg(mp3)});
    EXPECT_FALSE(QFile::exists(mp3));

    EXPECT_FALSE(Encode(Wav(FormatChunk() + Chunk("data", Tone(100), 202))));
    EXPECT_EQ(Logged().size(), 2);
}

TEST_F(WavWalk, OddDataSizeIgnoresTheLastByte)
{
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", Tone(8000) + QByteArray(1, '\x7f')))));
    const QByteArray odd = ReadFile(mp3);
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", Tone(8000)))));
    EXPECT_EQ(odd, ReadFile(mp3));
}

TEST_F(WavWalk, EmptyDataGivesOnlyTheEncodersFlush)
{
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", {}))));
    EXPECT_EQ(Logged(), QStringList());
    const FrameScan scan = ScanFrames(ReadFile(mp3));
    EXPECT_LE(scan.frames, 3); // the encoder's delay and padding, nothing more
    EXPECT_EQ(scan.otherFrames, 0);
}

TEST_F(WavWalk, FileWithoutChunksHasNoData)
{
    EXPECT_FALSE(Encode(Wav({})));
    EXPECT_EQ(Logged(), QStringList{u"*ITEM: wav format is incorrect 2: '%1'"_s.arg(mp3)});
    EXPECT_FALSE(Encode(Wav(FormatChunk() + Chunk("LIST", "abcd"))));
    EXPECT_EQ(Logged().size(), 2);
    EXPECT_FALSE(QFile::exists(mp3));
}

TEST_F(WavWalk, ShortOrForeignFilesAreNotWav)
{
    const QString incorrect = u"*ITEM: wav format is incorrect: '%1'"_s.arg(mp3);
    EXPECT_FALSE(Encode(QByteArrayLiteral("RIFF\0\0\0\0WAV")));
    EXPECT_FALSE(Encode({}));
    EXPECT_FALSE(Encode(QByteArrayLiteral("RIFF\x24\0\0\0AVI fmt \x10\0\0\0")));
    EXPECT_EQ(Logged(), (QStringList{incorrect, incorrect, incorrect}));
    EXPECT_FALSE(QFile::exists(mp3));
}

TEST_F(Mp3EncoderTest, UnreadableWavAndUncreatableMp3AreLogged)
{
    EXPECT_FALSE(encoder.Encode(Path(u"missing.wav"_s), mp3));
    ASSERT_TRUE(WriteFile(wav, Wav(FormatChunk() + Chunk("data", Tone(100)))));
    const QString unreachable = Path(u"no/such/folder/item.mp3"_s);
    EXPECT_FALSE(encoder.Encode(wav, unreachable));
    EXPECT_EQ(Logged(), (QStringList{u"*ITEM: cannot read wav: '%1'"_s.arg(mp3),
                                     u"*ITEM: cannot create MP3: '%1'"_s.arg(unreachable)}));
}

TEST_F(Mp3EncoderTest, ExistingMp3IsReplaced)
{
    ASSERT_TRUE(WriteFile(mp3, QByteArray(1 << 20, 'x')));
    ASSERT_TRUE(Encode(Wav(FormatChunk() + Chunk("data", Tone(1600)))));
    const QByteArray bytes = ReadFile(mp3);
    EXPECT_LT(bytes.size(), 4096);
    EXPECT_FALSE(bytes.contains("xxxx"));
}

TEST(Mp3EncoderLoad, MissingLibraryOrFunctionIsReportedAndNothingStaysLoaded)
{
    ScopedLog log;
    CMp3Encoder encoder;
    EXPECT_EQ(encoder.Load(u"libmp3lame-not-here.so.0"_s), CMp3Encoder::LoadResult::LibraryMissing);
    EXPECT_FALSE(encoder.IsLoaded());
    EXPECT_FALSE(encoder.LoadError().isEmpty());

    EXPECT_EQ(encoder.Load(u"libc.so.6"_s), CMp3Encoder::LoadResult::FunctionMissing);
    EXPECT_FALSE(encoder.IsLoaded());
    EXPECT_TRUE(encoder.LoadError().contains(u"lame_init"_s)) << encoder.LoadError().toStdString();

    // Without a library nothing is encoded and nothing is logged.
    QTemporaryDir dir;
    const QString wav = dir.filePath(u"a.wav"_s);
    ASSERT_TRUE(WriteFile(wav, Wav(FormatChunk() + Chunk("data", Tone(100)))));
    EXPECT_FALSE(encoder.Encode(wav, dir.filePath(u"a.mp3"_s)));
    EXPECT_FALSE(QFile::exists(dir.filePath(u"a.mp3"_s)));
    EXPECT_EQ(log.Lines().size(), 1);

    EXPECT_EQ(encoder.Load(), CMp3Encoder::LoadResult::Loaded);
    EXPECT_TRUE(encoder.IsLoaded());
    encoder.Unload();
    EXPECT_FALSE(encoder.IsLoaded());
}

TEST_F(Mp3EncoderTest, SpokenNewsDecodesToTheSameLengthAt16kHzMono)
{
    const QString text = u"The city council met on Tuesday to discuss the budget for the new "
                         "library. Road works on the main street will start next month."_s;
    ASSERT_TRUE(CSpeechSynth().Speak(text, wav, Path(u"item.html"_s)));
    const PcmInfo spoken = ReadPcmInfo(ReadFile(wav));
    ASSERT_GT(spoken.samples, 3 * 16000);
    ASSERT_TRUE(encoder.Encode(wav, mp3));

    const PcmInfo decoded = Decode(mp3, Path(u"decoded.wav"_s));
    EXPECT_EQ(decoded.sampleRate, 16000);
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_EQ(decoded.bits, 16);
    EXPECT_NEAR(double(decoded.samples), double(spoken.samples), 0.05 * double(spoken.samples));

    const QByteArray bytes = ReadFile(mp3);
    const FrameScan scan = ScanFrames(bytes);
    EXPECT_FALSE(bytes.startsWith("ID3")); // no tag asked for
    EXPECT_FALSE(scan.infoHeader);
    EXPECT_FALSE(scan.trailingBytes); // no ID3v1 tag either
    EXPECT_EQ(scan.otherFrames, 0);
    // Constant 64 kbit/s: 288 bytes for every 576 samples.
    EXPECT_NEAR(double(scan.frames), double(spoken.samples) / 576, 4.0);
    EXPECT_EQ(RunProgram(u"mpg123"_s, {u"-q"_s, u"-t"_s, mp3}).exitCode, 0);
}

TEST_F(Mp3EncoderTest, TagReadsBackWithIndependentReaders)
{
    ASSERT_TRUE(WriteFile(wav, Wav(FormatChunk() + Chunk("data", Tone(16000)))));
    Mp3Tag tag;
    tag.title = u"Road works on Main Street"_s;
    tag.artist = u"Local News"_s;
    tag.comment = u"http://local.test/road-works"_s;
    tag.time = 1700049600; // 2023-11-15 12:00 UTC, the same day everywhere but the date line
    ASSERT_TRUE(encoder.Encode(wav, mp3, &tag));

    const QByteArray bytes = ReadFile(mp3);
    EXPECT_TRUE(bytes.startsWith("ID3"));
    const FrameScan scan = ScanFrames(bytes);
    EXPECT_FALSE(scan.infoHeader);
    EXPECT_FALSE(scan.trailingBytes);
    EXPECT_GT(scan.frames, 20);

    const QString listed = QString::fromUtf8(RunProgram(u"id3v2"_s, {u"-l"_s, mp3}).out);
    EXPECT_TRUE(
        listed.contains(u"TIT2 (Title/songname/content description): Road works on Main Street"_s))
        << listed.toStdString();
    EXPECT_TRUE(listed.contains(u"TPE1 (Lead performer(s)/Soloist(s)): Local News"_s));
    EXPECT_TRUE(listed.contains(u"TALB (Album/Movie/Show title): Calvoria"_s));

    const QStringList frames = PythonTagFrames(mp3);
    EXPECT_TRUE(frames.contains(u"TYER\t2023"_s)) << frames.join(u' ').toStdString();
    EXPECT_TRUE(frames.contains(u"TDAT\t1511"_s));
    EXPECT_TRUE(frames.contains(u"COMM\thttp://local.test/road-works"_s));

    // The tag is not part of the audio.
    EXPECT_NEAR(double(Decode(mp3, Path(u"decoded.wav"_s)).samples), 16000.0, 800.0);
}

TEST_F(Mp3EncoderTest, TagTextBeyondLatin1IsKept)
{
    ASSERT_TRUE(WriteFile(wav, Wav(FormatChunk() + Chunk("data", Tone(1600)))));
    Mp3Tag tag;
    tag.title = u"Новости дня: 東京 €"_s;
    tag.artist = u"Ελληνικά νέα"_s;
    tag.comment = u"http://example.test/ü/€"_s;
    ASSERT_TRUE(encoder.Encode(wav, mp3, &tag));

    const QStringList frames = PythonTagFrames(mp3);
    EXPECT_TRUE(frames.contains(u"TIT2\tНовости дня: 東京 €"_s)) << frames.join(u' ').toStdString();
    EXPECT_TRUE(frames.contains(u"TPE1\tΕλληνικά νέα"_s));
    EXPECT_TRUE(frames.contains(u"TALB\tCalvoria"_s));
    EXPECT_TRUE(frames.contains(u"COMM\thttp://example.test/ü/€"_s));
    EXPECT_FALSE(frames.join(u' ').contains(u"TYER"_s)); // no time, no year
}
