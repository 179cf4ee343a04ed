// Links as a reader follows them and texts as a reader sees them, while the identity of every
// stored item stays what it was.
#include "CHttpSession.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "ChannelFile.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"
#include "Newspaper.h"
#include "TextHelpers.h"
#include "XmlHelpers.h"

#include <gtest/gtest.h>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Read
{
    CRefPtr<CRssChannel> channel;
    std::vector<CRefPtr<CRssItem>> items;
};

// Reads a feed as a live download does, from the given address.
Read ReadFeed(FeedEnvironment& env, const QByteArray& xml,
              const QString& address = u"http://feeds.example.org/news/feed.xml"_s)
{
    Read read;
    read.channel = CRssChannel::Create(&env.context);
    XmlDocPtr doc = ParseXml(xml, address);
    EXPECT_TRUE(doc) << xml.toStdString();
    EXPECT_EQ(
        MergeFeedDocument(*read.channel, doc.get(), address, FeedOrigin::Live, ChannelNotice::None),
        kResultOk);
    for (const CRefPtr<CRssNode>& node : read.channel->ChildrenSnapshot())
        read.items.push_back(NodeCast<CRssItem>(node));
    return read;
}

const char* const kAtom = "<feed xmlns='http://www.w3.org/2005/Atom'>";

} // namespace

TEST(FeedLinks, AtomEntriesTakeTheirPageAndEnclosureInAnyOrder)
{
    FeedEnvironment env;
    const Read read = ReadFeed(
        env,
        QByteArray(kAtom) +
            "<title>T</title><link rel='self' href='http://x.test/feed'/>"
            "<link rel='alternate' type='text/html' href='http://x.test/'/>"
            "<entry><title>Alternate last</title>"
            "<link rel='enclosure' type='audio/mpeg' length='42' href='http://x.test/1.mp3'/>"
            "<link rel='self' href='http://x.test/1.xml'/><link rel='edit' href='http://x.test/e'/>"
            "<link rel='replies' href='http://x.test/r'/><link href='http://x.test/1'/></entry>"
            "<entry><title>Alternate first</title><link rel='alternate' href='http://x.test/2'/>"
            "<link rel='related' href='http://x.test/rel'/><link rel='via' href='http://x.test/v'/>"
            "</entry>"
            "<entry><title>HTML preferred</title>"
            "<link rel='alternate' type='application/pdf' href='http://x.test/3.pdf'/>"
            "<link rel='alternate' type='text/html' href='http://x.test/3'/></entry>"
            "<entry><title>Only audio</title><link rel='self' href='http://x.test/4.xml'/>"
            "<link rel='enclosure' type='audio/mpeg' href='http://x.test/short.mp3'/>"
            "<link rel='enclosure' type='audio/mpeg' length='7' href='http://x.test/4.mp3'/>"
            "</entry></feed>");
    ASSERT_EQ(read.items.size(), 4u);
    EXPECT_EQ(read.channel->Info().link, u"http://x.test/"_s);
    EXPECT_EQ(read.items[0]->Link(), u"http://x.test/1"_s);
    EXPECT_EQ(read.items[0]->Enclosure().url, u"http://x.test/1.mp3"_s);
    EXPECT_EQ(read.items[0]->Enclosure().length, 42);
    EXPECT_TRUE(read.items[0]->HasMp3Enclosure());
    EXPECT_EQ(read.items[1]->Link(), u"http://x.test/2"_s);
    EXPECT_EQ(read.items[1]->Enclosure(), RssEnclosure{});
    EXPECT_EQ(read.items[2]->Link(), u"http://x.test/3"_s);
    // A podcast entry without a page has no link, rather than its audio as one; an
    // enclosure without a length does not count.
    EXPECT_EQ(read.items[3]->Link(), QString());
    EXPECT_EQ(read.items[3]->Enclosure().url, u"http://x.test/4.mp3"_s);
}

