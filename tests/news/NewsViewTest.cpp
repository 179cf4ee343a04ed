#include "CCommandTable.h"
#include "CMainFrame.h"
#include "CRssReaderView.h"
#include "CSearchDlg.h"
#include "NewsListModel.h"
#include "NewsTestSupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kViewT0 = 1700000000 - 86400;

// "Desk": A, B, C and D from newest to oldest; B and D are read.
class NewsView : public ::testing::Test, public NewsFixture
{
protected:
    NewsView()
    {
        desk = AddChannel(u"Desk"_s, 0, kViewT0);
        for (const QString& title : {u"D"_s, u"C"_s, u"B"_s, u"A"_s}) {
            CRefPtr<CRssItem> item =
                AddItem(*desk, title, kViewT0 + 10 * (u'E' - title[0].unicode()));
            item->SetLink(u"http://news.example.com/"_s + title);
            item->SetUnread(title == u"A"_s || title == u"C"_s, ChannelCounts::Recount);
        }
    }

    void Open(CRssReaderView& view, CRssNode* node)
    {
        view.resize(500, 300);
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        view.InitialUpdate();
        view.OnUpdate(RssEvent::ChannelSelected, node);
    }

    static QStringList Titles(const CRssReaderView& view)
    {
        QStringList titles;
        for (int row = 0; row < view.Model().rowCount(); ++row)
            titles << view.Model().index(row, NewsColumnTitle).data().toString();
        return titles;
    }

    static QString Selected(const CRssReaderView& view)
    {
        return view.SelectedItem() ? view.SelectedItem()->PlainTitle() : u"(none)"_s;
    }

    static bool Checked(CRssReaderView& view, Command id)
    {
        CommandState state;
        view.UpdateCommand(id, state);
        return state.checked;
    }

    static bool Enabled(CRssReaderView& view, Command id)
    {
        CommandState state;
        view.UpdateCommand(id, state);
        return state.enabled;
    }

    CRefPtr<CRssChannel> desk;
};

