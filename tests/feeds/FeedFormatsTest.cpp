#include "CHttpSession.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedDiscovery.h"
#include "FeedTestSupport.h"

#include "LocalServer.h"
#include <QCryptographicHash>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kJsonFeed11 = R"({
  "version": "https://jsonfeed.org/version/1.1",
  "title": "Harbour Radio",
  "home_page_url": "https://radio.example/",
  "description": "Talk from the harbour",
  "items": [
    {"id": "2", "title": "Storm warning", "content_html": "<p>Ships stay in port.</p>",
     "url": "https://radio.example/2", "date_published": "2023-11-14T08:30:00Z",
     "authors": [{"name": "Ada"}],
     "attachments": [{"url": "https://radio.example/2.jpg", "mime_type": "image/jpeg"},
                     {"url": "https://radio.example/2.mp3", "mime_type": "audio/mpeg",
                      "size_in_bytes": 123456}]},
    {"id": "1", "title": "Quiet night", "content_text": "Nothing to report.",
     "external_url": "https://elsewhere.example/1", "date_published": 17},
    {"id": "0", "title": 42},
    "not an item"
  ]
})";

const char* const kJsonFeed10 = R"({"version": "https://jsonfeed.org/version/1",
  "title": "Old style", "author": {"name": "Bo"},
  "items": [{"id": "a", "summary": "Only a summary", "author": {"name": "Cy"}}]})";

// The identity every feed kind shares: MD5 of the plain title and plain description.
RssIdentity ExpectedIdentity(const QString& title, const QString& description)
{
    const QString key = title + description;
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(key.utf16()), key.size() * 2),
        QCryptographicHash::Md5);
    RssIdentity identity{};
    std::copy(digest.begin(), digest.end(), reinterpret_cast<char*>(identity.data()));
    return identity;
}

class FeedFormatsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    void SetUp() override { env.app.SetSession(CRefPtr<CHttpSession>::Make()); }

    void Serve(const std::string& path, const std::string& body, const char* type)
    {
        server.Get(path, [body, type](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, type);
        });
    }

    // Downloads path into a new channel; its items in list order.
    std::vector<CRefPtr<CRssItem>> Download(const char* path, CRefPtr<CRssChannel>& channel)
    {
        channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl({}, server.Url(path));
        EXPECT_EQ(channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post),
                  kResultOk)
            << path;
        std::vector<CRefPtr<CRssItem>> items;
        for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot())
            items.push_back(NodeCast<CRssItem>(node));
        return items;
    }

    LocalServer server;
    FeedEnvironment env;
};

} // namespace

