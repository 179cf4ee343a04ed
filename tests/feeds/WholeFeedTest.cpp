// Feeds are read whole or not at all: a text past the XML library's own 10 MB, and a few
// bytes that are not UTF-8 in a feed that says it is.
#include "CHttpSession.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class WholeFeedTest : public ::testing::Test
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

    QStringList Titles(CRssChannel& channel)
    {
        QStringList titles;
        for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot())
            titles << NodeCast<CRssItem>(node)->title;
        return titles;
    }

    LocalServer server;
    FeedEnvironment env;
};

QByteArray Item(const QByteArray& title, const QByteArray& description)
{
    return "<item><title>" + title + "</title><description>" + description +
           "</description></item>\n";
}

} // namespace

TEST_F(WholeFeedTest, TextOverTheParsersLimitIsReadWholeAndKeptWhole)
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
    ASSERT_EQ(channel->Download(url, false, true), kResultOk);
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
        EXPECT_NE(channel->Download(hostile, false, true), kResultOk);
        EXPECT_LT(timer.elapsed(), 10000);
        EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(hostile)));
        EXPECT_EQ(Titles(*channel), all);
    }
}

TEST_F(WholeFeedTest, BytesThatAreNotUtf8AreReplacedAndTheFeedNamed)
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
    ASSERT_EQ(channel->Download(url, false, true), kResultOk);
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
    EXPECT_EQ(other->Download(server.Url("/noise"), false, true), kResultOk);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(Titles(*other), QStringList{u"Noise"_s});
}
