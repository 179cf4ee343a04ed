#include "CCommandTable.h"
#include "CMainFrame.h"
#include "CPreferences.h"
#include "CRssFullBar.h"
#include "CRssHeader.h"
#include "CRssMenu.h"
#include "CRssReaderDoc.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "CStatusPanes.h"
#include "CSystemTray.h"
#include "CThemeColors.h"
#include "CTrayAnimator.h"
#include "CTrayWarningDlg.h"
#include "FeedTestSupport.h"
#include "FramePlacement.h"
#include "INotificationView.h"
#include "SoonAsserts.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

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
    CMainFrame frame(&doc, env.app);
    auto* menu = qobject_cast<CRssMenu*>(frame.menuBar());
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* title : menu->actions())
        titles << title->text();
    EXPECT_EQ(titles, (QStringList{u"&File"_s, u"&Edit"_s, u"&View"_s, u"&Browse"_s, u"&Listen"_s,
                                   u"&Tools"_s, u"&Help"_s}));
    QAction* exit = frame.Commands().action(Command::Exit);
    EXPECT_EQ(menu->actions().first()->menu()->actions().last(), exit);

    frame.Router().updateActions();
    EXPECT_TRUE(frame.Commands().action(Command::UpdateAllGroups)->isEnabled())
        << "update all groups";
    EXPECT_FALSE(frame.Commands().action(Command::UpdateChannel)->isEnabled())
        << "no channel selected";
    EXPECT_FALSE(frame.Commands().action(Command::DeleteNews)->isEnabled()) << "no news list yet";

    QSignalSpy exitSpy(&frame, &CMainFrame::exitRequested);
    exit->trigger();
    EXPECT_EQ(exitSpy.count(), 1);
    // The tray menu's Exit is the same command.
    frame.Tray().menu()->actions().last()->trigger();
    EXPECT_EQ(exitSpy.count(), 2);
}

TEST_F(MainWindow, CtrlFTogglesTheSearchBarOnTheSearchResults)
{
    CMainFrame frame(&doc, env.app);
    Show(frame);
    CSearchDlg* bar = frame.Panes().searchBar;
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(frame.StatusPanes().channelText(), QString()) << "no channel selected";
    const int newsTop =
        frame.Panes().outer->mapFromGlobal(frame.Panes().inner->mapToGlobal(QPoint(0, 0))).y();

    QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(doc.SelectedChannel(), &doc.SearchResults());
    doc.SearchResults().SetCounts(2, 5);
    EXPECT_EQ(frame.StatusPanes().channelText(), u"Total 5, unread 2"_s);
    EXPECT_GT(frame.Panes().inner->y(), newsTop) << "the news side moves down under the bar";
    frame.Router().updateActions();
    EXPECT_TRUE(frame.Commands().action(Command::Search)->isChecked());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(frame.Panes().inner->y(), newsTop);
}

TEST_F(MainWindow, CloseBoxHidesToTheTrayOrMinimises)
{
    CMainFrame frame(&doc, env.app, [] { return true; });
    Show(frame);
    // The first time, the warning tells how to end the program; the person asks not to
    // see it again.
    ASSERT_TRUE(env.app.Prefs()->showTrayWarning);
    bool warned = false;
    QTimer::singleShot(50, [&] {
        auto* warning = qobject_cast<CTrayWarningDlg*>(QApplication::activeModalWidget());
        if (!warning)
            return;
        warned = true;
        warning->doNotShowBox()->setChecked(true);
        warning->accept();
    });
    frame.close();
    EXPECT_TRUE(warned);
    EXPECT_FALSE(env.app.Prefs()->showTrayWarning);
    ASSERT_SOON(!frame.isVisible());
    EXPECT_FALSE(frame.windowIcon().pixmap(16).isNull()) << "the tray icon has a picture";
    EXPECT_TRUE(frame.IsHiddenInTray());
    EXPECT_TRUE(frame.Tray().isIconShown());
    // A double-click on the icon brings the window back and hides the icon.
    frame.Tray().handleActivation(QSystemTrayIcon::DoubleClick);
    ASSERT_SOON(frame.isVisible());
    EXPECT_FALSE(frame.IsHiddenInTray());
    EXPECT_FALSE(frame.Tray().isIconShown());
    frame.showMinimized();
    frame.ShowFromTray();
    EXPECT_FALSE(frame.isMinimized());

    CMainFrame noTray(&doc, env.app, [] { return false; });
    Show(noTray);
    QSignalSpy exitSpy(&noTray, &CMainFrame::exitRequested);
    noTray.close();
    ASSERT_SOON(noTray.isMinimized());
    EXPECT_FALSE(noTray.IsHiddenInTray());
    EXPECT_FALSE(noTray.Tray().isIconShown());
    EXPECT_EQ(exitSpy.count(), 0);
    noTray.Commands().action(Command::ShowWindow)->trigger();
    ASSERT_SOON(!noTray.isMinimized());
}