// Feeds found in the wild: RSS in a default namespace, feeds declared only in their XML
// declaration in a legacy code page (one the XML library knows, one it does not).
TEST_F(FeedFormatsTest, NamespacedRssAndLegacyEncodingsReadLikePlainFeeds)
{
    Serve("/namespaced",
          "<?xml version='1.0'?><rss version='2.0' xmlns='http://backend.userland.com/rss2'>"
          "<channel><title>Userland</title><link>http://u.example/</link><ttl>30</ttl>"
          "<item><title>Scripting</title><description>News</description></item>"
          "<item><title>Outliners</title><description>More</description></item>"
          "</channel></rss>",
          "application/rss+xml");
    const std::string cyrillic = "\xCD\xEE\xE2\xEE\xF1\xF2\xE8\x20\xE4\xED\xFF";
    Serve("/cp1251",
          "<?xml version='1.0' encoding='windows-1251'?><rss version='2.0'><channel><title>" +
              cyrillic + "</title><item><title>" + cyrillic +
              "</title><description>1</description></item></channel></rss>",
          "application/rss+xml");
    Serve("/maccyrillic",
          "<?xml version=\"1.0\" encoding=\"x-mac-cyrillic\"?><rss version='2.0'><channel>"
          "<title>\x8D\xEE\xE2\xEE\xF1\xF2\xE8\x20\xE4\xED\xDF</title><item><title>x</title>"
          "</item></channel></rss>",
          "text/xml");
    Serve("/unknown",
          "<?xml version='1.0' encoding='x-no-such-set'?><rss version='2.0'><channel><title>"
          "\xE9</title></channel></rss>",
          "text/xml");

    CRefPtr<CRssChannel> channel;
    auto items = Download("/namespaced", channel);
    EXPECT_EQ(channel->Name(), u"Userland"_s);
    EXPECT_EQ(channel->Info().link, u"http://u.example/"_s);
    EXPECT_EQ(channel->Info().ttl, 30);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->title, u"Scripting"_s);
    EXPECT_EQ(items[1]->Identity(), ExpectedIdentity(u"Outliners"_s, u"More"_s));

    const QString news = u"\u041D\u043E\u0432\u043E\u0441\u0442\u0438 \u0434\u043D\u044F"_s;
    items = Download("/cp1251", channel);
    EXPECT_EQ(channel->Name(), news);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->title, news);

    items = Download("/maccyrillic", channel);
    EXPECT_EQ(channel->Name(), news);
    EXPECT_EQ(items.size(), 1u);

    // A name no table knows is not guessed at.
    auto unknown = CRssChannel::Create(&env.context);
    unknown->SetNameAndUrl(u"x"_s, server.Url("/unknown"));
    EXPECT_NE(unknown->Download(unknown->Url(), FeedOrigin::Live, ChannelNotice::Post), kResultOk);
}

// JSON Feed 1.1 and 1.0 become channels and items with the identity and merge rules of
// every feed; JSON that is no JSON Feed is refused as an unknown kind.
TEST_F(FeedFormatsTest, JsonFeedsBecomeChannelsWithTheSameIdentityAndMerge)
{
    Serve("/feed.json", kJsonFeed11, "application/feed+json");
    Serve("/old.json", kJsonFeed10, "application/json");
    Serve("/other.json", R"({"version": "2", "items": []})", "application/json");
    Serve("/broken.json", R"({"version": "https://jsonfeed.org/version/1.1", "items": [)",
          "application/json");

    CRefPtr<CRssChannel> channel;
    auto items = Download("/feed.json", channel);
    EXPECT_EQ(channel->Name(), u"Harbour Radio"_s);
    EXPECT_EQ(channel->Info().link, u"https://radio.example/"_s);
    EXPECT_EQ(channel->Info().description, u"Talk from the harbour"_s);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->title, u"Storm warning"_s);
    EXPECT_EQ(items[0]->Link(), u"https://radio.example/2"_s);
    EXPECT_EQ(items[0]->PlainDescription(), u" Ships stay in port. "_s);
    EXPECT_EQ(items[0]->Identity(),
              ExpectedIdentity(u"Storm warning"_s, u" Ships stay in port. "_s));
    EXPECT_EQ(items[0]->Author(), u"Ada"_s);
    EXPECT_EQ(items[0]->PubDate(), u"14 Nov 2023 08:30:00 GMT"_s);
    EXPECT_EQ(items[0]->publicationTime, 1699950600);
    EXPECT_EQ(items[0]->Enclosure().url, u"https://radio.example/2.mp3"_s);
    EXPECT_EQ(items[0]->Enclosure().type, u"audio/mpeg"_s);
    EXPECT_EQ(items[0]->Enclosure().length, 123456);
    EXPECT_TRUE(items[0]->HasMp3Enclosure());
    EXPECT_EQ(items[1]->Link(), u"https://elsewhere.example/1"_s);
    EXPECT_EQ(items[1]->Identity(), ExpectedIdentity(u"Quiet night"_s, u"Nothing to report."_s));
    EXPECT_EQ(items[1]->publicationTime, env.Now()); // a number is no date
    EXPECT_TRUE(items[1]->Enclosure().url.isEmpty());

    env.ClearNotifications();
    ASSERT_EQ(channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(channel->ChildCount(), 2);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);

    items = Download("/old.json", channel);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->Author(), u"Cy"_s);
    EXPECT_EQ(items[0]->Identity(), ExpectedIdentity({}, u"Only a summary"_s));

    RssChannelInfo info;
    EXPECT_TRUE(CRssChannel::VerifyChannel(env.context, server.Url("/feed.json"), info));
    EXPECT_EQ(info.title, u"Harbour Radio"_s);
    EXPECT_FALSE(CRssChannel::VerifyChannel(env.context, server.Url("/other.json"), info));

    for (const char* path : {"/other.json", "/broken.json"}) {
        auto refused = CRssChannel::Create(&env.context);
        refused->SetNameAndUrl(u"x"_s, server.Url(path));
        EXPECT_NE(refused->Download(refused->Url(), FeedOrigin::Live, ChannelNotice::Post),
                  kResultOk)
            << path;
    }
    EXPECT_TRUE(env.log.Contains(
        u"*ERROR: Cannot load channel info: '%1'"_s.arg(server.Url("/other.json"))));
    EXPECT_TRUE(
        env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(server.Url("/broken.json"))));
}

