// Decoding MP3 files made by lame at several speeds: the length, where seeks land, the
// pitch, the source clock across speed changes and seeks, and files that are not MP3.
#include "AudioFixtures.h"
#include "CMp3Stream.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// 440 Hz, silent from 900 to 1000 ms of every second: the silences mark source time.
constexpr int kGapMs = 100;

class Mp3StreamTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        const TestTone spoken{.sampleRate = 22050, .channels = 1, .gapMs = kGapMs};
        const TestTone podcast{.sampleRate = 44100, .channels = 2, .gapMs = kGapMs};
        for (const QString& error :
             {MakeToneMp3(Path(u"spoken.mp3"_s), spoken, {u"-b"_s, u"64"_s}),
              // As the program's own encoder writes them: no Info header with the length.
              MakeToneMp3(Path(u"untagged.mp3"_s), spoken, {u"-b"_s, u"64"_s, u"-t"_s}),
              MakeToneMp3(Path(u"podcast.mp3"_s), podcast, {u"-b"_s, u"128"_s}),
              MakeToneMp3(Path(u"stereo.mp3"_s), podcast, {u"-b"_s, u"128"_s, u"-t"_s})})
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
    static void TearDownTestSuite() { delete s_dir; }
    static QString Path(const QString& name) { return s_dir->filePath(name); }
    static inline QTemporaryDir* s_dir = nullptr;
};

std::vector<qint16> ReadFrames(CMp3Stream& stream, qint64 frames)
{
    std::vector<qint16> out(size_t(frames * stream.Channels()));
    qint64 got = 0;
    for (qint64 n = 1; got < frames && n > 0; got += n)
        n = stream.Read(out.data() + got * stream.Channels(), frames - got);
    out.resize(size_t(got * stream.Channels()));
    return out;
}

qint64 ReadToEnd(CMp3Stream& stream)
{
    qint64 total = 0;
    while (const size_t got = ReadFrames(stream, 1000).size())
        total += qint64(got) / stream.Channels();
    return total;
}

struct Mark
{
    qint64 outputMs = -1;   // output read before the silence began
    qint64 positionMs = -1; // the stream's source clock there
};

// Reads in 5 ms windows up to the first silent one after sound (first channel).
Mark ReadToSilence(CMp3Stream& stream)
{
    const qint64 window = stream.SampleRate() / 200;
    bool heardSound = false;
    for (qint64 read = 0; read < qint64(stream.SampleRate()) * 10; read += window) {
        const qint64 before = stream.PositionMs();
        const std::vector<qint16> frames = ReadFrames(stream, window);
        double energy = 0;
        for (size_t f = 0; f < frames.size(); f += size_t(stream.Channels()))
            energy += double(frames[f]) * frames[f];
        const bool silent = std::sqrt(energy / double(window)) < 500;
        if (heardSound && silent)
            return {read * 1000 / stream.SampleRate(), before};
        heardSound |= !silent;
    }
    return {};
}

// Of mono frames; a 440 Hz tone crosses zero 880 times a second.
double CrossingsPerSecond(const std::vector<qint16>& frames, int rate)
{
    int crossings = 0;
    for (size_t i = 1; i < frames.size(); ++i)
        crossings += (frames[i - 1] < 0) != (frames[i] < 0);
    return crossings * double(rate) / double(frames.size());
}

TEST_F(Mp3StreamTest, LengthIsExactAndReadingGivesExactlyThatMuch)
{
    struct Case
    {
        const char* file;
        int rate, channels;
        qint64 minMs, maxMs; // the Info header takes off encoder delay and padding
    } cases[] = {{"spoken.mp3", 22050, 1, 4974, 5026},
                 {"podcast.mp3", 44100, 2, 4974, 5026},
                 {"untagged.mp3", 22050, 1, 5000, 5110}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CMp3Stream stream;
        QString error;
        ASSERT_TRUE(stream.Open(Path(QString::fromLatin1(c.file)), &error)) << error.toStdString();
        EXPECT_EQ(stream.SampleRate(), c.rate);
        EXPECT_EQ(stream.Channels(), c.channels);
        EXPECT_GE(stream.DurationMs(), c.minMs);
        EXPECT_LE(stream.DurationMs(), c.maxMs);
        const qint64 frames = ReadToEnd(stream);
        EXPECT_NEAR(frames * 1000 / c.rate, stream.DurationMs(), 1);
        EXPECT_TRUE(stream.AtEnd());
        EXPECT_EQ(stream.PositionMs(), stream.DurationMs());
    }
}

