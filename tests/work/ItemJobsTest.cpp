#include "ArticleCache.h"
#include "CArticleReader.h"
#include "CItemJobs.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CVoiceConverter.h"
#include "CWorkQueue.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using State = RssItemState;

namespace {

class ItemJobsTest : public ::testing::Test
{
protected:
    FeedEnvironment env;
    CWorkQueue downloads;   // not started unless a test runs the jobs
    CWorkQueue conversions;
    std::unique_ptr<CVoiceConverter> converter;
    std::unique_ptr<CItemJobs> jobs;
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);

    void SetUp() override
    {
        env.app.hasVoice = true;
        channel->SetNameAndUrl(u"Local news"_s, u"http://127.0.0.1/feed"_s);
        MakeJobs(nullptr);
    }
    void TearDown() override
    {
        downloads.Stop();
        conversions.Stop();
        env.context.SetItemJobs(nullptr);
    }
    // Jobs with a session and a real converter, as the program has them.
    void MakeConvertingJobs()
    {
        CHttpSession::GlobalInit();
        env.app.SetSession(CRefPtr<CHttpSession>::Make());
        converter = std::make_unique<CVoiceConverter>(BinDir());
        ASSERT_TRUE(converter->Initialize());
        MakeJobs(converter.get());
    }
    void MakeJobs(CVoiceConverter* withConverter)
    {
        jobs = std::make_unique<CItemJobs>(env.app, downloads, conversions, withConverter);
        env.context.SetItemJobs(jobs.get());
    }
    CRefPtr<CRssItem> Item(const QString& title, State state, const QString& link = {})
    {
        auto item = CRssItem::Create(&env.context, title, u"Story"_s);
        item->SetLink(link.isEmpty() ? u"http://127.0.0.1:1/"_s + title : link);
        channel->AddChild(item.get());
        item->SetState(state);
        return item;
    }
    void RunQueues()
    {
        conversions.Start(1, 0, false);
        downloads.Start(3, 2, true);
    }
    bool WaitForState(const CRssItem& item, State state, int ms = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        while (item.State() != state && timer.elapsed() < ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return item.State() == state;
    }
};

} // namespace

TEST_F(ItemJobsTest, ConvertTwiceQuicklyPostsOneJob)
{
    auto item = Item(u"Twice"_s, State::None);
    item->RequestConversion({.retry = true});
    item->RequestConversion({.retry = true});
    EXPECT_EQ(item->State(), State::DownloadPending);
    EXPECT_EQ(downloads.PendingCount(), 1);
}

TEST_F(ItemJobsTest, RetryMovesFailedReadyAndMissingItemsBackToThePagePath)
{
    for (State from : {State::Failed, State::Ready, State::FileMissing}) {
        auto item = Item(u"Retry"_s, from);
        item->RequestConversion({});
        EXPECT_EQ(item->State(), from) << "without retry nothing moves";
        item->RequestConversion({.retry = true});
        EXPECT_EQ(item->State(), State::DownloadPending);
    }
    EXPECT_EQ(downloads.PendingCount(), 3);
    auto busy = Item(u"Busy"_s, State::PageCached);
    busy->RequestConversion({.retry = true, .urgent = true});
    EXPECT_EQ(busy->State(), State::PageCached) << "work already due is not asked for again";
}

TEST_F(ItemJobsTest, PodcastsTakeTheirOwnPathButAFailedOneRetriesAsAPage)
{
    auto fresh = Item(u"Fresh"_s, State::None);
    fresh->SetEnclosure({u"http://127.0.0.1:1/a.mp3"_s, 100, u"AUDIO/MPEG"_s});
    fresh->RequestConversion({.preferPodcast = true});
    EXPECT_EQ(fresh->State(), State::PodcastPending);

    auto failed = Item(u"Failed"_s, State::Failed);
    failed->SetEnclosure(fresh->Enclosure());
    EXPECT_FALSE(failed->RequestPodcast({.retry = true})) << "a failed podcast is not retried";
    failed->RequestConversion({.retry = true, .urgent = true, .preferPodcast = true});
    EXPECT_EQ(failed->State(), State::DownloadPending);

    auto ready = Item(u"Ready"_s, State::Ready);
    EXPECT_TRUE(ready->RequestPodcast({.retry = true}));
    EXPECT_EQ(ready->State(), State::PodcastPending);
    EXPECT_EQ(downloads.PendingCount(), 3);
}

