#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"

#include <gtest/gtest.h>
#include <thread>

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
