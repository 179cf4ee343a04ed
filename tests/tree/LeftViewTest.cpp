#include "CLeftView.h"
#include "CNewChannel.h"
#include "CNewGroup.h"
#include "CThemeColors.h"
#include "ChannelTreeModel.h"
#include "LocalServer.h"
#include "SoonAsserts.h"
#include "StringTable.h"
#include "TreeTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kFeed =
    "<?xml version='1.0'?><rss version='2.0'><channel><title>Local News</title>"
    "<link>http://local.test/</link><description>News from nearby</description>"
    "<item><title>One</title><description>First</description></item></channel></rss>";

// Answers the next message box with `button` and remembers its question.
class BoxAnswer
{
public:
    explicit BoxAnswer(QMessageBox::StandardButton button)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this, button] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                question = box->text();
                m_poll.stop();
                box->button(button)->click();
            }
        });
        m_poll.start();
    }
    QString question;

private:
    QTimer m_poll;
};

// Runs `fill` on the next modal dialog of type D, inside its event loop.
template <class D, class F> void WithNextDialog(F fill)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, fill] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            fill(dialog);
        }
    });
    poll->start();
}

template <class W> W* Child(QWidget* parent, const char* name)
{
    return parent->findChild<W*>(QString::fromLatin1(name));
}

QList<Command> MenuIds(const QMenu& menu)
{
    QList<Command> ids;
    for (const QAction* action : menu.actions())
        if (!action->isSeparator())
            ids << Command(action->data().toInt());
    return ids;
}

bool Enabled(CLeftView& view, Command command)
{
    CommandState state;
    view.UpdateCommand(command, state);
    return state.enabled;
}

class LeftView : public ::testing::Test
{
protected:
    void Show(CLeftView& view)
    {
        view.resize(260, 320);
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
    }

    LocalServer server; // last to go, after the session's kept-alive connections
    TreeWorld w;
    CThemeColors theme;
};

} // namespace