TEST(FeedLinks, RssGuidIsTheLinkOnlyWhenItIsAPermalinkAndTheLinkIsMissing)
{
    FeedEnvironment env;
    const Read read = ReadFeed(
        env,
        "<rss version='2.0'><channel><title>T</title>"
        "<item><title>a</title><guid>http://x.test/a</guid></item>"
        "<item><title>b</title><link></link><guid isPermaLink='true'>https://x.test/b</guid></item>"
        "<item><title>c</title><guid isPermaLink='false'>http://x.test/c</guid></item>"
        "<item><title>d</title><guid>tag:x.test,2004:d</guid></item>"
        "<item><title>e</title><guid>http://x.test/e-guid</guid><link>http://x.test/e</link></item>"
        "</channel></rss>");
    ASSERT_EQ(read.items.size(), 5u);
    const QStringList links = {u"http://x.test/a"_s, u"https://x.test/b"_s, QString(), QString(),
                               u"http://x.test/e"_s};
    for (size_t i = 0; i < read.items.size(); ++i)
        EXPECT_EQ(read.items[i]->Link(), links[qsizetype(i)]) << i;
}

TEST(FeedLinks, RelativeLinksResolveAgainstXmlBaseAndTheFeedAddress)
{
    FeedEnvironment env;
    const QByteArray rss = "<rss version='2.0'><channel><title>T</title><link>../</link>"
                           "<item><title>a</title><link>story/1</link>"
                           "<enclosure url='/audio/1.mp3' type='audio/mpeg' length='5'/></item>"
                           "<item xml:base='http://other.test/base/'><title>b</title>"
                           "<link xml:base='sub/'>b.html</link></item>"
                           "<item><title>c</title><link>HTTP://Example.TEST/a%7e b</link></item>"
                           "</channel></rss>";
    const Read live = ReadFeed(env, rss);
    ASSERT_EQ(live.items.size(), 3u);
    EXPECT_EQ(live.channel->Info().link, u"http://feeds.example.org/"_s);
    EXPECT_EQ(live.items[0]->Link(), u"http://feeds.example.org/news/story/1"_s);
    EXPECT_EQ(live.items[0]->Enclosure().url, u"http://feeds.example.org/audio/1.mp3"_s);
    EXPECT_EQ(live.items[1]->Link(), u"http://other.test/base/sub/b.html"_s);
    EXPECT_EQ(live.items[2]->Link(), u"HTTP://Example.TEST/a%7e b"_s); // absolute: as written

    const Read atom = ReadFeed(
        env,
        QByteArray(kAtom) +
            "<title>T</title><link href='/home'/>"
            "<entry xml:base='http://atom.test/2024/'><title>e</title><link href='e.html'/></entry>"
            "</feed>");
    EXPECT_EQ(atom.channel->Info().link, u"http://feeds.example.org/home"_s);
    EXPECT_EQ(atom.items.at(0)->Link(), u"http://atom.test/2024/e.html"_s);

    // A stored file's path is no base: its links stay as they were written.
    const Read stored = ReadFeed(env, rss, env.home.File(u"Feeds/X.rss"_s));
    EXPECT_EQ(stored.items.at(0)->Link(), u"story/1"_s);
    EXPECT_EQ(stored.items.at(1)->Link(), u"http://other.test/base/sub/b.html"_s);
}

