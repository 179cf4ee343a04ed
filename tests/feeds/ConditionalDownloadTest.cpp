#include "CHttpSession.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CWorkQueue.h"
#include "FeedTestSupport.h"
#include "UpdateSchedule.h"

#include "LocalServer.h"
#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::string Feed(const std::string& title, int items)
{
    std::string xml = "<rss version='2.0'><channel><title>" + title + "</title>";
    for (int i = 0; i < items; ++i)
        xml += "<item><title>" + title + " " + std::to_string(i) +
               "</title><description>Body</description></item>";
    return xml + "</channel></rss>";
}

ino_t Inode(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

class ConditionalDownloadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    void SetUp() override
    {
        session = CRefPtr<CHttpSession>::Make();
        env.app.SetSession(session);
        env.app.Prefs()->limitNewsPerChannel = false;
    }

    CRefPtr<CRssChannel> NewChannel(const char* path, CRssGroup* group = nullptr)
    {
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(QString::fromLatin1(path), server.Url(path));
        if (group)
            group->AddChild(channel.get());
        return channel;
    }

    LocalServer server;
    FeedEnvironment env;
    CRefPtr<CHttpSession> session;
};

} // namespace

// An unchanged feed costs a 304 and no work; the validators survive the channel file; a
// server that stops sending its ETag gets plain requests again; a 429 holds back only the
// channel that got it, until its Retry-After has passed.
TEST_F(ConditionalDownloadTest, UnchangedFeedsCostA304AndServersThatAskToWaitAreLeftAlone)
{
    std::atomic<int> taggedHits{0};
    std::string conditionOfThirdRequest = "unset";
    server.Get("/tagged", [](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("If-None-Match") == "\"v1\"") {
            response.status = 304;
            return;
        }
        response.set_header("ETag", "\"v1\"");
        response.set_content(Feed("Tagged", 20), "application/rss+xml");
    });
    server.Get("/dated", [](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("If-Modified-Since") == "Tue, 14 Nov 2023 10:00:00 GMT") {
            response.status = 304;
            return;
        }
        response.set_header("Last-Modified", "Tue, 14 Nov 2023 10:00:00 GMT");
        response.set_content(Feed("Dated", 20), "application/rss+xml");
    });
    server.Get("/dropping", [&](const httplib::Request& request, httplib::Response& response) {
        const int hit = ++taggedHits;
        if (hit == 1)
            response.set_header("ETag", "\"d1\"");
        if (hit == 3)
            conditionOfThirdRequest = request.get_header_value("If-None-Match");
        if (hit > 1 && request.has_header("If-None-Match") &&
            request.get_header_value("If-None-Match") != "\"d1\"")
            response.status = 500;
        response.set_content(Feed("Dropping", 10 + hit), "application/rss+xml");
    });
    server.Get("/busy", [](const httplib::Request& request, httplib::Response& response) {
        if (request.has_header("If-None-Match")) {
            response.status = 429;
            response.set_header("Retry-After", "120");
            return;
        }
        response.set_header("ETag", "\"b1\"");
        response.set_content(Feed("Busy", 5), "application/rss+xml");
    });

    auto root = CRssGroup::Create(&env.context, true);
    auto tagged = NewChannel("/tagged", root.get());
    auto dated = NewChannel("/dated", root.get());
    auto dropping = NewChannel("/dropping", root.get());
    auto busy = NewChannel("/busy", root.get());
    for (const auto& channel : {tagged, dated, dropping, busy}) {
        ASSERT_EQ(channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post),
                  kResultOk);
        ASSERT_EQ(channel->SaveFile(channel->FilePath()), kResultOk);
    }
    const size_t firstBytes = server.Bytes("/tagged") + server.Bytes("/dated");
    EXPECT_EQ(tagged->ETag(), "\"v1\"");
    const ino_t taggedFile = Inode(tagged->FilePath());
    const ino_t datedFile = Inode(dated->FilePath());

    // The validators come back from the channel file with the items they belong to.
    auto reread = NewChannel("/tagged");
    ASSERT_EQ(reread->LoadStoredFile(tagged->FilePath()), kResultOk);
    EXPECT_EQ(reread->ETag(), "\"v1\"");
    EXPECT_EQ(reread->ChildCount(), 20);

    env.ClearNotifications();
    for (const auto& channel : {tagged, dated, reread}) {
        ASSERT_EQ(channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post),
                  kResultOk);
        ASSERT_EQ(channel->SaveFile(channel->FilePath()), kResultOk);
    }
    EXPECT_EQ(server.Hits("/tagged"), 3);
    EXPECT_EQ(server.Hits("/dated"), 2);
    EXPECT_EQ(server.Bytes("/tagged") + server.Bytes("/dated"), firstBytes);
    EXPECT_TRUE(env.log.Contains(u"Channel not modified: '%1'"_s.arg(tagged->Url())));
    EXPECT_EQ(env.log.Lines().filter(u"Updating elements: '%1'"_s.arg(tagged->Url())).size(), 1);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    EXPECT_EQ(Inode(tagged->FilePath()), taggedFile);
    EXPECT_EQ(Inode(dated->FilePath()), datedFile);
    EXPECT_EQ(tagged->ChildCount(), 20);

    // The second answer has no ETag: the third request asks unconditionally.
    ASSERT_EQ(dropping->Download(dropping->Url(), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(dropping->ChildCount(), 12);
    EXPECT_EQ(dropping->ETag(), "");
    ASSERT_EQ(dropping->Download(dropping->Url(), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(conditionOfThirdRequest, "");
    EXPECT_EQ(dropping->ChildCount(), 13);

    // 429: the next group updates pass this channel over, and only this one.
    EXPECT_NE(busy->Download(busy->Url(), FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(busy->ChildCount(), 5);
    CWorkQueue queue; // never started: posted jobs wait and can be counted
    env.context.SetDownloadQueue(&queue);
    UpdateGroup(*root, true);
    EXPECT_EQ(queue.PendingCount(), 3);
    EXPECT_EQ(busy->DownloadState(), CRssChannel::NeverDownloaded);
    env.SetNow(env.Now() + 121);
    UpdateGroup(*root, true);
    EXPECT_EQ(queue.PendingCount(), 4);
    EXPECT_EQ(busy->DownloadState(), CRssChannel::Downloading);
    queue.Stop();
    env.context.SetDownloadQueue(nullptr);
}

// Three downloads in a row that a 301 or 308 led elsewhere move the channel there, items
// and all; temporary redirects never move it.
TEST_F(ConditionalDownloadTest, ThreePermanentRedirectsMoveTheChannelTemporaryOnesNever)
{
    std::atomic<int> oldHits{0};
    server.Get("/new", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(Feed("Moved", 4), "application/rss+xml");
    });
    server.Get("/old", [&](const httplib::Request&, httplib::Response& response) {
        response.status = ++oldHits == 2 ? 308 : 301;
        response.set_header("Location", "/new");
    });
    server.Get("/elsewhere", [](const httplib::Request&, httplib::Response& response) {
        response.status = 302;
        response.set_header("Location", "/new");
    });
    CWorkQueue queue;
    env.context.SetDownloadQueue(&queue);

    auto moved = NewChannel("/old");
    auto visiting = NewChannel("/elsewhere");
    const QString oldPath = moved->FilePath();
    for (int round = 1; round <= 3; ++round) {
        for (const auto& channel : {moved, visiting}) {
            channel->SetDownloadState(CRssChannel::Downloaded);
            ASSERT_EQ(channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post),
                      kResultOk);
            if (round == 1) {
                NodeCast<CRssItem>(channel->ChildrenSnapshot().front())->unread = false;
                channel->Recount(false);
            }
            RequestUpdate(*channel, false);
        }
        if (round < 3) {
            EXPECT_EQ(moved->Url(), server.Url("/old"));
        }
    }
    EXPECT_EQ(moved->Url(), server.Url("/new"));
    EXPECT_EQ(visiting->Url(), server.Url("/elsewhere"));
    EXPECT_TRUE(env.log.Contains(
        u"Channel moved permanently: '%1' -> '%2'"_s.arg(server.Url("/old"), server.Url("/new"))));

    // The identity, and the file name with it, come from the name and the new URL.
    const QString key = u"/old"_s + server.Url("/new");
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(key.utf16()), key.size() * 2),
        QCryptographicHash::Md5);
    EXPECT_EQ(moved->FilePath(), env.app.Prefs()->FeedsFolder() +
                                     QString::fromLatin1(digest.toHex().toUpper()) + u".rss"_s);
    EXPECT_NE(moved->FilePath(), oldPath);
    ASSERT_EQ(moved->SaveFile(moved->FilePath()), kResultOk);
    auto reread = NewChannel("/new");
    ASSERT_EQ(reread->LoadStoredFile(moved->FilePath()), kResultOk);
    EXPECT_EQ(reread->ChildCount(), 4);
    EXPECT_EQ(reread->UnreadCount(), 3);
    queue.Stop();
    env.context.SetDownloadQueue(nullptr);
}