// A news list that counts the commands and notifications it gets.
class NewsListStub : public QWidget, public ICommandTarget, public INotificationView
{
public:
    bool HandlesCommand(Command id) const override { return id == Command::DeleteNews; }
    void RunCommand(Command) override { ++deletes; }
    void OnUpdate(RssEvent hint, CRefCounted*) override { hints << int(hint); }
    int deletes = 0;
    QList<int> hints;
};

TEST_F(MainWindow, PlacementAndPaneSizesSurviveRunsAndPaneSwitches)
{
    EXPECT_EQ((PaneLayout{1, 2, -3}.ToBytes()), QByteArray::fromHex("0100000002000000fdffffff"));
    QSettings& store = env.app.Prefs()->Store();
    WindowPlacement stored;
    stored.normal = QRect(60, 70, 800, 500);
    store.setValue(u"Position/Info"_s, stored.ToBytes());
    store.setValue(u"Position/LayoutInfo"_s, PaneLayout{240, 0, 260}.ToBytes());
    env.app.Prefs()->readingPanePosition = 1;
    {
        CMainFrame frame(&doc, env.app);
        frame.Tray().animator().setMotion(CTrayAnimator::Motion::Off);
        frame.RestorePlacement(1);
        EXPECT_TRUE(env.log.Contains(u"Readed windows placement 1 60,70,860,570"_s));
        EXPECT_EQ(frame.geometry(), QRect(60, 70, 800, 500));
        EXPECT_EQ(frame.Panes().outer->columnSize(0), 240);
        EXPECT_EQ(frame.Panes().inner->columnSize(0), 260);

        // The position already in force changes and stores nothing.
        frame.Commands().action(Command::ReadingPaneRight)->trigger();
        EXPECT_FALSE(env.log.Contains(u"Storing frame position ..."_s));

        // To the bottom: the width beside the pane is kept, the height is written as 0 and
        // so falls back to half the window.
        frame.Commands().action(Command::ReadingPaneBottom)->trigger();
        EXPECT_EQ(store.value(u"Position/LayoutInfo"_s).toByteArray(),
                  (PaneLayout{240, 0, 260}.ToBytes()));
        EXPECT_EQ(env.app.Prefs()->readingPanePosition, 2);
        ASSERT_NE(frame.Panes().inner, nullptr);
        EXPECT_EQ(frame.Panes().inner->rowCount(), 2);
        EXPECT_EQ(frame.Panes().inner->rowSize(0), 250);
        EXPECT_EQ(frame.RightSideHeader(), frame.Panes().inner->window(0xD900));
        frame.Router().updateActions();
        EXPECT_TRUE(frame.Commands().action(Command::ReadingPaneBottom)->isChecked());
        EXPECT_FALSE(frame.Commands().action(Command::ReadingPaneRight)->isChecked());

        frame.Commands().action(Command::ReadingPaneHidden)->trigger();
        EXPECT_EQ(frame.Panes().inner, nullptr);
        EXPECT_EQ(frame.RightSideHeader(), frame.Panes().outer->window(0xD901));
        frame.setGeometry(30, 40, 900, 600);
    } // the window goes: its placement is stored
    WindowPlacement reread;
    ASSERT_TRUE(WindowPlacement::FromBytes(store.value(u"Position/Info"_s).toByteArray(), reread));
    EXPECT_EQ(reread.normal, QRect(30, 40, 900, 600));

    // Values of the wrong size are not read: the window and the panes take their defaults.
    store.setValue(u"Position/Info"_s, stored.ToBytes().left(43));
    store.setValue(u"Position/LayoutInfo"_s, PaneLayout{240, 0, 260}.ToBytes() + '\0');
    CMainFrame frame(&doc, env.app);
    frame.resize(900, 600);
    frame.RestorePlacement(1);
    EXPECT_TRUE(env.log.Contains(u"Placement does not exist"_s));
    EXPECT_EQ(frame.Panes().outer->columnSize(0), 300);
}