TEST_F(ItemJobsTest, ResumingAfterARestartPicksUpWhatWasDue)
{
    auto gone = Item(u"Gone"_s, State::Ready);
    gone->ResumeJobs(true);
    EXPECT_EQ(gone->State(), State::FileMissing) << "a deleted MP3 file";

    auto cachedWithoutPage = Item(u"NoPage"_s, State::PageCached);
    cachedWithoutPage->ResumeJobs(true);
    EXPECT_EQ(cachedWithoutPage->State(), State::PageCached) << "check-only posts nothing";
    cachedWithoutPage->ResumeJobs(false);
    EXPECT_EQ(cachedWithoutPage->State(), State::DownloadPending);
    EXPECT_EQ(downloads.PendingCount(), 1);

    auto cached = Item(u"Cached"_s, State::PageCached);
    ASSERT_TRUE(WriteFile(cached->HtmlFile(), QByteArray(8, '\0') + "<p>page</p>"));
    cached->ResumeJobs(false);
    EXPECT_EQ(conversions.PendingCount(), 1);

    auto podcast = Item(u"Podcast"_s, State::PodcastPending);
    podcast->ResumeJobs(false);
    EXPECT_EQ(downloads.PendingCount(), 2);
}

TEST_F(ItemJobsTest, WithoutSpeechPendingVoiceWorkFails)
{
    env.app.hasVoice = false;
    auto cached = Item(u"Cached"_s, State::PageCached, u"http://example.com/a"_s);
    auto pending = Item(u"Pending"_s, State::DownloadPending, u"http://example.com/b"_s);
    cached->ResumeJobs(false);
    pending->ResumeJobs(false);
    EXPECT_EQ(cached->State(), State::Failed);
    EXPECT_EQ(pending->State(), State::Failed);
    EXPECT_TRUE(env.log.Contains(u"*ITEM: No SAPI: 'http://example.com/a'"_s));
    EXPECT_TRUE(env.log.Contains(u"*ITEM: Downloading, No SAPI: 'http://example.com/b'"_s));
    EXPECT_EQ(downloads.PendingCount() + conversions.PendingCount(), 0);
}

TEST_F(ItemJobsTest, PageIsFetchedSpokenAndEncodedIntoATaggedMp3)
{
    LocalServer server;
    server.Get("/article", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><title>Harbour</title></head><body><article><h1>Harbour</h1>"
            "<p>The new harbour bridge opened this morning after three years of work, and "
            "hundreds of people walked across it before the first cars arrived.</p>"
            "<p>The city council said the bridge would cut travel times across the river "
            "by a quarter for most commuters.</p></article></body></html>",
            "text/html; charset=utf-8");
    });
    ASSERT_NO_FATAL_FAILURE(MakeConvertingJobs());

    auto item = Item(u"Harbour bridge opens"_s, State::None, server.Url("/article"));
    RunQueues();
    item->RequestConversion({});
    ASSERT_TRUE(WaitForState(*item, State::Ready)) << int(item->State());
    EXPECT_GT(QFileInfo(item->Mp3File()).size(), 4000);
    EXPECT_FALSE(QFile::exists(item->HtmlFile()));
    EXPECT_FALSE(QFile::exists(item->WavFile()));
    EXPECT_TRUE(ReadFile(item->Mp3File()).startsWith("ID3")) << "tagged for players";
}