TEST_F(Mp3StreamTest, SpeedKeepsPitchAndTheSourceClock)
{
    CMp3Stream stream;
    QString error;
    ASSERT_TRUE(stream.Open(Path(u"spoken.mp3"_s), &error)) << error.toStdString();
    const int rate = stream.SampleRate();
    const qint64 sourceFrames = ReadToEnd(stream);

    // The silences sit where the file has them, at normal speed...
    stream.SeekMs(3250);
    EXPECT_NEAR(stream.PositionMs(), 3250, 1);
    Mark mark = ReadToSilence(stream);
    EXPECT_NEAR(mark.outputMs, 650, 30);
    EXPECT_NEAR(mark.positionMs, 3900, 30);

    // ...and in half the time at double speed, with the tone still at 440 Hz (880
    // crossings a second; played faster it would be 1760).
    for (double tempo : {2.0, 0.75}) {
        SCOPED_TRACE(tempo);
        stream.SetTempo(tempo);
        stream.SeekMs(0);
        const qint64 frames = ReadToEnd(stream);
        EXPECT_NEAR(double(frames), double(sourceFrames) / tempo, 0.02 * double(sourceFrames));
        EXPECT_NEAR(stream.PositionMs(), stream.DurationMs(), 30);
        EXPECT_TRUE(stream.AtEnd());
    }
    stream.SetTempo(2.0);
    stream.SeekMs(0);
    std::vector<qint16> heard = ReadFrames(stream, rate * 400 / 1000);
    heard.erase(heard.begin(), heard.begin() + rate * 50 / 1000);
    EXPECT_NEAR(CrossingsPerSecond(heard, rate), 880, 40);

    // Speed changed in the middle: the clock neither jumps nor drifts.
    stream.SetTempo(1.0);
    stream.SeekMs(0);
    ReadFrames(stream, rate * 1200 / 1000);
    EXPECT_NEAR(stream.PositionMs(), 1200, 1);
    stream.SetTempo(2.0);
    EXPECT_NEAR(stream.PositionMs(), 1200, 1);
    mark = ReadToSilence(stream);
    EXPECT_NEAR(mark.outputMs, 350, 30);
    EXPECT_NEAR(mark.positionMs, 1900, 30);

    // Seeks are clamped into the file.
    stream.SeekMs(-500);
    EXPECT_EQ(stream.PositionMs(), 0);
    stream.SeekMs(3600 * 1000);
    EXPECT_EQ(stream.PositionMs(), stream.DurationMs());
    ReadToEnd(stream);
    EXPECT_TRUE(stream.AtEnd());
}

TEST_F(Mp3StreamTest, FormatOfTheFirstFrameHoldsForTheWholeFile)
{
    // A podcast stitched from a mono 22 kHz file and a stereo 44.1 kHz one.
    const QByteArray joined = ReadFile(Path(u"untagged.mp3"_s)) + ReadFile(Path(u"stereo.mp3"_s));
    ASSERT_TRUE(WriteFile(Path(u"joined.mp3"_s), joined));
    CMp3Stream stream;
    QString error;
    ASSERT_TRUE(stream.Open(Path(u"joined.mp3"_s), &error)) << error.toStdString();
    ASSERT_EQ(stream.SampleRate(), 22050);
    ASSERT_EQ(stream.Channels(), 1);
    // The stereo file starts at about 5.1 s and is silent from 6.0 to 6.1 s.
    ReadFrames(stream, 22050 * 62 / 10);
    const std::vector<qint16> second = ReadFrames(stream, 22050 * 6 / 10);
    EXPECT_NEAR(CrossingsPerSecond(second, 22050), 880, 40);
    EXPECT_NEAR(double(ReadToEnd(stream) + 22050 * 68 / 10), 22050.0 * 10, 22050.0 / 5);
}

TEST_F(Mp3StreamTest, FilesThatAreNotMp3FailCleanly)
{
    const QByteArray whole = ReadFile(Path(u"spoken.mp3"_s));
    const std::pair<const char*, QByteArray> broken[] = {
        {"empty.mp3", QByteArray()},
        {"page.mp3", QByteArray("<html><body>Not found</body></html>\n").repeated(500)},
        {"zeros.mp3", QByteArray(100000, '\0')},
        {"cut.mp3", whole.left(100)},
    };
    CMp3Stream stream;
    QString error;
    EXPECT_FALSE(stream.Open(Path(u"missing.mp3"_s), &error));
    EXPECT_TRUE(error.contains(u"does not exist"_s)) << error.toStdString();
    for (const auto& [name, bytes] : broken) {
        SCOPED_TRACE(name);
        error.clear();
        ASSERT_TRUE(WriteFile(Path(QString::fromLatin1(name)), bytes));
        EXPECT_FALSE(stream.Open(Path(QString::fromLatin1(name)), &error));
        EXPECT_FALSE(error.isEmpty());
        qint16 frame[2];
        EXPECT_EQ(stream.Read(frame, 1), 0);
    }

    // Noise may pass for frames here and there: reading it ends all the same.
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    ASSERT_TRUE(WriteFile(Path(u"noise.mp3"_s), noise));
    if (stream.Open(Path(u"noise.mp3"_s), &error)) {
        stream.SetTempo(1.5);
        ReadToEnd(stream);
        EXPECT_TRUE(stream.AtEnd());
    }
    // A download cut short: its Info header still tells the whole length.
    ASSERT_TRUE(WriteFile(Path(u"half.mp3"_s), whole.left(whole.size() / 2)));
    ASSERT_TRUE(stream.Open(Path(u"half.mp3"_s), &error));
    EXPECT_NEAR(stream.DurationMs(), 2500, 200);
    EXPECT_NEAR(ReadToEnd(stream) * 1000 / stream.SampleRate(), stream.DurationMs(), 1);
}

} // namespace