TEST(FeedTexts, HtmlTitlesAreDecodedForDisplayAndPlainTitlesShownAsWritten)
{
    FeedEnvironment env;
    const Read read = ReadFeed(
        env, QByteArray(kAtom) +
                 "<title>T</title>"
                 "<entry><title type='html'>AT&amp;amp;T &amp;#x26; Caf&amp;eacute; "
                 "&amp;lt;3</title></entry>"
                 "<entry><title type='text'>History of the &lt;blink&gt; tag</title></entry>"
                 "<entry><title type='html'>Example &lt;b&gt;Atom&lt;/b&gt; &amp;#8230;</title>"
                 "<content type='html'>&lt;p&gt;One&lt;br&gt;two &amp;amp; "
                 "&amp;#x1F600;&lt;/p&gt;</content></entry>"
                 "<entry><title>AT&amp;T &amp; a &lt; b &amp;unknown;</title></entry>"
                 "</feed>");
    ASSERT_EQ(read.items.size(), 4u);
    EXPECT_EQ(read.items[0]->DisplayTitle(), u"AT&T & Café <3"_s);
    EXPECT_EQ(read.items[0]->title, u"AT&amp;T &#x26; Caf&eacute; &lt;3"_s); // kept as read
    EXPECT_EQ(read.items[1]->DisplayTitle(), u"History of the <blink> tag"_s);
    EXPECT_EQ(read.items[2]->DisplayTitle(), u"Example Atom \u2026"_s);
    EXPECT_EQ(read.items[2]->DisplayDescription(), u"One two & \U0001F600"_s);
    EXPECT_EQ(read.items[3]->DisplayTitle(), u"AT&T & a < b &unknown;"_s);
    EXPECT_EQ(ShownFeedText(u"&amp;unknown; &#150; &#0;"_s), u"&unknown; \u2013 \uFFFD"_s);

    // The reading pane's page carries the title as shown.
    XmlDocPtr paper = NewXmlDocument();
    ASSERT_EQ(BuildNewspaper(*read.items[0], paper.get(), reinterpret_cast<xmlNode*>(paper.get())),
              kResultOk);
    EXPECT_TRUE(
        SerializeXml(paper.get()).contains("<title>AT&amp;T &amp; Caf\xC3\xA9 &lt;3</title>"))
        << SerializeXml(paper.get()).toStdString();

    // Markup that never closes is text, and cannot make the decoding slow.
    const QString unclosed = u"<a '"_s.repeated(200001) + u" &amp; x"_s;
    EXPECT_TRUE(LooksLikeHtml(unclosed));
    EXPECT_EQ(HtmlToText(unclosed), u"<a '"_s.repeated(200001) + u" & x"_s);
}

TEST(FeedTexts, Base64ContentIsDecodedAndChannelTextsAreText)
{
    FeedEnvironment env;
    const Read atom10 = ReadFeed(
        env, QByteArray(kAtom) +
                 "<title type='html'>Example &lt;b&gt;Atom&lt;/b&gt;</title>"
                 "<subtitle>What is new</subtitle>"
                 "<entry><title>a</title><content type='application/octet-stream'>"
                 "PHA+RGVjb2RlZDwvcD4=</content></entry>"
                 "<entry><title>b</title><content type='image/png'>not base64!</content></entry>"
                 "</feed>");
    ASSERT_EQ(atom10.items.size(), 2u);
    EXPECT_EQ(atom10.items[0]->Description(), u"<p>Decoded</p>"_s);
    EXPECT_EQ(atom10.items[1]->Description(), u"not base64!"_s);
    EXPECT_EQ(atom10.channel->Info().title, u"Example Atom"_s);
    EXPECT_EQ(atom10.channel->Name(), u"Example Atom"_s);
    EXPECT_EQ(atom10.channel->Info().description, u"What is new"_s);

    const Read atom03 = ReadFeed(
        env, "<feed version='0.3' xmlns='http://purl.org/atom/ns#'>"
             "<title type='application/xhtml+xml' mode='xml'>"
             "<div xmlns='http://www.w3.org/1999/xhtml'>Example\n <b>Atom</b></div></title>"
             "<tagline>Old but read</tagline>"
             "<entry><title mode='base64'>SGVsbG8gJmFtcDsgYnll</title></entry></feed>");
    EXPECT_EQ(atom03.channel->Info().title, u"Example Atom"_s);
    EXPECT_EQ(atom03.channel->Info().description, u"Old but read"_s);
    EXPECT_EQ(atom03.items.at(0)->title, u"Hello &amp; bye"_s);

    const Read rss = ReadFeed(env, "<rss><channel><title>Example &lt;b&gt;RSS&lt;/b&gt;</title>"
                                   "</channel></rss>");
    EXPECT_EQ(rss.channel->Info().title, u"Example RSS"_s);
}