TEST_F(MainWindow, ViewsGetTheirCommandsAndNotificationsAfterTheFrame)
{
    QWidget* tree = nullptr;
    NewsListStub* news = nullptr;
    PaneViewMakers makers;
    makers.channelTree = [&](IFrameServices&) {
        tree = new QWidget;
        tree->setFocusPolicy(Qt::StrongFocus);
        return tree;
    };
    makers.newsList = [&](IFrameServices&) { return news = new NewsListStub; };
    CMainFrame frame(
        &doc, env.app, [] { return true; }, makers);
    Show(frame);
    env.app.Prefs()->showTrayWarning = false;

    // A news-list command reaches the news list while the tree has the focus, also after
    // the panes were built again.
    for (int position : {2, 0}) {
        frame.SetReadingPanePosition(position);
        tree->setFocus();
        ASSERT_SOON(tree->hasFocus());
        QTest::keyClick(tree, Qt::Key_Delete);
        EXPECT_EQ(news->deletes, 1) << position;
        news->deletes = 0;
    }
    // F6 walks the panes from the keyboard: tree, news list, reading pane, tree.
    QTest::keyClick(tree, Qt::Key_F6);
    ASSERT_SOON(news->hasFocus());
    QTest::keyClick(news, Qt::Key_F6, Qt::ShiftModifier);
    ASSERT_SOON(tree->hasFocus());

    QSignalSpy popups(&frame, &CMainFrame::newsPopupRequested);
    frame.OnUpdate(RssEvent::ChannelReloaded, nullptr);
    frame.OnUpdate(RssEvent::NewItem, nullptr);
    EXPECT_EQ(news->hints, QList<int>{int(RssEvent::ChannelReloaded)})
        << "the frame takes new items";
    EXPECT_EQ(popups.count(), 0) << "the person is looking at the window";
    frame.HideToTray(true);
    frame.OnUpdate(RssEvent::NewItem, nullptr);
    EXPECT_EQ(popups.count(), 1);
    env.app.Prefs()->showNewsPopup = false;
    frame.OnUpdate(RssEvent::NewItem, nullptr);
    EXPECT_EQ(popups.count(), 1);
}

TEST_F(MainWindow, ChangedOptionsApplyWithoutARestart)
{
    CMainFrame frame(&doc, env.app);
    Show(frame);
    const int largeBar = frame.ToolBar()->sizeHint().height();
    CPreferences& prefs = *env.app.Prefs();
    prefs.colorTheme = 2;
    prefs.largeButtons = false;
    prefs.readingPanePosition = 0;
    prefs.showPreview = false;
    env.ClearNotifications();
    frame.ApplyOptions({.preview = true, .layout = true, .theme = true, .buttons = true});
    EXPECT_EQ(frame.Theme().theme(), CThemeColors::Olive);
    EXPECT_LT(frame.ToolBar()->sizeHint().height(), largeBar) << "small buttons";
    EXPECT_EQ(frame.Panes().inner, nullptr) << "the reading pane is hidden";
    EXPECT_EQ(env.Count(RssEvent::PreviewChanged), 0) << "the rebuilt views read the preview anew";
    frame.ApplyOptions({.preview = true});
    EXPECT_EQ(env.Count(RssEvent::PreviewChanged), 1);
}

} // namespace
