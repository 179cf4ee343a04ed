// Feeds as they are written: a slip in the markup loses what it breaks, never the whole
// feed, and what holds no feed still fails.
#include "LooseFeed.h"
#include "CHttpSession.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class LooseFeedTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }
    void SetUp() override { env.app.SetSession(CRefPtr<CHttpSession>::Make()); }

    // Every path is served before the first address is asked for.
    void Serve(const std::string& path, const QByteArray& body)
    {
        server.Get(path, [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(body.toStdString(), "application/rss+xml");
        });
    }

    static std::vector<CRefPtr<CRssItem>> Items(CRssChannel& channel)
    {
        std::vector<CRefPtr<CRssItem>> items;
        for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot())
            items.push_back(NodeCast<CRssItem>(node));
        return items;
    }

    static QStringList Titles(CRssChannel& channel)
    {
        QStringList titles;
        for (const CRefPtr<CRssItem>& item : Items(channel))
            titles << item->title;
        return titles;
    }

    QStringList LogAbout(const QString& url) const { return env.log.Lines().filter(url); }

    LocalServer server;
    FeedEnvironment env;
};

QByteArray Item(const QByteArray& title, const QByteArray& description)
{
    return "<item><title>" + title + "</title><description>" + description +
           "</description></item>\n";
}

QByteArray Head(const QByteArray& channelTitle)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>" +
           channelTitle + "</title>\n";
}

QByteArray Rss(const QByteArray& channelTitle, const QByteArray& items)
{
    return Head(channelTitle) + items + "</channel></rss>\n";
}

} // namespace

TEST_F(LooseFeedTest, HtmlEntitiesAreReadAsTheirCharactersButNotInsideCdata)
{
    Serve("/entities",
          Rss("Caf&eacute; News",
              Item("Caf&eacute; &amp; bar&hellip;", "A&nbsp;B, &Eacute;t&eacute; &#233;") +
                  Item("Plain", "<![CDATA[Fish &nbsp; <b>chips</b>]]><!-- &bogus; & -->") +
                  Item("Last &mdash; one", "&lt;b&gt;bold&lt;/b&gt;")));
    const QString url = server.Url("/entities");
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);

    EXPECT_EQ(channel->Info().title, u"Caf\u00E9 News"_s);
    EXPECT_EQ(Titles(*channel),
              (QStringList{u"Caf\u00E9 & bar\u2026"_s, u"Plain"_s, u"Last \u2014 one"_s}));
    const auto items = Items(*channel);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->Description(), u"A\u00A0B, \u00C9t\u00E9 \u00E9"_s);
    EXPECT_EQ(items[1]->Description(), u"Fish &nbsp; <b>chips</b>"_s);
    EXPECT_EQ(items[2]->Description(), u"<b>bold</b>"_s);
    // One line says what was wrong, with the feed's address; the download is no failure.
    const QStringList lines = LogAbout(url);
    EXPECT_TRUE(lines.contains(u"Channel is not well-formed XML (line 5: Entity 'mdash' not "
                               "defined), read with 7 references repaired: '%1'"_s.arg(url)))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.filter(u"*ERROR"_s).isEmpty());

    // A second download of the same feed adds nothing.
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(channel->ChildCount(), 3);
}