namespace {

// A channel file as earlier versions wrote it: the titles as they were read, a relative link
// kept as it came.
const char* const kStoredFile = R"(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0">
  <channel favorite="false">
    <title>Phone News</title>
    <link>/</link>
    <description></description>
    <lastBuildDate>14 Nov 2023 09:00:00 GMT</lastBuildDate>
    <ttl>15</ttl>
    <generator>Calvoria</generator>
    <item new="0" deleted="0" status="0">
      <title>AT&amp;amp;T &amp;#x26; more</title>
      <link>/phones/1</link>
      <description>&lt;p&gt;Phones&lt;/p&gt;</description>
      <pubDate>13 Nov 2023 10:00:00 GMT</pubDate>
    </item>
    <item new="0" deleted="0" status="0">
      <title>History of the &lt;blink&gt; tag</title>
      <link></link>
      <description>Tags</description>
      <pubDate>13 Nov 2023 09:00:00 GMT</pubDate>
    </item>
  </channel>
</rss>
)";

const char* const kLiveFeed =
    "<rss version='2.0'><channel><title>Phone News</title><link>/</link>"
    "<item><title>AT&amp;amp;T &amp;#x26; more</title><link>/phones/1</link>"
    "<description><![CDATA[<p>Phones</p>]]></description></item>"
    "<item><title>History of the &lt;blink&gt; tag</title><description>Tags</description>"
    "<guid>https://blink.example/history</guid></item></channel></rss>";

} // namespace

TEST(StoredIdentity, ItemsStoredBeforeKeepTheirIdentityAndComeBackAsTheSameNews)
{
    CHttpSession::GlobalInit();
    LocalServer server;
    server.Get("/feed", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kLiveFeed, "application/rss+xml");
    });
    FeedEnvironment env;
    env.app.SetSession(CRefPtr<CHttpSession>::Make());
    const QString path = env.home.File(u"stored.rss"_s);
    ASSERT_TRUE(WriteFile(path, kStoredFile));

    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(path, FeedOrigin::Stored, ChannelNotice::None), kResultOk);
    const auto items = [&] {
        std::vector<CRefPtr<CRssItem>> list;
        for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot())
            list.push_back(NodeCast<CRssItem>(node));
        return list;
    };
    ASSERT_EQ(items().size(), 2u);
    // The digests of the cleaned texts as every earlier version made them.
    EXPECT_EQ(IdentityHex(items()[0]->Identity()), u"D9410220B7EFC687828727A708F2662F"_s);
    EXPECT_EQ(IdentityHex(items()[1]->Identity()), u"15E182FBB68F73399514C3A0BB3AF77E"_s);
    EXPECT_EQ(items()[0]->DisplayTitle(), u"AT&T & more"_s);
    EXPECT_EQ(items()[1]->DisplayTitle(), u"History of the <blink> tag"_s);

    ASSERT_EQ(channel->Download(server.Url("/feed"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    ASSERT_EQ(items().size(), 2u);
    EXPECT_EQ(channel->UnreadCount(), 0);
    // Only the links are brought up to date.
    EXPECT_EQ(items()[0]->Link(), server.Url("/phones/1"));
    EXPECT_EQ(items()[1]->Link(), u"https://blink.example/history"_s);

    // Saved and read again, the titles and identities are the same.
    ASSERT_TRUE(WriteFile(path, SerializeChannelFile(*channel)));
    auto again = CRssChannel::Create(&env.context);
    ASSERT_EQ(again->Download(path, FeedOrigin::Stored, ChannelNotice::None), kResultOk);
    const CRssNode::Children reread = again->ChildrenSnapshot();
    ASSERT_EQ(reread.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(reread[i]->Identity(), items()[i]->Identity());
        EXPECT_EQ(NodeCast<CRssItem>(reread[i])->title, items()[i]->title);
    }
}