// A web page's address leads to the feeds it links to as alternates, the first one the
// default; a feed's own address is taken as it is; a page without any says so.
TEST_F(FeedFormatsTest, DiscoveryOffersThePagesAlternateFeeds)
{
    Serve("/site/index.html",
          "<!DOCTYPE html><html><head><title>Harbour</title>"
          "<link rel='stylesheet' type='text/css' href='style.css'>"
          "<LINK REL='Alternate' TYPE='application/rss+xml' title='News' href='feeds/news.xml'>"
          "<link rel='alternate' hreflang='de' type='text/html' href='/de/'>"
          "<link rel='alternate' type='application/feed+json' title='Talk' "
          "href='https://other.example/talk.json'>"
          "<link rel='alternate' type='application/rss+xml' href='/site/feeds/news.xml'>"
          "</head><body><p>Welcome</body></html>",
          "text/html");
    Serve("/site/feeds/news.xml", "<rss version='2.0'><channel><title>News</title></channel></rss>",
          "application/rss+xml");
    Serve("/plain.html", "<html><head><title>No feeds</title></head><body>Hi</body></html>",
          "text/html");
    const CHttpSession& session = *env.app.Session();

    FeedDiscovery found = DiscoverFeeds(session, server.Url("/site/index.html"));
    ASSERT_TRUE(found.ok) << found.error.toStdString();
    EXPECT_FALSE(found.isFeed);
    ASSERT_EQ(found.feeds.size(), 2u);
    EXPECT_EQ(found.feeds[0].url, server.Url("/site/feeds/news.xml"));
    EXPECT_EQ(found.feeds[0].title, u"News"_s);
    EXPECT_EQ(found.feeds[1].url, u"https://other.example/talk.json"_s);
    EXPECT_EQ(found.feeds[1].type, u"application/feed+json"_s);

    RssChannelInfo info;
    EXPECT_TRUE(CRssChannel::VerifyChannel(env.context, found.feeds[0].url, info));
    EXPECT_EQ(info.title, u"News"_s);

    found = DiscoverFeeds(session, server.Url("/site/feeds/news.xml"));
    EXPECT_TRUE(found.ok && found.isFeed);
    ASSERT_EQ(found.feeds.size(), 1u);
    EXPECT_EQ(found.feeds[0].url, server.Url("/site/feeds/news.xml"));

    found = DiscoverFeeds(session, server.Url("/plain.html"));
    EXPECT_FALSE(found.ok);
    EXPECT_TRUE(found.feeds.empty());
    EXPECT_EQ(found.error,
              u"No feed found at '%1': it is neither a feed nor a page that links to one"_s.arg(
                  server.Url("/plain.html")));

    // A <base> moves where relative addresses point.
    const auto links =
        FindFeedLinks("<head><base href='http://b.example/x/'>"
                      "<link rel='alternate feed' type='application/atom+xml' href='a.xml'>",
                      u"http://page.example/"_s);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].url, u"http://b.example/x/a.xml"_s);
}
