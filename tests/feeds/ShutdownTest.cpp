// Exit while channel downloads and a long job are still running.
#include "AppStartup.h"
#include "CRssChannel.h"
#include "CWorkQueue.h"
#include "FeedTestSupport.h"
#include "IStartupHost.h"
#include "LocalServer.h"
#include "UpdateSchedule.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::atomic<bool> g_longJobDone{false};

void LongJob(CRefCounted*)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    g_longJobDone = true;
}

// The window side of exit, reduced to the queues.
class QueueHost : public IStartupHost
{
public:
    CWorkQueue downloads;
    CWorkQueue conversions;
    int ShowCommand() const override { return 1; }
    bool ReadBrowserEngineVersion(int&, int&) override { return false; }
    bool CheckSpeechEngine() override { return false; }
    void ShowError(const QString&) override {}
    bool CreateDocumentAndFrame() override { return true; }
    void HideMainWindow() override {}
    void RestorePlacementAndShow(int) override {}
    bool CreateConverter() override { return true; }
    bool DestroyConverter() override { return false; }
    void StartQueues() override
    {
        conversions.Start(1, 0, false);
        downloads.Start(3, 2, true);
    }
    bool StopQueues() override
    {
        const bool a = downloads.Stop();
        const bool b = conversions.Stop();
        return a && b;
    }
};

class Token : public CRefCounted
{
public:
    std::atomic<int> touched{0};
};

void SlowTouch(CRefCounted* arg)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ++static_cast<Token*>(arg)->touched;
}

} // namespace

TEST(Shutdown, RunningDownloadsEndAtOnceAndTheLongJobIsWaitedFor)
{
    LocalServer server;
    server.Get("/stall", [&](const httplib::Request&, httplib::Response& response) {
        while (!server.released)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        response.set_content("<rss/>", "text/xml");
    });
    QElapsedTimer timer;
    {
        FeedEnvironment env;
        CHttpSession::GlobalInit();
        env.app.SetSession(CRefPtr<CHttpSession>::Make());
        QueueHost host;
        env.context.SetDownloadQueue(&host.downloads);
        host.StartQueues();

        std::vector<CRefPtr<CRssChannel>> channels;
        for (int i = 0; i < 8; ++i) {
            channels.push_back(CRssChannel::Create(&env.context));
            channels.back()->SetNameAndUrl(u"c%1"_s.arg(i), server.Url("/stall"));
            RequestUpdate(*channels.back(), false);
        }
        auto token = CRefPtr<Token>::Make();
        host.conversions.Post(LongJob, token.get(), 1);
        while (host.downloads.RunningCount() < 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));

        timer.start();
        EXPECT_TRUE(RunExit(env.app, host));
        EXPECT_LT(timer.elapsed(), 8000) << "aborted transfers must not hold the exit";
        EXPECT_TRUE(g_longJobDone) << "the long job was waited for";
        EXPECT_TRUE(env.log.Contains(u"Queue stopped"_s));
        EXPECT_TRUE(env.log.Contains(u"Exit Done"_s));
        for (const auto& channel : channels)
            EXPECT_NE(channel->DownloadState(), CRssChannel::Downloaded);
        // Everything is destroyed here, with the queues: nothing may be used after that.
    }
    server.released = true;
}

TEST(Shutdown, WorkerStillBusyAfterTheWaitKeepsWhatItUses)
{
    auto token = CRefPtr<Token>::Make();
    {
        CWorkQueue queue;
        queue.SetStopWaitMs(50);
        ASSERT_TRUE(queue.Start(1, 0, true));
        queue.Post(SlowTouch, token.get(), 0);
        while (queue.RunningCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_FALSE(queue.Stop()) << "the worker is still inside its job";
    } // the pool object is gone while its worker runs on
    EXPECT_EQ(token->touched.load(), 0);
    QElapsedTimer timer;
    timer.start();
    while (token->RefCount() > 1 && timer.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(token->touched.load(), 1);
    EXPECT_EQ(token->RefCount(), 1) << "the finished job released its argument";
}
