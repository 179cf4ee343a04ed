#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"
#include "IItemJobs.h"
#include "XmlHelpers.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kSource = u"http://news.example.com/feed"_s;

struct FeedItem
{
    QString title;
    QString description;
    QString link;
    QString pubDate = u"Tue, 14 Nov 2023 08:00:00 GMT"_s;
};

FeedItem Numbered(int n)
{
    return {u"Story %1"_s.arg(n), u"Text of story %1"_s.arg(n),
            u"http://news.example.com/%1"_s.arg(n)};
}

QByteArray RssFeed(const std::vector<FeedItem>& items)
{
    QString xml = u"<rss version='2.0'><channel><title>Town News</title>"_s;
    for (const FeedItem& item : items)
        xml += u"<item><title>%1</title><description>%2</description><link>%3</link>"
               u"<pubDate>%4</pubDate></item>"_s.arg(item.title.toHtmlEscaped(),
                                                     item.description.toHtmlEscaped(), item.link,
                                                     item.pubDate);
    xml += u"</channel></rss>"_s;
    return xml.toUtf8();
}

std::vector<FeedItem> Range(int first, int last)
{
    std::vector<FeedItem> items;
    for (int n = first; n <= last; ++n)
        items.push_back(Numbered(n));
    return items;
}

RssResult Merge(CRssChannel& channel, const QByteArray& feed, FeedOrigin origin = FeedOrigin::Live)
{
    XmlDocPtr doc = ParseXml(feed, kSource);
    EXPECT_TRUE(doc);
    return MergeFeedDocument(channel, doc.get(), kSource, origin,
                             origin == FeedOrigin::Live ? ChannelNotice::Post
                                                        : ChannelNotice::None);
}

std::vector<CRefPtr<CRssItem>> Items(const CRssChannel& channel)
{
    std::vector<CRefPtr<CRssItem>> items;
    for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot())
        items.push_back(NodeCast<CRssItem>(node));
    return items;
}

QStringList Titles(const CRssChannel& channel)
{
    QStringList titles;
    for (const CRefPtr<CRssItem>& item : Items(channel))
        titles << item->title;
    return titles;
}

CRefPtr<CRssItem> Find(const CRssChannel& channel, const QString& title)
{
    for (const CRefPtr<CRssItem>& item : Items(channel))
        if (item->title == title)
            return item;
    return {};
}

// Records what items ask of the voice work.
class RecordingJobs : public IItemJobs
{
public:
    void RequestConversion(CRssItem& item, ConversionRequest request) override
    {
        std::lock_guard lock(m_lock);
        conversions.push_back(item.title);
        EXPECT_FALSE(request.retry);
        EXPECT_FALSE(request.urgent);
        EXPECT_TRUE(request.preferPodcast);
    }
    bool RequestPodcast(CRssItem&, PodcastRequest) override { return false; }
    void ResumePending(CRssItem& item) override
    {
        std::lock_guard lock(m_lock);
        resumed.push_back(item.title);
    }

    QStringList conversions;
    QStringList resumed;

private:
    std::mutex m_lock;
};

class MergeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitXmlLibrary(); // as a download does before it parses
        env.app.Prefs()->limitNewsPerChannel = false;
        channel = CRssChannel::Create(&env.context);
    }

    FeedEnvironment env;
    CRefPtr<CRssChannel> channel;
};

} // namespace

TEST_F(MergeTest, NewItemsStandAtTheTopInDocumentOrder)
{
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 3))), kResultOk);
    ASSERT_EQ(Merge(*channel, RssFeed({Numbered(5), Numbered(4), Numbered(1), Numbered(2)})),
              kResultOk);
    EXPECT_EQ(Titles(*channel),
              (QStringList{u"Story 5"_s, u"Story 4"_s, u"Story 1"_s, u"Story 2"_s, u"Story 3"_s}));
    EXPECT_EQ(env.Count(RssEvent::NewItem), 5);
    EXPECT_EQ(channel->TotalCount(), 5);
    EXPECT_EQ(channel->UnreadCount(), 5);
    // Story 3 left the feed but stays as history.
    EXPECT_FALSE(Find(*channel, u"Story 3"_s)->inFeed);
    EXPECT_TRUE(Find(*channel, u"Story 1"_s)->inFeed);
}