TEST_F(ItemJobsTest, APageTheArticleViewReadIsSpokenWithoutASecondDownload)
{
    LocalServer server;
    server.Get("/article", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><p>Not this one.</p></body></html>", "text/html");
    });
    ASSERT_NO_FATAL_FAILURE(MakeConvertingJobs());
    auto item = Item(u"Harbour bridge opens"_s, State::None, server.Url("/article"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ArticlePageFile(*item)).path()));
    ASSERT_TRUE(WriteArticleCacheFile(
        ArticlePageFile(*item), u"text/html; charset=utf-8"_s, {},
        "<html><body><article><p>The new harbour bridge opened this morning after three years "
        "of work, and hundreds of people walked across it.</p></article></body></html>"));
    RunQueues();
    item->RequestConversion({});
    ASSERT_TRUE(WaitForState(*item, State::Ready)) << int(item->State());
    EXPECT_GT(QFileInfo(item->Mp3File()).size(), 4000);
    EXPECT_EQ(server.Hits("/article"), 0);
    EXPECT_TRUE(QFile::exists(ArticlePageFile(*item))) << "the view keeps its page";
}

TEST_F(ItemJobsTest, TheChannelsOwnVoiceSpeaksItsItems)
{
    LocalServer server;
    server.Get("/article", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><article><p>The new harbour bridge opened this "
                             "morning after three years of work.</p></article></body></html>",
                             "text/html; charset=utf-8");
    });
    ASSERT_NO_FATAL_FAILURE(MakeConvertingJobs());
    RunQueues();

    auto automatic = Item(u"Bridge one"_s, State::None, server.Url("/article"));
    automatic->RequestConversion({});
    ASSERT_TRUE(WaitForState(*automatic, State::Ready));
    // The Japanese voice spells English words out letter by letter.
    channel->SetVoice(u"espeak/jpx/ja"_s);
    auto japanese = Item(u"Bridge two"_s, State::None, server.Url("/article"));
    japanese->RequestConversion({});
    ASSERT_TRUE(WaitForState(*japanese, State::Ready));
    EXPECT_GT(QFileInfo(japanese->Mp3File()).size(), 2 * QFileInfo(automatic->Mp3File()).size());
}

TEST_F(ItemJobsTest, FailuresEndInFailedWithTheItemsLine)
{
    LocalServer server;
    server.Get("/missing.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("not here", "text/plain");
    });
    CHttpSession::GlobalInit();
    env.app.SetSession(CRefPtr<CHttpSession>::Make());

    // Nothing listens on port 1.
    auto unreachable = Item(u"Unreachable"_s, State::None, u"http://127.0.0.1:1/page"_s);
    auto noConverter = Item(u"NoConverter"_s, State::PageCached, u"http://example.com/c"_s);
    ASSERT_TRUE(WriteFile(noConverter->HtmlFile(), QByteArray(8, '\0') + "<p>x</p>"));
    auto podcast = Item(u"Podcast404"_s, State::None, u"http://example.com/p"_s);
    podcast->SetEnclosure({server.Url("/missing.mp3"), 10, u"audio/mpeg"_s});
    auto missingPage = Item(u"Page404"_s, State::None, server.Url("/missing.mp3"));
    RunQueues();
    missingPage->RequestConversion({});
    unreachable->RequestConversion({});
    noConverter->ResumeJobs(false);
    podcast->RequestPodcast({});

    ASSERT_TRUE(WaitForState(*unreachable, State::Failed));
    EXPECT_TRUE(env.log.Contains(u"*ITEM: Cannot download item: 'http://127.0.0.1:1/page'"_s));
    ASSERT_TRUE(WaitForState(*noConverter, State::Failed));
    EXPECT_TRUE(env.log.Contains(u"*ITEM: No convertor: 'http://example.com/c'"_s));
    EXPECT_FALSE(QFile::exists(noConverter->HtmlFile()));
    ASSERT_TRUE(WaitForState(*podcast, State::Failed)) << "an error page is no audio";
    EXPECT_TRUE(env.log.Contains(u"*ITEM: Cannot podcast item: 'http://example.com/p'"_s));
    EXPECT_FALSE(QFile::exists(podcast->Mp3File()));
    ASSERT_TRUE(WaitForState(*missingPage, State::Failed)) << "an error page is not spoken";
    EXPECT_TRUE(env.log.Contains(u"*ITEM: Cannot download item: '%1'"_s.arg(missingPage->Link())));
    EXPECT_FALSE(QFile::exists(missingPage->HtmlFile()));
    EXPECT_EQ(conversions.PendingCount(), 0);
}