TEST_F(NewsView, KeysMarkReadStepThroughUnreadOpenAndDeleteAndTheDeletionIsStored)
{
    {
        CRssReaderView view(doc, frame.theme, frame, Prefs());
        QAbstractItemModelTester tester(&view.Model(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        Open(view, desk.get());
        ASSERT_EQ(Titles(view), (QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s}));
        ASSERT_EQ(desk->UnreadCount(), 2);
        view.setCurrentIndex(view.Model().index(0, NewsColumnTitle));

        QTest::keyClick(&view, Qt::Key_Space);
        EXPECT_FALSE(view.Model().index(0, 0).data(NewsListModel::UnreadRole).toBool());
        EXPECT_EQ(desk->UnreadCount(), 1);
        QTest::keyClick(&view, Qt::Key_Space);
        EXPECT_EQ(desk->UnreadCount(), 2);

        // Ctrl+U goes to C and marks A read on the way; at the last unread it stays.
        QTest::keyClick(&view, Qt::Key_U, Qt::ControlModifier);
        EXPECT_EQ(Selected(view), u"C"_s);
        EXPECT_EQ(desk->UnreadCount(), 1);
        QTest::keyClick(&view, Qt::Key_U, Qt::ControlModifier);
        EXPECT_EQ(Selected(view), u"C"_s);
        EXPECT_TRUE(view.Model().index(2, 0).data(NewsListModel::UnreadRole).toBool());
        EXPECT_FALSE(Enabled(view, Command::NextUnread));
        EXPECT_FALSE(Enabled(view, Command::PreviousUnread)) << "A and B above are read";

        QTest::keyClick(&view, Qt::Key_Return);
        EXPECT_EQ(frame.opened, QStringList{u"http://news.example.com/C"_s});
        QTest::keyClicks(&view, u"b"_s); // type-ahead over the titles
        EXPECT_EQ(Selected(view), u"B"_s);
        view.setCurrentIndex(view.Model().index(2, NewsColumnTitle));

        // Deleting the last row selects the one above; another row's place goes to the next.
        view.setCurrentIndex(view.Model().index(3, NewsColumnTitle));
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_EQ(Titles(view), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
        EXPECT_EQ(Selected(view), u"C"_s);
        view.setCurrentIndex(view.Model().index(0, NewsColumnTitle));
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_EQ(Selected(view), u"B"_s);
        EXPECT_EQ(desk->TotalCount(), 2);
    }
    doc.CloseNews();

    CRssReaderDoc reloaded(env.context);
    ASSERT_TRUE(reloaded.LoadNews());
    reloaded.WaitForChannels();
    CRssChannel* channel =
        NodeCast<CRssChannel>(reloaded.RootGroup().ChildrenSnapshot().at(0).get());
    ASSERT_NE(channel, nullptr);
    CRssReaderView view(reloaded, frame.theme, frame, Prefs());
    Open(view, channel);
    EXPECT_EQ(Titles(view), (QStringList{u"B"_s, u"C"_s}));

    // Items read back from the file are only marked deleted; the last one leaves nothing
    // selected.
    view.setCurrentIndex(view.Model().index(1, NewsColumnTitle));
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(Selected(view), u"B"_s);
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(view.Model().rowCount(), 0);
    EXPECT_EQ(Selected(view), u"(none)"_s);
    EXPECT_FALSE(Enabled(view, Command::DeleteNews));
    EXPECT_EQ(channel->TotalCount(), 0);
}

TEST_F(NewsView, OnlyUnreadKeepsWhatIsReadWhileShownAndIsRemembered)
{
    CRefPtr<CRssChannel> other = AddChannel(u"Other"_s, 1, kViewT0);
    {
        CRssReaderView view(doc, frame.theme, frame, Prefs());
        Open(view, desk.get());
        view.RunCommand(Command::ShowOnlyUnread);
        EXPECT_TRUE(Checked(view, Command::ShowOnlyUnread));
        ASSERT_EQ(Titles(view), (QStringList{u"A"_s, u"C"_s}));

        // A read while shown stays under the pointer; news arriving come in only unread.
        view.setCurrentIndex(view.Model().index(0, NewsColumnTitle));
        QTest::keyClick(&view, Qt::Key_Space);
        ASSERT_EQ(desk->UnreadCount(), 1);
        CRefPtr<CRssItem> fresh = AddItem(*desk, u"E"_s, kViewT0 + 100);
        AddItem(*desk, u"F"_s, kViewT0 + 90)->SetUnread(false, ChannelCounts::Recount);
        view.OnUpdate(RssEvent::ChannelReloaded, desk.get());
        EXPECT_EQ(Titles(view), (QStringList{u"E"_s, u"A"_s, u"C"_s}));
        EXPECT_EQ(Selected(view), u"A"_s);

        // Another channel and back: what was read has gone.
        view.OnUpdate(RssEvent::ChannelSelected, other.get());
        view.OnUpdate(RssEvent::ChannelSelected, desk.get());
        EXPECT_EQ(Titles(view), (QStringList{u"E"_s, u"C"_s}));
    }
    CRssReaderView again(doc, frame.theme, frame, Prefs());
    Open(again, desk.get());
    EXPECT_EQ(Titles(again), (QStringList{u"E"_s, u"C"_s})) << "the choice is kept";
    again.RunCommand(Command::ShowOnlyUnread);
    EXPECT_EQ(Titles(again).size(), 6);
}

TEST_F(NewsView, MovedToSavedLeavesTheChannelForSavedNewsAndItsFile)
{
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Open(view, desk.get());
    view.setCurrentIndex(view.Model().index(1, NewsColumnTitle)); // B, read
    std::unique_ptr<QMenu> menu(view.CreateItemMenu(nullptr));
    QStringList lines;
    for (QAction* action : menu->actions())
        lines << (action->isSeparator()
                      ? u"-"_s
                      : action->text() + (action->isEnabled() ? u""_s : u" (off)"_s));
    EXPECT_EQ(lines, (QStringList{u"Open in browser"_s, u"&Mark read/unread"_s, u"-"_s,
                                  u"Moved to saved"_s, u"&Delete news"_s, u"-"_s,
                                  u"Convert to voice (off)"_s, u"Download podcast audio (off)"_s,
                                  u"&Play news (off)"_s, u"&Save voice as ... (off)"_s}));
    EXPECT_TRUE(Enabled(view, Command::MoveToSaved));
    view.RunCommand(Command::MoveToSaved);

    EXPECT_EQ(Titles(view), (QStringList{u"A"_s, u"C"_s, u"D"_s}));
    EXPECT_EQ(Selected(view), u"C"_s);
    EXPECT_EQ(desk->TotalCount(), 3);
    ASSERT_EQ(doc.SavedNews().ChildCount(), 1);
    auto* saved = NodeCast<CRssItem>(doc.SavedNews().ChildrenSnapshot()[0].get());
    EXPECT_EQ(saved->PlainTitle(), u"B"_s);
    EXPECT_TRUE(saved->unread);
    QFile file(doc.SavedNewsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<title>B</title>"));

    view.OnUpdate(RssEvent::ChannelSelected, &doc.SavedNews());
    view.setCurrentIndex(view.Model().index(0, NewsColumnTitle));
    EXPECT_FALSE(Enabled(view, Command::MoveToSaved)) << "already in Saved News";
    EXPECT_EQ(frame.searchBarHidden, 2);
}

TEST_F(NewsView, TheVoiceFileIsSavedAsAskedAndAMissingOneIsNoticed)
{
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    Open(view, desk.get());
    view.setCurrentIndex(view.Model().index(0, NewsColumnTitle)); // A
    CRssItem* item = view.SelectedItem();
    EXPECT_FALSE(Enabled(view, Command::SaveVoiceAs));
    item->SetState(RssItemState::Ready);
    QFile voice(item->Mp3File());
    ASSERT_TRUE(voice.open(QIODevice::WriteOnly));
    voice.write("ID3 voice");
    voice.close();
    EXPECT_TRUE(Enabled(view, Command::SaveVoiceAs));
    EXPECT_TRUE(Enabled(view, Command::PlayNews));

    const QString target = env.home.File(u"copy.mp3"_s);
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    QString suggested;
    view.SetSavePathChooser([&](const QString& path) {
        suggested = path;
        return target;
    });
    view.RunCommand(Command::SaveVoiceAs);
    EXPECT_EQ(suggested, item->Mp3File());
    QFile copy(target);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("ID3 voice")) << "an existing file is replaced";

    QFile::remove(item->Mp3File());
    view.RunCommand(Command::PlayNews);
    EXPECT_EQ(item->State(), RssItemState::FileMissing) << "nothing to play";
    EXPECT_FALSE(Enabled(view, Command::PlayNews));

    // A double click opens the news like Enter.
    const QRect row = view.visualRect(view.Model().index(2, NewsColumnTitle));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(frame.opened, QStringList{u"http://news.example.com/C"_s});
}

TEST_F(NewsView, InTheMainFrameTheMenuCommandsReachTheList)
{
    CRssReaderView* view = nullptr;
    PaneViewMakers makers;
    makers.newsList = [&](IFrameServices& services) {
        view = new CRssReaderView(doc, services.Theme(), services, Prefs());
        return view;
    };
    CMainFrame window(
        &doc, env.app, [] { return false; }, makers);
    window.resize(900, 600);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_NE(view, nullptr);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->IsInitialized()) << "the first update comes by itself";

    window.OnUpdate(RssEvent::ChannelSelected, desk.get());
    EXPECT_EQ(window.Panes().newsHeader->text(), u"Desk"_s);
    view->setFocus();
    view->setCurrentIndex(view->Model().index(0, NewsColumnTitle));
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(desk->UnreadCount(), 1);
    window.Commands().action(Command::MarkReadUnread)->trigger();
    EXPECT_EQ(desk->UnreadCount(), 2);
    window.Router().updateActions();
    EXPECT_TRUE(window.Commands().action(Command::DeleteNews)->isEnabled());
    EXPECT_TRUE(window.Commands().action(Command::ArrangeByDate)->isChecked()) << "sorted by date";
    EXPECT_FALSE(window.Commands().action(Command::SaveVoiceAs)->isEnabled()) << "no voice yet";

    // Enter in the search field searches, also while a found news item is selected below:
    // the window's Enter (open in browser) must not take the key from the field.
    QSignalSpy opened(window.Commands().action(Command::OpenInBrowser), &QAction::triggered);
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    CSearchDlg* bar = window.Panes().searchBar;
    ASSERT_TRUE(bar->isVisible());
    QSignalSpy searched(bar, &CSearchDlg::searched);
    bar->setSearchText(u"C"_s);
    bar->findNowButton()->click();
    ASSERT_EQ(searched.count(), 1);
    view->setFocus();
    view->setCurrentIndex(view->Model().index(0, NewsColumnTitle));
    window.Router().updateActions();
    ASSERT_TRUE(window.Commands().action(Command::OpenInBrowser)->isEnabled());
    bar->setFocus();
    QWidget* field = QApplication::focusWidget();
    ASSERT_TRUE(bar->isAncestorOf(field));
    QTest::keyClicks(field, u" A"_s);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(bar->searchText(), u"C A"_s);
    EXPECT_EQ(searched.count(), 2);
    EXPECT_EQ(opened.count(), 0);

    if (const QByteArray shot = qgetenv("CALVORIA_NEWS_SHOT"); !shot.isEmpty())
        window.grab().save(QString::fromLocal8Bit(shot));
}

} // namespace
