#include "CCommandTable.h"
#include "CMainFrame.h"
#include "CRssReaderDoc.h"
#include "CShortcutsDlg.h"
#include "CSystemTray.h"
#include "CTrayAnimator.h"
#include "FeedTestSupport.h"
#include "SoonAsserts.h"

#include <QAction>
#include <QLineEdit>
#include <QStyleHints>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class FrameTray : public ::testing::Test
{
protected:
    void Show(CMainFrame& frame)
    {
        frame.Tray().animator().setMotion(CTrayAnimator::Motion::Off);
        frame.show();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    }

    CRefPtr<CRssChannel> AddChannel(CRssGroup& group, int unread, int total)
    {
        CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
        channel->SetCounts(unread, total);
        group.AddChild(channel.get());
        return channel;
    }

    FeedEnvironment env;
    CRssReaderDoc doc{env.context};
};

} // namespace

TEST_F(FrameTray, TrayCountsTheUnreadNewsOfEveryChannelAndAClickShowsOrHidesTheWindow)
{
    QStyleHints* hints = QGuiApplication::styleHints();
    const int doubleClick = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(150);
    CMainFrame frame(&doc, env.app, [] { return true; });
    Show(frame);
    CSystemTray& tray = frame.Tray();
    EXPECT_EQ(tray.toolTip(), u"Calvoria"_s);

    CRefPtr<CRssChannel> first = AddChannel(doc.RootGroup(), 3, 10);
    CRefPtr<CRssGroup> group = CRssGroup::Create(&env.context);
    doc.RootGroup().AddChild(group.get());
    CRefPtr<CRssChannel> nested = AddChannel(*group, 4, 4);
    doc.SavedNews().SetCounts(50, 50); // copies the person kept: not news waiting
    frame.OnUpdate(RssEvent::TreeChanged, &doc.RootGroup());
    ASSERT_SOON_EQ(tray.unreadCount(), 7);
    EXPECT_EQ(tray.toolTip(), u"Calvoria \u2013 7 unread news"_s);
    // Reading and deleting follow with the notifications that tell of them.
    nested->SetCounts(1, 4);
    frame.OnUpdate(RssEvent::ItemChanged, nullptr);
    ASSERT_SOON_EQ(tray.unreadCount(), 4);
    doc.RootGroup().RemoveChild(first.get());
    frame.OnUpdate(RssEvent::TreeChanged, &doc.RootGroup());
    ASSERT_SOON_EQ(tray.unreadCount(), 1);

    // A click on the icon of the hidden window shows it; the double-click it belongs to
    // does not hide it again.
    frame.HideToTray(false);
    ASSERT_TRUE(tray.isIconShown());
    tray.handleActivation(QSystemTrayIcon::Trigger);
    ASSERT_SOON(frame.isVisible());
    EXPECT_FALSE(frame.IsHiddenInTray());
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    QTest::qWait(300);
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.IsHiddenInTray());
    // A single click while the window shows hides it to the tray, without the warning.
    tray.handleActivation(QSystemTrayIcon::Trigger);
    ASSERT_SOON(frame.IsHiddenInTray());
    EXPECT_FALSE(frame.isVisible());
    EXPECT_TRUE(tray.isIconShown());
    hints->setMouseDoubleClickInterval(doubleClick);
}

TEST_F(FrameTray, CtrlF1OpensOneShortcutsWindowWithTheKeyboardInItsFilter)
{
    CMainFrame frame(&doc, env.app, [] { return true; });
    Show(frame);
    QTest::keyClick(&frame, Qt::Key_F1, Qt::ControlModifier);
    QList<CShortcutsDlg*> windows = frame.findChildren<CShortcutsDlg*>();
    ASSERT_EQ(windows.size(), 1);
    CShortcutsDlg* shortcuts = windows.first();
    EXPECT_TRUE(shortcuts->isVisible());
    EXPECT_EQ(shortcuts->focusWidget(), shortcuts->filterField());
    EXPECT_GT(shortcuts->shownRowCount(), 40);
    frame.Commands().action(Command::KeyboardShortcuts)->trigger();
    EXPECT_EQ(frame.findChildren<CShortcutsDlg*>().size(), 1) << "the same window comes forward";
    QTest::keyClick(shortcuts->filterField(), Qt::Key_Escape);
    EXPECT_FALSE(shortcuts->isVisible());
}
