// Playback to a PulseAudio server of the test's own whose sink plays into silence: speed,
// the clock, pause and seek, the end, and what cannot be played.
#include "AudioFixtures.h"
#include "CAudioOutput.h"
#include "SoonAsserts.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// One server and one three-second file for all the tests.
struct Shared
{
    QTemporaryDir dir;
    QString unavailable = CNullAudioServer::Start();
    QString file = dir.filePath(u"three.mp3"_s);
    QString made = MakeToneMp3(file, {.ms = 3000, .gapMs = 100}, {u"-b"_s, u"64"_s});
};

class AudioOutputTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s = new Shared; }
    static void TearDownTestSuite() { delete s; }
    void SetUp() override
    {
        if (!s->unavailable.isEmpty())
            GTEST_SKIP() << "no audio server: " << s->unavailable.toStdString();
        ASSERT_TRUE(s->made.isEmpty()) << s->made.toStdString();
    }
    static QString File(const QString& name) { return s->dir.filePath(name); }
    static inline Shared* s = nullptr;
};

TEST_F(AudioOutputTest, DoubleSpeedPlaysThreeSecondsInOneAndAHalf)
{
    CAudioOutput output;
    output.SetRate(2.0);
    QElapsedTimer clock;
    struct Tick
    {
        qint64 at, ms;
    };
    std::vector<Tick> ticks;
    bool started = false, finished = false;
    QObject::connect(&output, &CAudioOutput::positionChanged, [&](qint64 ms) {
        ticks.push_back({clock.elapsed(), ms});
    });
    QObject::connect(&output, &CAudioOutput::started, [&] { started = true; });
    QObject::connect(&output, &CAudioOutput::finished, [&] { finished = true; });
    QSignalSpy failed(&output, &CAudioOutput::failed);

    ASSERT_TRUE(output.Load(s->file, 0)) << output.ErrorText().toStdString();
    EXPECT_NEAR(output.Duration(), 3000, 27);
    clock.start();
    output.Play();
    ASSERT_SOON(started);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(output.IsPlaying());
    ASSERT_SOON(finished);
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, 1400);
    EXPECT_LE(took, 1900);
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_FALSE(output.IsPlaying());

    // The clock runs at twice real time and tells what is heard, not what was decoded
    // ahead of it (the device holds up to 150 ms, which is 300 ms of the file).
    ASSERT_GE(ticks.size(), 5u);
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i].ms, ticks[i - 1].ms);
    for (const Tick& tick : ticks) {
        if (tick.at > 200 && tick.at < 1300) {
            EXPECT_NEAR(double(tick.ms), 2.0 * double(tick.at), 150) << "at " << tick.at;
        }
    }
    EXPECT_EQ(ticks.back().ms, output.Duration());
}

TEST_F(AudioOutputTest, PauseHoldsTheClockAndSeekMovesIt)
{
    CAudioOutput output;
    output.SetRate(1.0);
    bool finished = false;
    qint64 lastSignalled = -1;
    QObject::connect(&output, &CAudioOutput::finished, [&] { finished = true; });
    QObject::connect(&output, &CAudioOutput::positionChanged,
                     [&](qint64 ms) { lastSignalled = ms; });
    ASSERT_TRUE(output.Load(s->file, 500));
    EXPECT_EQ(output.Position(), 500);

    QElapsedTimer clock;
    clock.start();
    output.Play();
    ASSERT_SOON(output.Position() >= 900);
    EXPECT_NEAR(double(output.Position() - 500), double(clock.elapsed()), 100);
    output.Pause();
    EXPECT_FALSE(output.IsPlaying());
    const qint64 paused = output.Position();
    QTest::qWait(400);
    EXPECT_NEAR(output.Position(), paused, 10);

    output.Seek(2000);
    EXPECT_EQ(output.Position(), 2000);
    EXPECT_EQ(lastSignalled, 2000);
    clock.restart();
    output.Play();
    ASSERT_SOON(output.Position() > 2100);
    ASSERT_SOON(finished);
    // One second of the file, and nothing of what the device held when paused.
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_LE(clock.elapsed(), 1250);

    // Seeking back after the end plays on from there.
    finished = false;
    output.Seek(2500);
    output.Play();
    ASSERT_SOON(finished);
    EXPECT_EQ(output.Position(), output.Duration());
}

TEST_F(AudioOutputTest, WhatCannotBePlayedFailsCleanly)
{
    CAudioOutput output;
    QSignalSpy failed(&output, &CAudioOutput::failed);
    EXPECT_FALSE(output.Load(File(u"missing.mp3"_s), 0));
    EXPECT_TRUE(output.ErrorText().contains(u"does not exist"_s))
        << output.ErrorText().toStdString();
    ASSERT_TRUE(WriteFile(File(u"page.mp3"_s), QByteArray("<html>gone</html>").repeated(300)));
    EXPECT_FALSE(output.Load(File(u"page.mp3"_s), 0));
    EXPECT_FALSE(output.ErrorText().isEmpty());
    EXPECT_TRUE(failed.isEmpty());
    output.Play();
    EXPECT_FALSE(output.IsPlaying());
    EXPECT_EQ(failed.size(), 1);

    // Loading another file while one plays stops the first.
    ASSERT_TRUE(output.Load(s->file, 0));
    output.Play();
    ASSERT_SOON(output.Position() > 100);
    ASSERT_TRUE(output.Load(s->file, 1000));
    EXPECT_FALSE(output.IsPlaying());
    EXPECT_EQ(output.Position(), 1000);
}

// Without any server the player reports that there is no device. Pulse is asked once per
// process, so this runs in a process of its own.
TEST(AudioOutputWithoutDevice, ReportsThatNoDeviceWasFound)
{
    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("CALVORIA_AUDIO_CHILD")) {
        const QString path = dir.filePath(u"short.mp3"_s);
        ASSERT_TRUE(MakeToneMp3(path, {.ms = 500}).isEmpty());
        CAudioOutput output;
        QSignalSpy failed(&output, &CAudioOutput::failed);
        ASSERT_TRUE(output.Load(path, 0));
        output.Play();
        ASSERT_SOON(!failed.isEmpty());
        EXPECT_EQ(failed.first().first().toString(), u"No audio output device was found."_s);
        EXPECT_FALSE(output.IsPlaying());
        return;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"CALVORIA_AUDIO_CHILD"_s, u"1"_s);
    env.insert(u"PULSE_SERVER"_s, u"unix:"_s + dir.filePath(u"nothing-listens-here"_s));
    env.insert(u"XDG_RUNTIME_DIR"_s, dir.path());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {u"--gtest_filter=AudioOutputWithoutDevice.*"_s});
    ASSERT_TRUE(child.waitForFinished(30000)) << "the player hung without a device";
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

} // namespace
