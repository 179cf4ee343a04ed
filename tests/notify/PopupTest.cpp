#include "CNewsPopups.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssItemMessage.h"
#include "CSummaryMessage.h"
#include "CThemeColors.h"
#include "PopupPlacement.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <ostream>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}

namespace {

// A channel of the tree with news items of its own.
struct Channel
{
    explicit Channel(int n) : channel(CRssChannel::Create(nullptr))
    {
        channel->SetNameAndUrl(u"Channel %1"_s.arg(n), u"http://news%1.example/"_s.arg(n));
    }
    CRssItem* news(const QString& title)
    {
        CRefPtr<CRssItem> item = CRssItem::Create(nullptr, title, u"Text of "_s + title);
        channel->AddChild(item.get());
        return item.get();
    }
    CRefPtr<CRssChannel> channel;
};

struct Popups
{
    explicit Popups(const PopupScreen& screen, int effectMs = 0, int displayMs = 60000)
        : popups(&theme)
    {
        popups.setScreenSource([screen] { return screen; });
        popups.setEffectDuration(effectMs);
        popups.setDisplayTime([displayMs] { return displayMs; });
    }
    // Every popup whole and in its place, no effect or slide running.
    bool settled()
    {
        return QTest::qWaitFor(
            [&] {
                for (CTrayMessage* m : popups.stack())
                    if (m->isDismissing() || m->isSliding() || m->geometry() != m->home() ||
                        !m->isDisplayTimerRunning())
                        return false;
                return true;
            },
            5000);
    }
    CThemeColors theme;
    CNewsPopups popups;
};

// A panel of 40 pixels at each edge of a test screen, and no panel at all.
struct Panel
{
    const char* name;
    QMargins panel;
    PanelEdge edge;

    PopupScreen screen(QSize size = {1000, 800}) const
    {
        const QRect whole(QPoint(0, 0), size);
        return {whole, whole.marginsRemoved(panel)};
    }
};

void PrintTo(const Panel& panel, std::ostream* os)
{
    *os << panel.name;
}

const Panel kPanels[] = {
    {"bottom", {0, 0, 0, 40}, PanelEdge::Bottom},
    {"top", {0, 40, 0, 0}, PanelEdge::Top},
    {"left", {40, 0, 0, 0}, PanelEdge::Left},
    {"right", {0, 0, 40, 0}, PanelEdge::Right},
    {"none", {}, PanelEdge::Bottom},
};

class PopupStack : public ::testing::TestWithParam<Panel>
{
};

// Where the n-th popup (0 nearest the panel) of size s stands, 5 pixels from the work
// area's edges and from each other.
QRect Expected(const Panel& panel, int n, QSize s, int heightsBefore)
{
    const QRect w = panel.screen().workArea;
    const int right = w.x() + w.width() - 5 - s.width();
    const int bottomUp = w.y() + w.height() - 5 * (n + 1) - heightsBefore - s.height();
    switch (panel.edge) {
    case PanelEdge::Top:
        return QRect(right, w.y() + 5 * (n + 1) + heightsBefore, s.width(), s.height());
    case PanelEdge::Left:
        return QRect(w.x() + 5, bottomUp, s.width(), s.height());
    default:
        return QRect(right, bottomUp, s.width(), s.height());
    }
}

} // namespace

