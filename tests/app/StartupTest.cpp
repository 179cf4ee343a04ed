// The start-up sequence with a host that stands in for the window side.
#include "AppStartup.h"
#include "CAppServices.h"
#include "CPreferences.h"
#include "IStartupHost.h"
#include "TestSupport.h"

#include <QDir>
#include <stdexcept>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class FakeHost : public IStartupHost
{
public:
    int showCommand = 1;
    bool frameCreated = true;
    bool throwOnFrame = false;
    QStringList errors;
    int shownWithState = 0;

    int ShowCommand() const override { return showCommand; }
    bool ReadBrowserEngineVersion(int& major, int& minor) override
    {
        major = 6;
        minor = 4;
        return true;
    }
    bool CheckSpeechEngine() override { return false; }
    void ShowError(const QString& text) override { errors << text; }
    bool CreateDocumentAndFrame() override
    {
        if (throwOnFrame)
            throw std::runtime_error("frame");
        return frameCreated;
    }
    void HideMainWindow() override {}
    void RestorePlacementAndShow(int startShowState) override { shownWithState = startShowState; }
    void StartQueues() override { queuesStarted = true; }
    bool StopQueues() override { return !stuckWorker; }
    bool CreateConverter() override { return converterLoads; }
    bool DestroyConverter() override { return converterLoads; }
    bool converterLoads = true;
    bool queuesStarted = false;
    bool stuckWorker = false;
};

class StartupTest : public ::testing::Test
{
protected:
    ScopedHome home;
    FakeHost host;
    std::unique_ptr<CAppServices> app = std::make_unique<CAppServices>(home.File(u"bin"_s));

    void SetUp() override { QDir().mkpath(home.File(u"bin"_s)); }
    void TearDown() override { SetProcessLog(nullptr); }
    QStringList LogLines() const
    {
        QStringList lines;
        for (const QString& l : QString::fromUtf8(ReadFile(home.File(u"bin/log.txt"_s))).split(u'\n'))
            if (l.contains(u'\t'))
                lines << l.section(u'\t', 1);
        return lines;
    }
};

} // namespace

TEST_F(StartupTest, ShowCommandsMapToTheStartStates)
{
    const std::pair<int, int> cases[] = {{1, 1}, {2, 2}, {3, 3}, {5, 1}, {6, 2},
                                         {7, 2}, {10, 1}, {11, 2}, {0, 1}};
    for (auto [command, state] : cases) {
        CAppServices services(home.File(u"bin"_s));
        host.showCommand = command;
        ASSERT_TRUE(RunStartup(services, host));
        EXPECT_EQ(services.startShowState, state) << command;
        EXPECT_EQ(host.shownWithState, state) << command;
        RunExit(services, host);
        SetProcessLog(nullptr);
    }
}

TEST_F(StartupTest, FrameThatCannotBeCreatedEndsQuietly)
{
    host.frameCreated = false;
    EXPECT_FALSE(RunStartup(*app, host));
    EXPECT_TRUE(host.errors.isEmpty()) << "no message box for this one";
    EXPECT_TRUE(LogLines().contains(u"*ERROR: Cannot create document template"_s));
    EXPECT_FALSE(LogLines().contains(u"Hide main window"_s));
}

TEST_F(StartupTest, ExceptionDuringStartUpIsLoggedAndEndsTheProgram)
{
    host.throwOnFrame = true;
    EXPECT_FALSE(RunStartup(*app, host));
    EXPECT_EQ(LogLines().last(), u"*ERROR: Exception on initializng"_s);
}

TEST_F(StartupTest, MissingSpeechEngineIsNoReasonToStop)
{
    ASSERT_TRUE(RunStartup(*app, host));
    EXPECT_FALSE(app->hasVoice);
    EXPECT_TRUE(app->hasIe6);
    EXPECT_TRUE(LogLines().contains(u"IE version 6.4"_s));
    EXPECT_NE(app->Prefs(), nullptr);
    EXPECT_NE(app->Session(), nullptr);
}

TEST_F(StartupTest, UnusableDataRootShowsMessage106)
{
    ASSERT_TRUE(WriteFile(home.File(u"file"_s), "x"));
    ScopedEnv data("XDG_DATA_HOME", home.File(u"file/sub"_s).toUtf8());
    EXPECT_FALSE(RunStartup(*app, host));
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_EQ(host.errors[0], u"Cannot create internal folders. Make sure you have access rights."_s);
    EXPECT_TRUE(RunExit(*app, host));
    EXPECT_EQ(LogLines().last(), u"Exit Done"_s);
    EXPECT_TRUE(LogLines().contains(u"Queue stopped"_s));
}

TEST_F(StartupTest, QueuesStartLastAndAStuckWorkerIsReportedAtExit)
{
    ASSERT_TRUE(RunStartup(*app, host));
    EXPECT_TRUE(host.queuesStarted);
    const QStringList lines = LogLines();
    EXPECT_EQ(lines.indexOf(u"Starting queues"_s) + 1, lines.indexOf(u"Initialization done"_s));
    host.stuckWorker = true;
    EXPECT_FALSE(RunExit(*app, host));
    EXPECT_TRUE(LogLines().contains(u"Internet Session closed"_s));
    EXPECT_EQ(LogLines().last(), u"Exit Done"_s);
}

TEST_F(StartupTest, EncoderThatCannotBeLoadedEndsWithMessage105)
{
    host.converterLoads = false;
    EXPECT_FALSE(RunStartup(*app, host));
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_EQ(host.errors[0], u"MP3 encoder initialization failed."_s);
    const QStringList lines = LogLines();
    EXPECT_EQ(lines.indexOf(u"Creating main converter"_s) + 1,
              lines.indexOf(u"MP3 encoder initialization failed."_s));
}
