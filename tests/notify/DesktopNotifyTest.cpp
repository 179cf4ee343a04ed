#include "CDesktopNotifier.h"
#include "CNewsGathering.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "NewsRound.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct NotifiedChannel
{
    explicit NotifiedChannel(const QString& name) : channel(CRssChannel::Create(nullptr))
    {
        channel->SetNameAndUrl(name, u"http://news.example/"_s + name);
    }
    CRssItem* news(const QString& title)
    {
        CRefPtr<CRssItem> item = CRssItem::Create(nullptr, title, u"Text of "_s + title);
        channel->AddChild(item.get());
        return item.get();
    }
    CRefPtr<CRssChannel> channel;
};

} // namespace

TEST(DesktopNotify, ARefreshOfTwoChannelsIsOneRoundThatNamesBothWithTheirCounts)
{
    NotifiedChannel science(u"Science & <Nature>"_s);
    NotifiedChannel world(u"World"_s);
    bool downloading = true;
    CNewsGathering gathering([&] { return downloading; }, nullptr, 20, 60000);
    QSignalSpy rounds(&gathering, &CNewsGathering::gathered);
    NewsRound round;
    QObject::connect(&gathering, &CNewsGathering::gathered,
                     [&](const NewsRound& gathered) { round = gathered; });
    gathering.Add(science.news(u"Rates < 2% & rising"_s));
    gathering.Add(world.news(u"Bridge opens"_s));
    gathering.Add(science.news(u"Rain"_s));
    QTest::qWait(150);
    EXPECT_EQ(rounds.count(), 0) << "nothing is told while channels still download";
    gathering.Add(world.news(u"Storm"_s));
    downloading = false;
    ASSERT_TRUE(rounds.wait(2000));
    QTest::qWait(100);
    EXPECT_EQ(rounds.count(), 1);
    ASSERT_EQ(round.Channels().size(), 2);
    EXPECT_EQ(round.ItemCount(), 4);

    const NotificationText plain = DescribeRound(round, false);
    EXPECT_EQ(plain.summary, u"4 new news"_s);
    EXPECT_EQ(plain.body, u"Science & <Nature> (2), World (2)\n\u2022 Rates < 2% & rising\n"
                          "\u2022 Bridge opens\n\u2022 Rain\n\u2022 Storm"_s);
    const NotificationText marked = DescribeRound(round, true);
    EXPECT_EQ(marked.body.section(u'\n', 0, 1),
              u"<b>Science &amp; &lt;Nature&gt;</b> (2), <b>World</b> (2)\n"
              "\u2022 Rates &lt; 2% &amp; rising"_s);

    // The next refresh is a round of its own.
    gathering.Add(world.news(u"Calm"_s));
    ASSERT_TRUE(rounds.wait(2000));
    EXPECT_EQ(round.ItemCount(), 1);
    EXPECT_EQ(DescribeRound(round, false).summary, u"1 new news"_s);
}

TEST(DesktopNotify, WithoutANotificationServerTheRoundComesBackAndOneLineIsLogged)
{
    ScopedLog log;
    NotifiedChannel world(u"World"_s);
    CDesktopNotifier notifier(
        QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"nobus"_s));
    QSignalSpy undelivered(&notifier, &CDesktopNotifier::undelivered);
    for (const QString& title : {u"One"_s, u"Two"_s}) {
        NewsRound round;
        round.Add(world.news(title));
        notifier.Announce(round);
    }
    ASSERT_TRUE(undelivered.count() == 2 || undelivered.wait(5000));
    ASSERT_EQ(undelivered.count(), 2);
    EXPECT_EQ(undelivered.at(1).at(0).value<NewsRound>().Items().constFirst()->DisplayTitle(),
              u"Two"_s);
    int lines = 0;
    for (const QString& line : log.Lines())
        lines += line.startsWith(u"Desktop notifications are not available"_s);
    EXPECT_EQ(lines, 1);
    QDBusConnection::disconnectFromBus(u"nobus"_s);
}