TEST_F(LeftView, RenamesDeletesAndOffersMenusFromTheKeyboard)
{
    CRssGroup& root = w.doc.RootGroup();
    CRssGroup* tech = w.AddGroup(root, u"Tech"_s);
    CRssChannel* alpha = w.AddChannel(*tech, u"Alpha"_s);
    CRssChannel* beta = w.AddChannel(*tech, u"Beta"_s, 3);
    CRssChannel* gamma = w.AddChannel(root, u"Gamma"_s);
    beta->SetFavorite(true);
    ASSERT_TRUE(w.doc.SaveNews());
    CLeftView view(w.doc, theme, w.frame);
    ChannelTreeModel& model = view.Model();
    Show(view);
    EXPECT_EQ(view.accessibleName(), u"My Channels"_s);

    // The root group cannot be renamed, by command or by F2.
    view.setCurrentIndex(model.RootGroupIndex());
    EXPECT_EQ(w.doc.SelectedGroup(), &root);
    EXPECT_FALSE(Enabled(view, Command::RenameGroup));
    EXPECT_TRUE(Enabled(view, Command::NewChannel));
    EXPECT_FALSE(Enabled(view, Command::ChannelProperties));
    QTest::keyClick(&view, Qt::Key_F2);
    EXPECT_EQ(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr) << "no editor";

    // Down to "Tech", F2, a new name, Enter.
    QTest::keyClick(&view, Qt::Key_Down);
    ASSERT_EQ(view.Model().NodeAt(view.currentIndex()), tech);
    EXPECT_EQ(w.doc.SelectedGroup(), tech);
    EXPECT_TRUE(Enabled(view, Command::RenameGroup));
    QTest::keyClick(&view, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, u"News"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_SOON_EQ(tech->Name(), u"News"_s);
    EXPECT_EQ(model.IndexOf(tech).data().toString(), u"News"_s);
    // Left folds the group and Enter opens it again; the group keeps the state for data.opml.
    QTest::keyClick(&view, Qt::Key_Left);
    EXPECT_FALSE(tech->Expanded());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(tech->Expanded());
    EXPECT_TRUE(view.isExpanded(model.IndexOf(tech)));

    // Menus: none on the favourites and the special channels; a channel's shows its state.
    for (const QModelIndex& index :
         {model.FavoritesIndex(), model.SavedNewsIndex(), model.SearchResultsIndex()})
        EXPECT_EQ(view.ContextMenuFor(index), nullptr);
    std::unique_ptr<QMenu> menu(view.ContextMenuFor(model.IndexOf(gamma)));
    ASSERT_TRUE(menu);
    EXPECT_EQ(MenuIds(*menu),
              (QList<Command>{Command::RowUpdateChannel, Command::RowUpdateGroup,
                              Command::RowMarkChannelRead, Command::RowMarkGroupRead,
                              Command::RowListen, Command::RowEnableConversion, Command::RowDisableConversion,
                              Command::RowDeleteChannel, Command::RowChannelProperties}));
    QStringList disabled;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator() && !action->isEnabled())
            disabled << action->text();
    EXPECT_EQ(disabled,
              (QStringList{u"&Mark channel as read"_s, u"&Listen"_s,
                           u"D&isable convertion to voice"_s}));
    menu.reset(view.ContextMenuFor(model.IndexOf(tech)));
    EXPECT_EQ(MenuIds(*menu), (QList<Command>{Command::RowNewChannel, Command::RowNewGroup,
                                              Command::RowUpdateGroup, Command::RowMarkGroupRead,
                                              Command::RowListen, Command::RowDeleteGroup,
                                              Command::RowRenameGroup}));
    {
        BoxAnswer no(QMessageBox::No);
        view.RunRowCommand(Command::RowEnableConversion, gamma);
        EXPECT_EQ(no.question, u"Do you want to convert existing news to voice?"_s);
    }
    EXPECT_TRUE(gamma->AutoConvert());
    EXPECT_EQ(model.IndexOf(gamma).data(ChannelTreeModel::ImageRole).toInt(), 7);
    // Shift+F10 opens the row's menu at the current row.
    view.setCurrentIndex(model.IndexOf(gamma));
    QTimer::singleShot(50, [] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
            for (QAction* action : popup->actions())
                if (Command(action->data().toInt()) == Command::RowDisableConversion) {
                    popup->setActiveAction(action);
                    QTest::keyClick(popup, Qt::Key_Return);
                }
    });
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_SOON(!gamma->AutoConvert());
    // A right click opens the clicked row's menu without selecting the row: selecting it
    // could start that channel's download before the person chose anything.
    QString menuRow;
    QTimer::singleShot(50, [&] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuRow = popup->actions().first()->text();
            popup->close();
        }
    });
    // As on X11: the press, then the menu.
    const QPoint techRow = view.visualRect(model.IndexOf(tech)).center();
    QTest::mousePress(view.viewport(), Qt::RightButton, {}, techRow);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, techRow,
                                view.viewport()->mapToGlobal(techRow));
    QApplication::sendEvent(view.viewport(), &menuEvent);
    QTest::mouseRelease(view.viewport(), Qt::RightButton, {}, techRow);
    ASSERT_SOON(!menuRow.isEmpty());
    EXPECT_EQ(menuRow, u"&New channel"_s) << "the menu of the row clicked";
    EXPECT_EQ(view.currentIndex(), model.IndexOf(gamma));
    EXPECT_EQ(w.doc.SelectedChannel(), gamma);

    // Del on a channel asks first; Yes deletes it with its file. The window's own Del
    // (delete news) does not fire while the tree has the focus.
    QAction deleteNews;
    deleteNews.setShortcut(Qt::Key_Delete);
    view.addAction(&deleteNews);
    QSignalSpy deleteNewsSpy(&deleteNews, &QAction::triggered);
    view.activateWindow(); // the message box took the activation with it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.setCurrentIndex(model.IndexOf(alpha));
    const QString alphaFile = alpha->FilePath();
    ASSERT_TRUE(QFile::exists(alphaFile));
    {
        BoxAnswer no(QMessageBox::No);
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_EQ(no.question, u"Are you sure you want to delete this channel?"_s);
    }
    EXPECT_EQ(tech->ChildCount(), 2);
    {
        BoxAnswer yes(QMessageBox::Yes);
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_FALSE(yes.question.isEmpty());
    }
    EXPECT_EQ(tech->ChildCount(), 1);
    EXPECT_FALSE(model.IndexOf(alpha).isValid());
    EXPECT_FALSE(QFile::exists(alphaFile));
    EXPECT_EQ(deleteNewsSpy.count(), 0);
    EXPECT_NE(w.doc.SelectedChannel(), alpha) << "the selection moved on with the current row";

    // Del on the root group asks nothing and does nothing.
    view.setCurrentIndex(model.RootGroupIndex());
    {
        BoxAnswer none(QMessageBox::Yes);
        QTest::keyClick(&view, Qt::Key_Delete);
        QTest::qWait(50);
        EXPECT_TRUE(none.question.isEmpty());
    }
    EXPECT_EQ(root.ChildCount(), 2);

    // A group goes with all its channels, favourite copies included.
    view.setCurrentIndex(model.IndexOf(tech));
    {
        BoxAnswer yes(QMessageBox::Yes);
        QTest::keyClick(&view, Qt::Key_Delete);
        EXPECT_EQ(yes.question,
                  u"Are you sure you want to delete this group and all subchannels?"_s);
    }
    EXPECT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(model.rowCount(model.FavoritesIndex()), 0);
    EXPECT_FALSE(model.IndexOf(beta).isValid());

    // The tree follows a selection made elsewhere (the search bar selects the results).
    w.doc.Select(&w.doc.SearchResults(), true);
    w.Deliver(view);
    EXPECT_EQ(view.currentIndex(), model.SearchResultsIndex());
}

