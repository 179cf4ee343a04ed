#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <type_traits>

using namespace Qt::Literals::StringLiterals;

TEST(Identity, IsTheMd5OfBothTextsInUtf16LittleEndian)
{
    EXPECT_EQ(IdentityHex(ComputeIdentity({}, {})), u"D41D8CD98F00B204E9800998ECF8427E"_s);
    // MD5 of the bytes 61 00 62 00 (UTF-16LE of "ab"), however the text is split
    EXPECT_EQ(IdentityHex(ComputeIdentity(u"a"_s, u"b"_s)), u"AA3A791E273BCE9CF4A2A7CAA9028B36"_s);
    EXPECT_EQ(IdentityHex(ComputeIdentity(u"ab"_s, {})), u"AA3A791E273BCE9CF4A2A7CAA9028B36"_s);
    EXPECT_NE(ComputeIdentity(u"ab"_s, u"c"_s), ComputeIdentity(u"ab"_s, u"d"_s));
}

TEST(Nodes, ChildKeepsItsParentOnlyWhileInTheTree)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    auto item = CRssItem::Create(&env.context);
    channel->AddChild(item.get());
    EXPECT_EQ(item->RefCount(), 2);
    EXPECT_EQ(item->Parent().get(), channel.get());
    EXPECT_TRUE(channel->RemoveChild(item.get()));
    EXPECT_FALSE(channel->RemoveChild(item.get()));
    EXPECT_EQ(item->Parent().get(), nullptr);
    EXPECT_EQ(item->RefCount(), 1);
}

TEST(Nodes, ItemHeldByAJobOutlivesItsChannel)
{
    FeedEnvironment env;
    CRefPtr<CRssItem> held;
    {
        auto channel = CRssChannel::Create(&env.context);
        held = CRssItem::Create(&env.context);
        channel->AddChild(held.get());
    }
    EXPECT_EQ(held->Parent().get(), nullptr);
    EXPECT_EQ(held->RefCount(), 1);
}

TEST(Nodes, ConcurrentAddsAndWalksKeepEveryChild)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                channel->AddChild(CRssItem::Create(&env.context).get(), 0);
                channel->Recount(false);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(channel->ChildCount(), 2000);
    channel->Recount(false);
    EXPECT_EQ(channel->TotalCount(), 2000);
}

// A reference goes up to the base by itself; down to a kind only through NodeCast, which
// checks the kind.
static_assert(std::is_convertible_v<CRefPtr<CRssItem>, CRefPtr<CRssNode>>);
static_assert(!std::is_convertible_v<CRefPtr<CRssNode>, CRefPtr<CRssItem>>);
static_assert(!std::is_convertible_v<CRefPtr<CRssItem>, CRefPtr<CRssChannel>>);

// Jobs finishing on worker threads ask an item for its channel while the tree drops the
// channel's last reference: they must get the channel or nothing, never a dying one.
TEST(Nodes, ParentAskedWhileTheLastReferenceGoesIsAliveOrNull)
{
    FeedEnvironment env;
    constexpr int kThreads = 2, kRounds = 40, kPairs = 500;
    std::vector<CRefPtr<CRssItem>> items(kPairs);
    std::atomic<int> round{0}, started{0}, finished{0}, gotParent{0};
    int stillHeld = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int seen = 0; seen < kRounds; ++seen) {
                while (round.load() == seen)
                    std::this_thread::yield();
                started.fetch_add(1);
                for (bool any = true; any;) {
                    any = false;
                    for (const CRefPtr<CRssItem>& item : items) {
                        CRefPtr<CRssNode> parent = item->Parent();
                        CRefPtr<CRssChannel> channel = item->Channel();
                        if (parent || channel) {
                            any = true;
                            gotParent.fetch_add(1, std::memory_order_relaxed);
                        }
                    }
                }
                finished.fetch_add(1);
            }
        });
    for (int r = 1; r <= kRounds; ++r) {
        std::vector<CRefPtr<CRssChannel>> channels;
        for (CRefPtr<CRssItem>& item : items) {
            channels.push_back(CRssChannel::Create(&env.context));
            item = CRssItem::Create(&env.context);
            channels.back()->AddChild(item.get());
        }
        round = r;
        while (started.load() < r * kThreads)
            std::this_thread::yield();
        for (CRefPtr<CRssChannel>& channel : channels)
            channel.reset();
        while (finished.load() < r * kThreads)
            std::this_thread::yield();
        for (const CRefPtr<CRssItem>& item : items)
            stillHeld += item->RefCount() != 1;
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(stillHeld, 0);
    // The workers met live channels while the drops went on.
    EXPECT_GT(gotParent.load(), 0);
}

TEST(Channel, IdentityFollowsNameAndUrlAndNamesTheFile)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"News"_s, u"http://example.com/rss"_s);
    // MD5 of "Newshttp://example.com/rss" in UTF-16LE
    EXPECT_EQ(channel->FilePath(),
              env.DataRoot() + u"Feeds/22EF150D487D7E29A6E9C4639D87E8BA.rss"_s);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 1);
    channel->NameIfUnnamed(u"Feed title"_s);
    EXPECT_EQ(channel->Name(), u"News"_s);
}

TEST(Channel, LabelShowsUnreadAndFlagsNotifyOnlyWhenTheyShould)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"News"_s, u"u"_s);
    EXPECT_EQ(channel->Label(), u"News"_s);
    channel->SetCounts(3, 5);
    EXPECT_EQ(channel->Label(), u"News (3)"_s);

    env.ClearNotifications();
    channel->SetFavorite(false);
    EXPECT_EQ(env.Count(RssEvent::FavoriteChanged), 0);
    channel->SetFavorite(true);
    EXPECT_EQ(env.Count(RssEvent::FavoriteChanged), 1);
    channel->SetAutoUpdate(false);
    EXPECT_TRUE(env.Notifications().size() == 1);
    channel->SetAutoConvert(true);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 1);
}
