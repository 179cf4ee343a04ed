#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"
#include "XmlHelpers.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

// Dates as feeds write them: the element each kind of feed dates its items with, the zones
// and short forms, and dates no channel file may hold.

namespace {

qint64 Utc(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss), Qt::UTC).toSecsSinceEpoch();
}

struct Read
{
    CRefPtr<CRssChannel> channel;
    std::vector<CRefPtr<CRssItem>> items;
    RssChannelInfo info;
};

Read ReadFeed(FeedEnvironment& env, const QByteArray& xml)
{
    Read read;
    read.channel = CRssChannel::Create(&env.context);
    XmlDocPtr doc = ParseXml(xml, u"http://dates.test/feed"_s);
    EXPECT_TRUE(doc) << xml.constData();
    if (!doc)
        return read;
    EXPECT_EQ(MergeFeedDocument(*read.channel, doc.get(), u"http://dates.test/feed"_s,
                                FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    for (const CRefPtr<CRssNode>& node : read.channel->ChildrenSnapshot())
        read.items.push_back(NodeCast<CRssItem>(node));
    read.info = read.channel->Info();
    return read;
}

struct Expected
{
    qint64 time;
    QString pubDate;
};

// The items in document order (each download puts its new items on top in that order).
void ExpectDates(const Read& read, const std::vector<Expected>& expected)
{
    ASSERT_EQ(read.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(read.items[i]->title.toStdString());
        EXPECT_EQ(read.items[i]->publicationTime, expected[i].time);
        EXPECT_EQ(read.items[i]->PubDate(), expected[i].pubDate);
    }
}

} // namespace

TEST(FeedDates, AtomEntriesTakePublishedThenUpdatedWithTheirZones)
{
    FeedEnvironment env;
    const Read atom10 = ReadFeed(env, R"(<feed xmlns="http://www.w3.org/2005/Atom">
        <title>A</title><updated>2023-11-13T12:00:00+01:00</updated>
        <entry><title>Published</title><updated>2023-11-13T09:00:00Z</updated>
          <published>2003-12-31T10:14:55-08:00</published></entry>
        <entry><title>Updated only</title><updated>2023-11-12T23:30:00+05:30</updated></entry>
        <entry><title>Day only</title><published>2023-11-10</published></entry>
        <entry><title>RFC 822 in Atom</title><updated>Fri, 10 Nov 2023 08:00:00 GMT</updated></entry>
        </feed>)");
    ExpectDates(atom10, {{Utc(2003, 12, 31, 18, 14, 55), u"31 Dec 2003 18:14:55 GMT"_s},
                         {Utc(2023, 11, 12, 18, 0, 0), u"12 Nov 2023 18:00:00 GMT"_s},
                         {Utc(2023, 11, 10), u"10 Nov 2023 00:00:00 GMT"_s},
                         {Utc(2023, 11, 10, 8, 0, 0), u"10 Nov 2023 08:00:00 GMT"_s}});
    EXPECT_EQ(atom10.info.pubDate, u"2023-11-13T12:00:00+01:00"_s);
    EXPECT_EQ(atom10.info.lastBuildDate, u"2023-11-13T12:00:00+01:00"_s);

    const Read atom03 = ReadFeed(env, R"(<feed version="0.3" xmlns="http://purl.org/atom/ns#">
        <title>B</title><modified>2023-11-12T18:00:00Z</modified>
        <entry><title>Issued</title><modified>2023-11-12T10:00:00Z</modified>
          <issued>2023-11-12T09:00:00+01:00</issued></entry>
        <entry><title>Modified</title><created>2023-11-01T00:00:00Z</created>
          <modified>2023-11-11T07:05-02:00</modified></entry>
        <entry><title>Created</title><created>2023-11-10T06:00:00Z</created></entry>
        </feed>)");
    ExpectDates(atom03, {{Utc(2023, 11, 12, 8, 0, 0), u"12 Nov 2023 08:00:00 GMT"_s},
                         {Utc(2023, 11, 11, 9, 5, 0), u"11 Nov 2023 09:05:00 GMT"_s},
                         {Utc(2023, 11, 10, 6, 0, 0), u"10 Nov 2023 06:00:00 GMT"_s}});
    EXPECT_EQ(atom03.info.lastBuildDate, u"2023-11-12T18:00:00Z"_s);
}

// Dublin Core is known by its namespace, whatever the prefix; its ISO dates are stored in
// the RSS form every version of the channel file reader takes.
TEST(FeedDates, DublinCoreDatesAreReadInRss10AndRss20)
{
    FeedEnvironment env;
    const Read rss10 = ReadFeed(env, R"(<rdf:RDF
        xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/"
        xmlns:dc="http://purl.org/dc/elements/1.1/">
        <channel><title>C</title></channel>
        <item><title>One</title><dc:date>2023-11-10T12:00:00+02:00</dc:date></item>
        <item><title>Two</title><dc:date>2023-11-09</dc:date></item>
        </rdf:RDF>)");
    ExpectDates(rss10, {{Utc(2023, 11, 10, 10, 0, 0), u"10 Nov 2023 10:00:00 GMT"_s},
                        {Utc(2023, 11, 9), u"09 Nov 2023 00:00:00 GMT"_s}});

    const Read rss20 = ReadFeed(env, R"(<rss version="2.0"
        xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:x="http://purl.org/dc/elements/1.1/"
        xmlns:terms="http://purl.org/dc/terms/" xmlns:other="http://other.example/">
        <channel><title>D</title>
        <item><title>dc:date</title><dc:date>2023-11-08T10:00:00-05:00</dc:date></item>
        <item><title>Other prefix</title><x:date>2023-11-07T10:00:00Z</x:date></item>
        <item><title>dcterms</title><terms:modified>2023-11-06T10:00:00Z</terms:modified></item>
        <item><title>pubDate wins</title><dc:date>2023-01-01T00:00:00Z</dc:date>
          <pubDate>Sun, 05 Nov 2023 10:00:00 GMT</pubDate></item>
        <item><title>Unreadable pubDate</title><pubDate>Mi, 4. Nov 2023 10:00 MEZ</pubDate>
          <dc:date>2023-11-04T10:00:00Z</dc:date></item>
        <item><title>Foreign date</title><other:date>2023-11-03T10:00:00Z</other:date></item>
        </channel></rss>)");
    ExpectDates(rss20, {{Utc(2023, 11, 8, 15, 0, 0), u"08 Nov 2023 15:00:00 GMT"_s},
                        {Utc(2023, 11, 7, 10, 0, 0), u"07 Nov 2023 10:00:00 GMT"_s},
                        {Utc(2023, 11, 6, 10, 0, 0), u"06 Nov 2023 10:00:00 GMT"_s},
                        {Utc(2023, 11, 5, 10, 0, 0), u"Sun, 05 Nov 2023 10:00:00 GMT"_s},
                        {Utc(2023, 11, 4, 10, 0, 0), u"04 Nov 2023 10:00:00 GMT"_s},
                        {env.Now(), u"14 Nov 2023 22:13:20 GMT"_s}});
}

// RSS dates that read keep the text the feed wrote, as they always did.
TEST(FeedDates, Rfc822ZonesAndShortFormsGiveTheWrittenInstant)
{
    FeedEnvironment env;
    const Read rss = ReadFeed(env, R"(<rss version="2.0"><channel><title>E</title>
        <item><title>UTC</title><pubDate>Thu, 01 Jan 2004 19:48:21 UTC</pubDate></item>
        <item><title>Colon offset</title><pubDate>Thu, 01 Jan 2004 19:48:21 +01:00</pubDate></item>
        <item><title>US zone</title><pubDate>Thu, 1 Jan 2004 19:48 PST</pubDate></item>
        <item><title>Day only</title><pubDate>01 Jan 04</pubDate></item>
        <item><title>ISO in pubDate</title><pubDate>2004-01-01T10:00:00-01:00</pubDate></item>
        <item><title>31 April</title><pubDate>Sat, 31 Apr 2004 10:00:00 GMT</pubDate></item>
        </channel></rss>)");
    ExpectDates(rss, {{Utc(2004, 1, 1, 19, 48, 21), u"Thu, 01 Jan 2004 19:48:21 UTC"_s},
                      {Utc(2004, 1, 1, 18, 48, 21), u"Thu, 01 Jan 2004 19:48:21 +01:00"_s},
                      {Utc(2004, 1, 2, 3, 48, 0), u"Thu, 1 Jan 2004 19:48 PST"_s},
                      {Utc(2004, 1, 1), u"01 Jan 04"_s},
                      {Utc(2004, 1, 1, 11, 0, 0), u"01 Jan 2004 11:00:00 GMT"_s},
                      {env.Now(), u"14 Nov 2023 22:13:20 GMT"_s}});
}

// Such a date once raised in the date reader: the item and every later one were lost while
// the download reported success.
TEST(FeedDates, ItemDatedPastTheRangeIsDatedNowAndNoItemIsLost)
{
    FeedEnvironment env;
    const QString now = u"14 Nov 2023 22:13:20 GMT"_s;
    const Read rss = ReadFeed(env, R"(<rss version="2.0"><channel><title>F</title>
        <item><title>Before</title><pubDate>Mon, 13 Nov 2023 10:00:00 GMT</pubDate></item>
        <item><title>Far</title><pubDate>Fri, 31 Dec 9999 23:59:59 GMT</pubDate></item>
        <item><title>After</title><pubDate>Sun, 12 Nov 2023 10:00:00 GMT</pubDate></item>
        </channel></rss>)");
    ExpectDates(rss, {{Utc(2023, 11, 13, 10, 0, 0), u"Mon, 13 Nov 2023 10:00:00 GMT"_s},
                      {env.Now(), now},
                      {Utc(2023, 11, 12, 10, 0, 0), u"Sun, 12 Nov 2023 10:00:00 GMT"_s}});

    const Read atom = ReadFeed(env, R"(<feed xmlns="http://www.w3.org/2005/Atom"><title>G</title>
        <entry><title>Before</title><updated>2023-11-13T10:00:00Z</updated></entry>
        <entry><title>Far</title><updated>9999-12-31T23:59:59Z</updated></entry>
        <entry><title>After</title><updated>2023-11-12T10:00:00Z</updated></entry>
        </feed>)");
    ExpectDates(atom, {{Utc(2023, 11, 13, 10, 0, 0), u"13 Nov 2023 10:00:00 GMT"_s},
                       {env.Now(), now},
                       {Utc(2023, 11, 12, 10, 0, 0), u"12 Nov 2023 10:00:00 GMT"_s}});
    EXPECT_FALSE(env.log.Contains(u"Exception in channel item updating"_s));
}

// A channel file written before dates were read this way: its dates read as they did, and
// downloading the unchanged feed over it adds nothing.
TEST(FeedDates, StoredDatesReadAsBeforeAndTheSameFeedAddsNothing)
{
    FeedEnvironment env;
    const QString path = env.DataRoot() + u"/stored.rss"_s;
    ASSERT_TRUE(WriteFile(path, R"(<?xml version="1.0"?>
<rss version="2.0">
  <channel favorite="false">
    <title>H</title>
    <link>http://dates.test/</link>
    <description></description>
    <lastBuildDate>14 Nov 2023 22:13:20 GMT</lastBuildDate>
    <ttl>15</ttl>
    <generator>Calvoria</generator>
    <item new="1" deleted="0" status="0">
      <title>Atom entry</title>
      <link>http://dates.test/1</link>
      <description></description>
      <pubDate>13 Nov 2023 08:00:00 GMT</pubDate>
    </item>
    <item new="0" deleted="0" status="0">
      <title>RSS item</title>
      <link>http://dates.test/2</link>
      <description>Text</description>
      <pubDate>Tue, 14 Nov 2023 10:00:00 +0200</pubDate>
    </item>
  </channel>
</rss>
)"));
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->LoadStoredFile(path), kResultOk);
    std::vector<qint64> times;
    for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot())
        times.push_back(NodeCast<CRssItem>(node)->publicationTime);
    EXPECT_EQ(times, (std::vector<qint64>{Utc(2023, 11, 13, 8, 0, 0), Utc(2023, 11, 14, 8, 0, 0)}));

    env.ClearNotifications();
    XmlDocPtr doc = ParseXml(R"(<feed xmlns="http://www.w3.org/2005/Atom"><title>H</title>
        <entry><title>Atom entry</title><link href="http://dates.test/1"/>
          <published>2023-11-13T09:00:00+01:00</published></entry></feed>)",
                             u"http://dates.test/feed"_s);
    ASSERT_EQ(MergeFeedDocument(*channel, doc.get(), u"http://dates.test/feed"_s, FeedOrigin::Live,
                                ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    EXPECT_EQ(channel->ChildCount(), 2);
}