TEST_P(PopupStack, ThreeChannelsStackFiveApartAndCloseTheGapWhenTheMiddleOneGoes)
{
    const Panel& panel = GetParam();
    EXPECT_EQ(PanelEdgeOf(panel.screen()), panel.edge);
    Popups world(panel.screen(), 100);
    Channel one(1), two(2), three(3);
    auto* first = world.popups.showPopup(one.news(u"First"_s));
    auto* second = world.popups.showPopup(two.news(u"Second"_s));
    auto* third = world.popups.showPopup(three.news(u"Third"_s));
    ASSERT_TRUE(first && second && third);
    ASSERT_EQ(world.popups.stack(), (QList<CTrayMessage*>{first, second, third}));
    const QSize s = first->contentSize();
    EXPECT_EQ(first->home(), Expected(panel, 0, s, 0));
    EXPECT_EQ(second->home(), Expected(panel, 1, s, s.height()));
    EXPECT_EQ(third->home(), Expected(panel, 2, s, 2 * s.height()));
    EXPECT_EQ(first->windowTitle(), u"NewsMessageWindowCalvoria"_s);
    EXPECT_TRUE(first->windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint |
                                               Qt::WindowStaysOnTopHint |
                                               Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(first->accessibleName(), u"News from Channel 1"_s);
    // They appear over a few frames, then stand whole in place.
    EXPECT_NE(first->geometry(), first->home());
    ASSERT_TRUE(world.settled());

    // The middle one goes: it disappears, then the one beyond it slides into its place
    // over several frames; nothing waits for the slide.
    QSignalSpy frames(third, &CTrayMessage::frameApplied);
    QSignalSpy hidden(second, &CTrayMessage::hidden);
    QElapsedTimer clock;
    clock.start();
    second->dismiss();
    EXPECT_LT(clock.elapsed(), 50);
    EXPECT_EQ(world.popups.popupOf(two.channel.get()), nullptr) << "a closing popup takes no news";
    ASSERT_TRUE(hidden.wait(5000));
    EXPECT_EQ(world.popups.stack(), (QList<CTrayMessage*>{first, third}));
    EXPECT_EQ(third->target(), Expected(panel, 1, s, s.height()));
    ASSERT_TRUE(world.settled());
    EXPECT_EQ(third->geometry(), Expected(panel, 1, s, s.height()));
    EXPECT_GE(frames.size(), 3) << "the gap closes in steps, not in one jump";
    EXPECT_EQ(first->geometry(), Expected(panel, 0, s, 0)) << "the nearer one stays";

    // A new channel now goes beyond the last one again.
    Channel four(4);
    auto* fourth = world.popups.showPopup(four.news(u"Fourth"_s));
    EXPECT_EQ(fourth->home(), Expected(panel, 2, s, 2 * s.height()));
}

INSTANTIATE_TEST_SUITE_P(Panels, PopupStack, ::testing::ValuesIn(kPanels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NewsPopup, StaysWhileTheMouseRestsOnItAndGoesSoonAfterItLeaves)
{
    Popups world(kPanels[0].screen(), 0, 150);
    Channel one(1);
    QPointer<CTrayMessage> popup = world.popups.showPopup(one.news(u"Story"_s));
    ASSERT_TRUE(world.settled());
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), popup->mapToGlobal(QPointF(10, 10)));
    QApplication::sendEvent(popup, &enter);
    QTest::qWait(600);
    ASSERT_TRUE(popup && !popup->isDismissing())
        << "the display time waits while the mouse is on it";
    EXPECT_TRUE(popup->isVisible());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(popup, &leave);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !popup || popup->isDismissing(); }, 2000));
    EXPECT_LE(clock.elapsed(), 50 + 150) << "at most one recheck of 50 ms, plus scheduling";

    // Left alone, a popup goes when its time is up.
    Channel two(2);
    QPointer<CTrayMessage> other = world.popups.showPopup(two.news(u"Other"_s));
    clock.restart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other || other->isDismissing(); }, 2000));
    EXPECT_GE(clock.elapsed(), 140);
}

TEST(NewsPopup, KeepsFourHeadlinesAndClicksFollowTheLinesTheyHit)
{
    Popups world(kPanels[0].screen());
    QSignalSpy opened(&world.popups, &CNewsPopups::opened);
    Channel one(1);
    QList<CRssItem*> news;
    for (int i = 1; i <= 5; ++i)
        news.append(one.news(u"Headline %1"_s.arg(i)));
    auto* popup = qobject_cast<CRssItemMessage*>(world.popups.showPopup(news[0]));
    ASSERT_TRUE(popup);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(world.popups.showPopup(news[i]), popup) << "one popup per channel";
    EXPECT_EQ(popup->itemCount(), 4);
    EXPECT_EQ(popup->itemAt(3), news[3]);
    EXPECT_EQ(popup->accessibleDescription(),
              u"1. Headline 1\n2. Headline 2\n3. Headline 3\n4. Headline 4"_s)
        << "the fifth headline is dropped";
    ASSERT_TRUE(world.settled());

    // The third line (line 2): the channel and that news.
    const int bold = popup->boldLineHeight();
    const int line = popup->normalLineHeight();
    QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(30, bold + 9 + 2 * line + line / 2));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<CRssChannel*>(), one.channel.get());
    EXPECT_EQ(opened[0][1].value<CRssItem*>(), news[2]);
    EXPECT_TRUE(popup->isDismissing());

    // The header: the channel alone.
    Channel two(2);
    auto* header = world.popups.showPopup(two.news(u"Only"_s));
    ASSERT_TRUE(world.settled());
    QTest::mouseClick(header, Qt::LeftButton, {}, QPoint(30, bold / 2));
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1][0].value<CRssChannel*>(), two.channel.get());
    EXPECT_EQ(opened[1][1].value<CRssItem*>(), nullptr);

    // Below the last of two lines: the popup closes and nothing is opened.
    Channel three(3);
    auto* below = world.popups.showPopup(three.news(u"One"_s));
    world.popups.showPopup(three.news(u"Two"_s));
    ASSERT_TRUE(world.settled());
    QTest::mouseClick(below, Qt::LeftButton, {}, QPoint(30, bold + 9 + 2 * line + 1));
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(below->isDismissing());
}

class SummaryPopup : public ::testing::TestWithParam<Panel>
{
};