TEST_F(MergeTest, SecondDownloadOfAnUnchangedFeedAddsNothingAndOnlyRefreshesLinks)
{
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 4))), kResultOk);
    auto first = Find(*channel, u"Story 2"_s);
    first->SetUnread(false, ChannelCounts::Recount);
    const quint64 revision = channel->Revision();
    env.ClearNotifications();

    std::vector<FeedItem> again = Range(1, 4);
    again[1].link = u"http://news.example.com/moved"_s;
    again[1].pubDate = u"Wed, 15 Nov 2023 08:00:00 GMT"_s;
    ASSERT_EQ(Merge(*channel, RssFeed(again)), kResultOk);

    EXPECT_EQ(channel->ChildCount(), 4);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    auto same = Find(*channel, u"Story 2"_s);
    EXPECT_EQ(same.get(), first.get());
    EXPECT_EQ(same->Link(), u"http://news.example.com/moved"_s);
    EXPECT_EQ(same->PubDate(), u"Tue, 14 Nov 2023 08:00:00 GMT"_s);
    EXPECT_FALSE(same->unread);
    EXPECT_EQ(channel->UnreadCount(), 3);
    EXPECT_GT(channel->Revision(), revision);
    EXPECT_TRUE(env.log.Contains(u"Updating elements: '%1'"_s.arg(kSource)));
}

TEST_F(MergeTest, DuplicateInOneFeedIsKeptOnceAndLoggedOnce)
{
    XmlDocPtr doc = ParseXmlFile(FeedEnvironment::TestData(u"feeds/duplicates.xml"_s));
    ASSERT_EQ(
        MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live, ChannelNotice::Post),
        kResultOk);
    // The second "Market day" differs only in blanks and link; the item with a description
    // but no title stays; the items with neither are dropped.
    EXPECT_EQ(Titles(*channel), (QStringList{u"Market day"_s, QString()}));
    EXPECT_EQ(Items(*channel)[0]->Link(), u"http://echo.example.com/market-1"_s);
    EXPECT_EQ(env.log.Lines().count(u"Skipped dublicate item 'Market day'"_s), 1);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 2);
}

TEST_F(MergeTest, DeletedItemVanishesOnlyOnceItLeavesTheFeed)
{
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 3))), kResultOk);
    Find(*channel, u"Story 2"_s)->deleted = true;
    channel->Recount(false);

    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 3))), kResultOk);
    auto kept = Find(*channel, u"Story 2"_s);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->deleted);
    EXPECT_EQ(channel->TotalCount(), 2);

    ASSERT_EQ(Merge(*channel, RssFeed({Numbered(1)})), kResultOk);
    EXPECT_FALSE(Find(*channel, u"Story 2"_s));
    EXPECT_EQ(kept->Parent().get(), nullptr);
    EXPECT_TRUE(Find(*channel, u"Story 3"_s)); // not deleted: history
    EXPECT_EQ(channel->TotalCount(), 2);
}

TEST_F(MergeTest, NewsLimitRemovesOldItemsAndHidesThoseStillInTheFeed)
{
    // Five items that have left the feed, then ten still in it.
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 5))), kResultOk);
    env.app.Prefs()->limitNewsPerChannel = true;
    env.app.Prefs()->newsPerChannel = 10;
    ASSERT_EQ(Merge(*channel, RssFeed(Range(6, 15))), kResultOk);
    EXPECT_EQ(channel->ChildCount(), 10);
    EXPECT_EQ(channel->TotalCount(), 10);
    EXPECT_FALSE(Find(*channel, u"Story 1"_s));

    // Fifteen items, all in the feed: the five at the end are only hidden.
    auto other = CRssChannel::Create(&env.context);
    ASSERT_EQ(Merge(*other, RssFeed(Range(1, 15))), kResultOk);
    EXPECT_EQ(other->ChildCount(), 15);
    EXPECT_EQ(other->TotalCount(), 10);
    EXPECT_EQ(other->UnreadCount(), 10);
    const auto items = Items(*other);
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i]->deleted, i >= 10) << i;

    // They stay hidden: the feed cannot bring them back as new.
    env.ClearNotifications();
    ASSERT_EQ(Merge(*other, RssFeed(Range(1, 15))), kResultOk);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    EXPECT_EQ(other->TotalCount(), 10);
}