TEST_F(LooseFeedTest, SlipsInTheMarkupLoseOnlyWhatTheyBreak)
{
    // A bare "&" and "<" in texts, an end tag without its ">", a feed without its last ">".
    QByteArray slips = Rss("AT&T news", Item("AT&T & you", "1 < 2 &  3") +
                                            "<item><title>Open</title\n<link>http://a.test/1</link>"
                                            "</item>\n" +
                                            Item("Third", "Three"));
    slips.chop(2);
    Serve("/slips", slips);
    // Cut short inside its third item: the two before it are whole, the third is not.
    const QByteArray whole = Item("One", "1") + Item("Two", "2");
    Serve("/cut", Head("Cut") + whole + "<item><title>Three</title><description>thr");
    Serve("/cut-twice", Head("Cut") + whole + Item("Three", "three") + "<item><title>Fo");
    // Nothing but bare ampersands is read at once.
    Serve("/many", Rss("Many", Item("Many", QByteArray(1024 * 1024, '&'))));

    const QString url = server.Url("/slips");
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(channel->Info().title, u"AT&T news"_s);
    EXPECT_EQ(Titles(*channel), (QStringList{u"AT&T & you"_s, u"Open"_s, u"Third"_s}));
    const auto items = Items(*channel);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->Description(), u"1 < 2 &  3"_s);
    EXPECT_EQ(items[1]->Link(), u"http://a.test/1"_s);
    EXPECT_EQ(LogAbout(url).filter(u"not well-formed"_s).size(), 1);

    const QString cut = server.Url("/cut");
    auto cutChannel = CRssChannel::Create(&env.context);
    ASSERT_EQ(cutChannel->Download(cut, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(Titles(*cutChannel), (QStringList{u"One"_s, u"Two"_s}));
    EXPECT_EQ(LogAbout(cut).filter(u"read what is whole"_s).size(), 1);
    // Read whole later, the third item comes once, with its whole text.
    ASSERT_EQ(cutChannel->Download(server.Url("/cut-twice"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    QStringList titles = Titles(*cutChannel);
    titles.sort();
    EXPECT_EQ(titles, (QStringList{u"One"_s, u"Three"_s, u"Two"_s}));
    for (const CRefPtr<CRssItem>& item : Items(*cutChannel))
        EXPECT_EQ(item->Description().size(), item->title == u"Three"_s ? 5 : 1);

    // A bound against a hang, not a speed target: generous enough for sanitizer builds.
    QElapsedTimer timer;
    timer.start();
    auto many = CRssChannel::Create(&env.context);
    EXPECT_EQ(many->Download(server.Url("/many"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_LT(timer.elapsed(), 60000);
    EXPECT_EQ(Titles(*many), QStringList{u"Many"_s});
}

TEST_F(LooseFeedTest, WhatHoldsNoFeedFailsAsBefore)
{
    const std::vector<std::pair<std::string, QByteArray>> bodies{
        {"/page", "<html><head><title>Not found</title></head><body>&nbsp;<p>Gone & lost</body>"},
        {"/empty", "<rss version=\"2.0\"><channel><foo>&nbsp;</foo>"},
        {"/noise", "\x01\x02 & not <xml at all"}};
    for (const auto& [path, body] : bodies)
        Serve(path, body);
    Serve("/good", Rss("Good", Item("Kept", "k")));

    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(server.Url("/good"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    for (const auto& [path, body] : bodies) {
        const QString url = server.Url(path.c_str());
        XmlLoadError strict;
        ASSERT_FALSE(ParseXml(body, url, &strict));
        // The code of the strict reading, its log lines, and the news kept.
        EXPECT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post),
                  LoadErrorCode(strict))
            << path;
        EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(url))) << path;
        EXPECT_TRUE(LogAbout(url).filter(u"not well-formed"_s).isEmpty()) << path;
        EXPECT_EQ(Titles(*channel), QStringList{u"Kept"_s}) << path;
    }

    // Our own channel files are read strictly: a damaged one is not read loosely.
    const QString stored = env.home.Path() + u"/stored.rss"_s;
    QFile file(stored);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Rss("Stored", Item("A&nbsp;B", "x")));
    file.close();
    auto fromFile = CRssChannel::Create(&env.context);
    EXPECT_EQ(fromFile->Download(stored, FeedOrigin::Stored, ChannelNotice::None) & 0xFFFFF000u,
              kParseErrorBase);
    EXPECT_EQ(fromFile->ChildCount(), 0);
}

TEST_F(LooseFeedTest, Rss10WithPrefixedElementsIsRead)
{
    auto channel = CRssChannel::Create(&env.context);
    const QString path = FeedEnvironment::TestData(u"feeds/rss10-no-default-namespace.rdf"_s);
    ASSERT_EQ(channel->Download(path, FeedOrigin::Stored, ChannelNotice::None), kResultOk);
    EXPECT_EQ(channel->Info().title, u"Science Notes"_s);
    EXPECT_EQ(channel->Info().link, u"http://science.example.net/"_s);
    EXPECT_EQ(Titles(*channel), QStringList{u"River water study"_s});
    EXPECT_EQ(Items(*channel).at(0)->Link(), u"http://science.example.net/1"_s);

    // The usual prefix, beside a default namespace that is RSS 1.0 as well.
    Serve("/rss-prefix",
          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
          "xmlns=\"http://purl.org/rss/1.0/\" xmlns:rss=\"http://purl.org/rss/1.0/\">"
          "<rss:channel><rss:title>Prefixed</rss:title></rss:channel>"
          "<rss:item><rss:title>First</rss:title></rss:item>"
          "<item><title>Second</title></item></rdf:RDF>");
    auto prefixed = CRssChannel::Create(&env.context);
    ASSERT_EQ(prefixed->Download(server.Url("/rss-prefix"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(prefixed->Info().title, u"Prefixed"_s);
    EXPECT_EQ(Titles(*prefixed), (QStringList{u"First"_s, u"Second"_s}));
}

TEST(ReferenceRepair, RepairsReferencesAndLeavesTextSectionsAlone)
{
    qsizetype repaired = 0;
    const QByteArray kept = "<a t=\"x&amp;y\"><![CDATA[&nbsp; & <]]><!-- &x; < --><?pi & ?>"
                            "&#233;&#x20AC;&lt;&apos;</a>";
    EXPECT_EQ(RepairXmlReferences(kept, repaired), kept);
    EXPECT_EQ(repaired, 0);

    EXPECT_EQ(RepairXmlReferences("<a t=\"&eacute;\">&hellip;&Eacute;&foo; & &#0;&#X41;&#12 a < b "
                                  "a<=b</a>",
                                  repaired),
              QByteArray("<a t=\"&#233;\">&#8230;&#201;&amp;foo; &amp; &#65533;&#65;&amp;#12 "
                         "a &lt; b a&lt;=b</a>"));
    EXPECT_EQ(repaired, 10);

    // Entities a document declares itself are not taken for HTML's.
    const QByteArray declaring = "<!DOCTYPE a [<!ENTITY nbsp \"x\">]><a>&nbsp; & &eacute;</a>";
    EXPECT_EQ(RepairXmlReferences(declaring, repaired), declaring);
    EXPECT_EQ(repaired, 0);
    // A reference cut off at the end, an unfinished section.
    EXPECT_EQ(RepairXmlReferences("<a>&nbsp", repaired), QByteArray("<a>&amp;nbsp"));
    EXPECT_EQ(RepairXmlReferences("<a><![CDATA[&nbsp;", repaired),
              QByteArray("<a><![CDATA[&nbsp;"));
    EXPECT_EQ(repaired, 0);
}

// Read whole or not at all: a text past the XML library's own 10 MB, and a few bytes that
// are not UTF-8 in a feed that says it is.
TEST_F(LooseFeedTest, TextOverTheParsersLimitIsReadWholeAndKeptWhole)
{
    // 12 MB of text that is not all ASCII, which the library reads through its limited path.
    const QByteArray longText =
        QByteArray("Caf\xC3\xA9 na\xC3\xAFve &amp; more. ").repeated(500000);
    ASSERT_GT(longText.size(), 12 * 1000 * 1000);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<rss version=\"2.0\"><channel><title>Long</title>\n";
    const QByteArray tail = Item("Second", "Two") + Item("Third", "Three") + "</channel></rss>";
    Serve("/long", head + Item("First", longText) + tail);
    // Read past the library's limits, a large document keeps their protections: no
    // entity declarations, no deeper nesting.
    const QByteArray entities = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaa\">"
                                "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                                "<rss version=\"2.0\"><channel><title>Long</title>\n";
    Serve("/entities", entities + Item("First", longText) + Item("New", "&b;") + tail);
    const QByteArray deep = "<rss version=\"2.0\"><channel><title>Long</title>" +
                            QByteArray("<x>").repeated(300) + QByteArray("</x>").repeated(300);
    Serve("/deep", deep + Item("First", longText) + Item("New", "n") + tail);
    const QString url = server.Url("/long");

    auto channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"Long"_s, url);
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    const QStringList all{u"First"_s, u"Second"_s, u"Third"_s};
    EXPECT_EQ(Titles(*channel), all);
    // Texts are trimmed; compared without printing 12 MB when they differ.
    const QString expected = QString::fromUtf8(longText).replace(u"&amp;"_s, u"&"_s).trimmed();
    EXPECT_TRUE(NodeCast<CRssItem>(channel->ChildrenSnapshot().at(0))->Description() == expected);

    // Its channel file is written and read back whole.
    ASSERT_EQ(channel->SaveFile(channel->FilePath()), kResultOk);
    auto stored = CRssChannel::Create(&env.context);
    stored->SetNameAndUrl(u"Long"_s, url);
    ASSERT_EQ(stored->LoadStoredFile(stored->FilePath()), kResultOk);
    EXPECT_EQ(Titles(*stored), all);
    EXPECT_TRUE(NodeCast<CRssItem>(stored->ChildrenSnapshot().at(0))->Description() == expected);

    // Those fail, and the channel keeps its news.
    for (const char* path : {"/entities", "/deep"}) {
        const QString hostile = server.Url(path);
        QElapsedTimer timer;
        timer.start();
        EXPECT_NE(channel->Download(hostile, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
        EXPECT_LT(timer.elapsed(), 10000);
        EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(hostile)));
        EXPECT_EQ(Titles(*channel), all);
    }
}

TEST_F(LooseFeedTest, BytesThatAreNotUtf8AreReplacedAndTheFeedNamed)
{
    // Declared UTF-8 with a few Latin-1 bytes, a cut sequence and a surrogate's encoding.
    const QByteArray feed = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<rss version=\"2.0\"><channel><title>Caf\xE9</title>" +
                            Item("Caf\xE9 cr\xE8me", "Ol\xC3\xA9 \xE2\x82 \xED\xA0\x80 end") +
                            Item("Plain", "Text") + "</channel></rss>";
    Serve("/latin1", feed);
    // Mostly not UTF-8, ending on a cut sequence: read the same way, at once.
    QByteArray noise;
    for (int i = 0; i < 2 * 1024 * 1024; ++i)
        noise += char(0x80 + i % 0x80);
    Serve("/noise", "<rss><channel><title>N</title>" + Item("Noise", noise + "\xF0\x9F\x98") +
                        "</channel></rss>");

    const QString url = server.Url("/latin1");
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(Titles(*channel), (QStringList{u"Caf\uFFFD cr\uFFFDme"_s, u"Plain"_s}));
    EXPECT_EQ(channel->Info().title, u"Caf\uFFFD"_s);
    const auto first = NodeCast<CRssItem>(channel->ChildrenSnapshot().at(0));
    EXPECT_EQ(first->Description(), u"Ol\u00E9 \uFFFD \uFFFD\uFFFD\uFFFD end"_s);
    const QStringList named = env.log.Lines().filter(url);
    EXPECT_EQ(named.filter(u"not valid UTF-8"_s).size(), 1) << named.join(u'\n').toStdString();
    EXPECT_TRUE(named.filter(u"*ERROR"_s).isEmpty());

    QElapsedTimer timer;
    timer.start();
    auto other = CRssChannel::Create(&env.context);
    EXPECT_EQ(other->Download(server.Url("/noise"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(Titles(*other), QStringList{u"Noise"_s});
}