TEST_F(LeftView, NewChannelVerifiesTheFeedAndNewGroupAppendsAGroup)
{
    static const bool curlReady = CHttpSession::GlobalInit();
    (void)curlReady;
    const auto session = CRefPtr<CHttpSession>::Make();
    w.env.app.SetSession(session);
    server.Get("/feed", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kFeed, "application/rss+xml");
    });
    const QString feedUrl = server.Url("/feed");
    // A web page that links to two feeds, one of them by a relative address.
    const std::string site = "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" "
                             "title=\"All news\" href=\"feed\"><link rel=\"alternate\" "
                             "type=\"application/atom+xml\" href=\"" +
                             server.Url("/other").toStdString() +
                             "\"></head><body>Hi</body></html>";
    server.Get("/site/", [site](const httplib::Request&, httplib::Response& response) {
        response.set_content(site, "text/html");
    });
    server.Get("/site/feed", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kFeed, "application/rss+xml");
    });
    CRssChannel* old = w.AddChannel(w.doc.RootGroup(), u"Old"_s);
    CLeftView view(w.doc, theme, w.frame);
    Show(view);
    view.setCurrentIndex(view.Model().IndexOf(old));

    // An address on the clipboard is offered; a wrong one fails verification; a good one
    // names the channel, unless the person typed a name.
    QApplication::clipboard()->setText(feedUrl);
    QString offered, failed, named, page, kept, fromPage;
    QStringList offeredFeeds;
    WithNextDialog<CNewChannel>([&](CNewChannel* dialog) {
        auto* url = Child<QLineEdit>(dialog, "urlEdit");
        auto* name = Child<QLineEdit>(dialog, "nameEdit");
        auto* verify = Child<QPushButton>(dialog, "verifyButton");
        auto waitVerified = [&] {
            for (int i = 0; i < 500 && dialog->IsVerifying(); ++i)
                QTest::qWait(10);
        };
        offered = url->text();
        url->setText(server.Url("/missing"));
        verify->click();
        waitVerified();
        failed = Child<QLabel>(dialog, "descriptionText")->text();
        url->setText(server.Url("/site/"));
        verify->click();
        waitVerified();
        fromPage = url->text();
        auto* feeds = Child<QComboBox>(dialog, "feedChoice");
        for (int i = 0; feeds->isVisible() && i < feeds->count(); ++i)
            offeredFeeds << feeds->itemData(i).toString();
        url->setText(feedUrl);
        verify->click();
        waitVerified();
        named = name->text();
        page = Child<QLineEdit>(dialog, "webpageEdit")->text();
        Child<QPushButton>(dialog, "goButton")->click();
        name->clear();
        QTest::keyClicks(name, u"Nearby"_s);
        verify->click();
        waitVerified();
        kept = name->text();
        if (const QByteArray dir = qgetenv("CALVORIA_TREE_SCREENSHOT"); !dir.isEmpty())
            dialog->grab().save(QString::fromLocal8Bit(dir) + u"/new-channel.png"_s);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    ASSERT_TRUE(Enabled(view, Command::NewChannel));
    view.RunCommand(Command::NewChannel);
    EXPECT_EQ(offered, feedUrl);
    EXPECT_TRUE(failed.startsWith(u"Verification failed"_s)) << failed.toStdString();
    EXPECT_EQ(fromPage, server.Url("/site/feed")) << "a page's first feed is taken";
    EXPECT_EQ(offeredFeeds, (QStringList{server.Url("/site/feed"), server.Url("/other")}));
    EXPECT_EQ(named, u"Local News"_s);
    EXPECT_EQ(page, u"http://local.test/"_s);
    EXPECT_EQ(w.frame.opened, QStringList{u"http://local.test/"_s});
    EXPECT_EQ(kept, u"Nearby"_s);

    const auto children = w.doc.RootGroup().ChildrenSnapshot();
    ASSERT_EQ(children.size(), 2u);
    auto* added = NodeCast<CRssChannel>(children.back().get());
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->Name(), u"Nearby"_s);
    EXPECT_EQ(added->Url(), feedUrl);
    EXPECT_EQ(view.Model().NodeAt(view.currentIndex()), added)
        << "the new channel is shown selected";
    EXPECT_EQ(w.doc.SelectedChannel(), added);
    EXPECT_TRUE(ReadFile(w.doc.OpmlFile()).contains("Nearby"));

    WithNextDialog<CNewGroup>([](CNewGroup* dialog) {
        QTest::keyClicks(Child<QLineEdit>(dialog, "nameEdit"), u"Sport"_s);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    view.RunCommand(Command::NewGroup);
    auto* sport = NodeCast<CRssGroup>(w.doc.RootGroup().ChildrenSnapshot().back().get());
    ASSERT_NE(sport, nullptr);
    EXPECT_EQ(sport->Name(), u"Sport"_s);
    EXPECT_EQ(view.Model().IndexOf(sport).data().toString(), u"Sport"_s);

    // Properties: a changed option enables Apply; OK keeps it, the channel's own voice too.
    bool applyEnabled = false;
    QString automatic;
    WithNextDialog<CNewChannel>([&](CNewChannel* dialog) {
        auto* apply = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply);
        const bool before = apply->isEnabled();
        Child<QCheckBox>(dialog, "autoUpdateBox")->click();
        applyEnabled = !before && apply->isEnabled();
        auto* voice = Child<QComboBox>(dialog, "voiceBox");
        automatic = voice->currentText();
        voice->setCurrentIndex(voice->findData(u"flite/slt"_s));
        auto* images = Child<QComboBox>(dialog, "remoteImagesBox");
        automatic += u" / "_s + images->currentText();
        images->setCurrentIndex(images->findText(u"Never load"_s));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    view.RunRowCommand(Command::RowChannelProperties, old);
    EXPECT_TRUE(applyEnabled);
    EXPECT_FALSE(old->AutoUpdate());
    EXPECT_EQ(automatic, u"Automatic / As in the options"_s);
    EXPECT_EQ(old->Voice(), u"flite/slt"_s);
    EXPECT_EQ(old->RemoteImagesChoice(), CRssChannel::RemoteImages::Never);
    ASSERT_TRUE(w.doc.SaveNews());
    EXPECT_TRUE(ReadFile(w.doc.OpmlFile()).contains("remoteimages=\"never\""));
    EXPECT_EQ(old->Name(), u"Old"_s);
    w.env.app.SetSession({});
}

TEST_F(LeftView, KeepsItsPlaceWhileContentChangesAndPaintsInTheTheme)
{
    CRssGroup& root = w.doc.RootGroup();
    CRssGroup* tech = w.AddGroup(root, u"Tech"_s);
    w.AddChannel(*tech, u"Alpha"_s);
    CRssChannel* beta = w.AddChannel(*tech, u"Beta"_s, 3);
    CRssChannel* busy = w.AddChannel(*tech, u"Gamma"_s);
    beta->SetFavorite(true);
    busy->SetDownloadState(CRssChannel::Downloading);
    CRssGroup* many = w.AddGroup(root, u"Many"_s);
    std::vector<CRssChannel*> feeds;
    for (int i = 0; i < 60; ++i)
        feeds.push_back(w.AddChannel(*many, u"Feed %1"_s.arg(i)));
    CLeftView view(w.doc, theme, w.frame);
    ChannelTreeModel& model = view.Model();
    Show(view);

    // What a person sees first: the picture is kept for a look when asked.
    view.setCurrentIndex(model.IndexOf(beta));
    view.collapse(model.IndexOf(many));
    const QImage picture = view.grab().toImage();
    if (const QByteArray dir = qgetenv("CALVORIA_TREE_SCREENSHOT"); !dir.isEmpty())
        picture.save(QString::fromLocal8Bit(dir) + u"/tree.png"_s);
    const QRect betaRect = view.visualRect(model.IndexOf(beta)).translated(view.viewport()->pos());
    EXPECT_EQ(picture.pixelColor(betaRect.left() + 19, betaRect.center().y()),
              QColor(0x31, 0x6A, 0xC5))
        << "focused selection in the blue theme";
    view.clearFocus();
    const QImage unfocused = view.grab().toImage();
    EXPECT_EQ(unfocused.pixelColor(betaRect.left() + 19, betaRect.center().y()),
              QColor(0xEC, 0xE9, 0xD8));
    view.setFocus();
    view.expand(model.IndexOf(many));

    // Type-ahead finds a channel; refreshes and changes elsewhere leave it and the scroll alone.
    QTest::keyClicks(&view, u"feed 45"_s);
    ASSERT_EQ(model.NodeAt(view.currentIndex()), feeds[45]);
    const QPoint top(view.viewport()->width() / 2, 2);
    CRssNode* firstShown = model.NodeAt(view.indexAt(top));
    ASSERT_NE(firstShown, nullptr);
    EXPECT_GT(view.verticalScrollBar()->value(), 0);
    for (CRssChannel* feed : feeds) {
        feed->SetCounts(4, 4);
        view.OnUpdate(RssEvent::ChannelReloaded, feed);
    }
    w.AddChannel(*many, u"Feed 60"_s);
    tech->RemoveChild(busy);
    w.Deliver(view);
    EXPECT_EQ(model.NodeAt(view.currentIndex()), feeds[45]);
    EXPECT_EQ(model.NodeAt(view.indexAt(top)), firstShown) << "the same rows stay in sight";
    EXPECT_EQ(view.currentIndex().data().toString(), u"Feed 45 (4)"_s);
    EXPECT_FALSE(model.IsAnimating()) << "the only busy channel left the tree";

    // Idle, the tree costs nothing: well under half a percent of a core.
    QTest::qWait(300);
    QEventLoop idle;
    QTimer::singleShot(2000, &idle, &QEventLoop::quit);
    const std::clock_t before = std::clock();
    idle.exec();
    const double seconds = double(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(seconds, 0.01);
}