TEST_F(MergeTest, NewsLimitSkipsDeletedItemsAndCountsReadOnes)
{
    env.app.Prefs()->limitNewsPerChannel = true;
    env.app.Prefs()->newsPerChannel = 3;
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 3))), kResultOk);
    Find(*channel, u"Story 3"_s)->deleted = true;
    Find(*channel, u"Story 1"_s)->SetUnread(false, ChannelCounts::Recount);
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 5))), kResultOk);
    // Story 4, 5, 1, 2, 3(deleted): walking from the end skips Story 3 and hides Story 2.
    EXPECT_EQ(channel->TotalCount(), 3);
    EXPECT_EQ(channel->UnreadCount(), 2);
    EXPECT_TRUE(Find(*channel, u"Story 2"_s)->deleted);
    EXPECT_FALSE(Find(*channel, u"Story 1"_s)->deleted);
}

// Such a date once raised and cost its item and every later one.
TEST_F(MergeTest, DateOutOfRangeGivesTheArrivalTimeAndKeepsEveryItem)
{
    std::vector<FeedItem> items = Range(1, 3);
    items[1].pubDate = u"Sun, 01 Jan 3001 00:00:00 GMT"_s;
    EXPECT_EQ(Merge(*channel, RssFeed(items)), kResultOk);
    EXPECT_FALSE(env.log.Contains(u"Exception in channel item updating: '%1'"_s.arg(kSource)));
    EXPECT_TRUE(env.log.Contains(u"Updating elements: '%1'"_s.arg(kSource)));
    EXPECT_EQ(Titles(*channel), (QStringList{u"Story 1"_s, u"Story 2"_s, u"Story 3"_s}));
    EXPECT_EQ(channel->TotalCount(), 3);
    EXPECT_EQ(Find(*channel, u"Story 2"_s)->publicationTime, env.Now());
}

TEST_F(MergeTest, AutoConvertChannelAsksForConversionOfEachNewLiveItem)
{
    RecordingJobs jobs;
    env.context.SetItemJobs(&jobs);
    channel->SetAutoConvert(true);
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 2))), kResultOk);
    EXPECT_EQ(jobs.conversions, (QStringList{u"Story 1"_s, u"Story 2"_s}));
    ASSERT_EQ(Merge(*channel, RssFeed(Range(1, 3))), kResultOk);
    EXPECT_EQ(jobs.conversions.size(), 3);
    env.context.SetItemJobs(nullptr);
}

TEST_F(MergeTest, StoredModeResumesInterruptedWorkWithoutNoticesOrConversions)
{
    RecordingJobs jobs;
    env.context.SetItemJobs(&jobs);
    channel->SetAutoConvert(true);
    const QByteArray file = "<rss><channel><title>T</title>"
                            "<item status='2'><title>Pending page</title></item>"
                            "<item status='6' deleted='1'><title>Deleted podcast</title></item>"
                            "<item status='0'><title>Plain</title></item>"
                            "</channel></rss>";
    env.ClearNotifications();
    ASSERT_EQ(Merge(*channel, file, FeedOrigin::Stored), kResultOk);
    EXPECT_EQ(jobs.resumed, QStringList{u"Pending page"_s});
    EXPECT_TRUE(jobs.conversions.isEmpty());
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    env.context.SetItemJobs(nullptr);
}

TEST_F(MergeTest, ConcurrentMergesIntoOneChannelKeepEveryItemOnce)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round)
                Merge(*channel, RssFeed(Range(t * 10 + round, t * 10 + round + 20)));
        });
    for (std::thread& thread : threads)
        thread.join();
    QStringList titles = Titles(*channel);
    const qsizetype all = titles.size();
    titles.removeDuplicates();
    EXPECT_EQ(titles.size(), all);
    EXPECT_EQ(all, 55); // stories 0 .. 54
    EXPECT_EQ(channel->TotalCount(), 55);
}
