#include "CCommandTable.h"
#include "CMainFrame.h"
#include "CRssMenu.h"
#include "CRssReaderDoc.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "CStatusPanes.h"
#include "CSystemTray.h"
#include "CTrayAnimator.h"
#include "FeedTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class MainWindow : public ::testing::Test
{
protected:
    void Show(CMainFrame& frame)
    {
        frame.Tray().animator().setMotion(CTrayAnimator::Motion::Off);
        frame.show();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    }

    FeedEnvironment env;
    CRssReaderDoc doc{env.context};
};

TEST_F(MainWindow, MenuBarCarriesTheCommandsToTheirTargets)
{
    CMainFrame frame(&doc);
    auto* menu = qobject_cast<CRssMenu*>(frame.menuBar());
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* title : menu->actions())
        titles << title->text();
    EXPECT_EQ(titles, (QStringList{u"&File"_s, u"&Edit"_s, u"&View"_s, u"&Browse"_s,
                                   u"&Tools"_s, u"&Help"_s}));
    QAction* exit = frame.Commands().action(57665);
    EXPECT_EQ(menu->actions().first()->menu()->actions().last(), exit);

    frame.Router().updateActions();
    EXPECT_TRUE(frame.Commands().action(32816)->isEnabled()) << "update all groups";
    EXPECT_FALSE(frame.Commands().action(32814)->isEnabled()) << "no channel selected";
    EXPECT_FALSE(frame.Commands().action(32811)->isEnabled()) << "no news list yet";

    QSignalSpy exitSpy(&frame, &CMainFrame::exitRequested);
    exit->trigger();
    EXPECT_EQ(exitSpy.count(), 1);
    // The tray menu's Exit is the same command.
    frame.Tray().menu()->actions().last()->trigger();
    EXPECT_EQ(exitSpy.count(), 2);
}

TEST_F(MainWindow, CtrlFTogglesTheSearchBarOnTheSearchResults)
{
    CMainFrame frame(&doc);
    Show(frame);
    CSearchDlg* bar = frame.Panes().searchBar;
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(frame.StatusPanes().channelText(), QString()) << "no channel selected";
    const int newsTop = frame.Panes().outer->mapFromGlobal(
        frame.Panes().inner->mapToGlobal(QPoint(0, 0))).y();

    QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(doc.SelectedChannel(), &doc.SearchResults());
    doc.SearchResults().SetCounts(2, 5);
    EXPECT_EQ(frame.StatusPanes().channelText(), u"Total 5, unread 2"_s);
    EXPECT_GT(frame.Panes().inner->y(), newsTop) << "the news side moves down under the bar";
    frame.Router().updateActions();
    EXPECT_TRUE(frame.Commands().action(32850)->isChecked());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(frame.Panes().inner->y(), newsTop);
}

TEST_F(MainWindow, CloseBoxHidesToTheTrayOrMinimises)
{
    CMainFrame frame(&doc, {}, [] { return true; });
    Show(frame);
    frame.close();
    QTRY_VERIFY(!frame.isVisible());
    EXPECT_FALSE(frame.windowIcon().pixmap(16).isNull()) << "the tray icon has a picture";
    EXPECT_TRUE(frame.IsHiddenInTray());
    EXPECT_TRUE(frame.Tray().isIconShown());
    // A double-click on the icon brings the window back and hides the icon.
    frame.Tray().handleActivation(QSystemTrayIcon::DoubleClick);
    QTRY_VERIFY(frame.isVisible());
    EXPECT_FALSE(frame.IsHiddenInTray());
    EXPECT_FALSE(frame.Tray().isIconShown());

    CMainFrame noTray(&doc, {}, [] { return false; });
    Show(noTray);
    QSignalSpy exitSpy(&noTray, &CMainFrame::exitRequested);
    noTray.close();
    QTRY_VERIFY(noTray.isMinimized());
    EXPECT_FALSE(noTray.IsHiddenInTray());
    EXPECT_FALSE(noTray.Tray().isIconShown());
    EXPECT_EQ(exitSpy.count(), 0);
    noTray.Commands().action(32848)->trigger();
    QTRY_VERIFY(!noTray.isMinimized());
}

} // namespace