TEST_P(SummaryPopup, ChannelsWithoutRoomAreCountedInOneSummaryThatOpensTheWindow)
{
    const Panel& panel = GetParam();
    // A screen with room for three channel popups and a summary, but not for a fourth.
    CThemeColors theme;
    const QSize s = CRssItemMessage(Channel(0).channel.get(), &theme).contentSize();
    const int summaryHeight = CSummaryMessage(&theme).contentSize().height();
    ASSERT_LT(summaryHeight + 2, s.height());
    const int room = 5 + 3 * (s.height() + 5) + summaryHeight + 5 + 2;
    const int across = panel.panel.top() + panel.panel.bottom();
    Popups world(panel.screen({1000, room + across}));
    QSignalSpy opened(&world.popups, &CNewsPopups::opened);

    std::vector<std::unique_ptr<Channel>> channels;
    for (int n = 0; n < 6; ++n)
        channels.push_back(std::make_unique<Channel>(n));
    for (int n = 0; n < 3; ++n)
        world.popups.showPopup(channels[size_t(n)]->news(u"News"_s));
    ASSERT_EQ(world.popups.stack().size(), 3);
    EXPECT_EQ(world.popups.summary(), nullptr);

    // Channel 3 brings two news, 4 one, 5 three; channel 0 one more into its own popup.
    CRssChannel* shown = channels[0]->channel.get();
    CTrayMessage* summary = world.popups.showPopup(channels[3]->news(u"A"_s));
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary, world.popups.summary());
    world.popups.showPopup(channels[3]->news(u"B"_s));
    world.popups.showPopup(channels[4]->news(u"C"_s));
    EXPECT_EQ(world.popups.showPopup(channels[0]->news(u"D"_s)), world.popups.popupOf(shown));
    for (const char* title : {"E", "F", "G"})
        world.popups.showPopup(channels[5]->news(QString::fromLatin1(title)));
    EXPECT_EQ(world.popups.summary()->text(), u"and 3 more channels with 6 new news"_s);
    EXPECT_EQ(world.popups.popupOf(channels[3]->channel.get()), nullptr);
    // It sits where the fourth popup would have begun.
    const QRect third = world.popups.stack()[2]->home();
    const QRect last = summary->home();
    EXPECT_EQ(world.popups.stack().size(), 4);
    if (panel.edge == PanelEdge::Top)
        EXPECT_EQ(last.top(), third.bottom() + 1 + 5);
    else
        EXPECT_EQ(last.bottom() + 1 + 5, third.top());
    EXPECT_EQ(last.left(), third.left());

    ASSERT_TRUE(world.settled());
    QTest::mouseClick(summary, Qt::LeftButton, {}, QPoint(20, summary->height() - 4));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<CRssChannel*>(), nullptr);
    EXPECT_TRUE(summary->isDismissing());

    // Without room even for the summary, the farthest channel popup makes way for it and
    // its news are counted.
    Popups tight(panel.screen({1000, room - summaryHeight + across}));
    for (int n = 0; n < 3; ++n)
        tight.popups.showPopup(channels[size_t(n)]->news(u"Again"_s));
    tight.popups.showPopup(channels[2]->news(u"More"_s));
    ASSERT_EQ(tight.popups.stack().size(), 3);
    tight.popups.showPopup(channels[3]->news(u"Late"_s));
    ASSERT_TRUE(tight.popups.summary());
    EXPECT_EQ(tight.popups.summary()->text(), u"and 2 more channels with 3 new news"_s);
    EXPECT_EQ(tight.popups.stack().size(), 3);
    EXPECT_EQ(tight.popups.popupOf(channels[2]->channel.get()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Panels, SummaryPopup, ::testing::ValuesIn(kPanels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PopupEffects, SlideOutOfThePanelCornerAndBackIntoThePanel)
{
    const QRect home(600, 500, 400, 100);
    // Appearing diagonally over a bottom panel: the top left part of the content shows
    // first, coming out of the bottom right corner.
    PopupFrame half = EffectFrame(AppearEffect(8, PanelEdge::Bottom), home, 0.5);
    EXPECT_EQ(half.window, QRect(800, 550, 200, 50));
    EXPECT_EQ(half.contentOffset, QPoint(0, 0));
    // Over a left panel the content comes out of the bottom left corner, moving right.
    half = EffectFrame(AppearEffect(8, PanelEdge::Left), home, 0.5);
    EXPECT_EQ(half.window, QRect(600, 550, 200, 50));
    EXPECT_EQ(half.contentOffset, QPoint(-200, 0));
    // Disappearing straight down into a bottom panel, a quarter left: its top quarter.
    PopupFrame quarter = EffectFrame(DisappearEffect(1, PanelEdge::Bottom), home, 0.25);
    EXPECT_EQ(quarter.window, QRect(600, 575, 400, 25));
    EXPECT_EQ(quarter.contentOffset, QPoint(0, 0));
    // Up into a top panel: its bottom quarter at the top.
    quarter = EffectFrame(DisappearEffect(1, PanelEdge::Top), home, 0.25);
    EXPECT_EQ(quarter.window, QRect(600, 500, 400, 25));
    EXPECT_EQ(quarter.contentOffset, QPoint(0, -75));
    // Rolled (0x10), the content keeps still while the window uncovers it.
    quarter = EffectFrame(AppearEffect(0x11, PanelEdge::Bottom), home, 0.25);
    EXPECT_EQ(quarter.window, QRect(600, 575, 400, 25));
    EXPECT_EQ(quarter.contentOffset, QPoint(0, -75));
    EXPECT_EQ(EffectFrame(AppearEffect(3, PanelEdge::Bottom), home, 0.1).window, home);
}
