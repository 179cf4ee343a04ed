#include "CHttpSession.h"
#include "CLeftView.h"
#include "CNewChannel.h"
#include "CNewGroup.h"
#include "CThemeColors.h"
#include "LocalServer.h"
#include "SubscriptionFiles.h"
#include "TestSupport.h"
#include "TreeTestSupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs `act` on the next modal dialog of type D inside its event loop; a dialog still open
// after ten seconds is cancelled, so a fault cannot hang the test.
template <class D, class F> void AnswerNextDialog(F act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
            QTimer::singleShot(10000, dialog, &QDialog::reject);
        }
    });
    poll->start();
}

bool CommandEnabled(CLeftView& view, Command command)
{
    CommandState state;
    view.UpdateCommand(command, state);
    return state.enabled;
}

} // namespace

TEST(FirstSteps, NewChannelAndGroupWithoutASelectedGroupGoIntoMyFeedsAndEnterSubscribes)
{
    LocalServer server;
    TreeWorld w;
    static const bool curlReady = CHttpSession::GlobalInit();
    (void)curlReady;
    w.env.app.SetSession(CRefPtr<CHttpSession>::Make());
    server.Get("/feed", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<?xml version='1.0'?><rss version='2.0'><channel><title>Local "
                             "News</title><link>http://local.test/</link><item><title>One"
                             "</title></item></channel></rss>",
                             "application/rss+xml");
    });
    CThemeColors theme;
    CLeftView view(w.doc, theme, w.frame);
    view.show();
    ASSERT_EQ(w.doc.SelectedGroup(), nullptr);

    // Nothing selected: both are offered, and the address typed with Enter is all it takes.
    EXPECT_TRUE(CommandEnabled(view, Command::NewChannel));
    EXPECT_TRUE(CommandEnabled(view, Command::NewGroup));
    const QString feedUrl = server.Url("/feed");
    AnswerNextDialog<CNewChannel>([feedUrl](CNewChannel* dialog) {
        auto* url = dialog->findChild<QLineEdit*>(u"urlEdit"_s);
        url->clear();
        QTest::keyClicks(url, feedUrl);
        QTest::keyClick(url, Qt::Key_Return);
    });
    view.RunCommand(Command::NewChannel);
    EXPECT_EQ(ChildNames(w.doc.RootGroup()), QStringList{u"Local News"_s});

    // A special channel selected has no group of the tree: My Feeds again.
    w.doc.Select(&w.doc.SavedNews(), false);
    EXPECT_TRUE(CommandEnabled(view, Command::NewGroup));
    AnswerNextDialog<CNewGroup>([](CNewGroup* dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit*>(u"nameEdit"_s), u"Sport"_s);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    view.RunCommand(Command::NewGroup);
    EXPECT_EQ(ChildNames(w.doc.RootGroup()), (QStringList{u"Local News"_s, u"Sport"_s}));
    w.env.app.SetSession({});
}

TEST(FirstSteps, TheShippedExampleFeedsComeInOnceAsTheGroupExamples)
{
    TreeWorld w;
    const QString shipped = ExampleFeedsFile(SourceDir() + u"/Options/"_s);
    ASSERT_TRUE(QFile::exists(shipped)) << qPrintable(shipped);
    CRssGroup* examples = AddExampleFeeds(w.doc, shipped, nullptr);
    ASSERT_NE(examples, nullptr);
    EXPECT_EQ(ChildNames(w.doc.RootGroup()), QStringList{u"Examples"_s});
    EXPECT_EQ(w.doc.SelectedGroup(), examples);
    const auto feeds = examples->ChildrenSnapshot();
    EXPECT_GE(feeds.size(), 4u);
    for (const CRefPtr<CRssNode>& node : feeds) {
        auto* channel = NodeCast<CRssChannel>(node.get());
        ASSERT_NE(channel, nullptr);
        EXPECT_TRUE(channel->Url().startsWith(u"https://"_s)) << qPrintable(channel->Url());
    }
    EXPECT_TRUE(ReadFile(w.doc.OpmlFile()).contains("Examples")) << "saved at once";

    // Asked again, nothing doubles.
    EXPECT_EQ(AddExampleFeeds(w.doc, shipped, nullptr), examples);
    EXPECT_EQ(ChildNames(w.doc.RootGroup()), QStringList{u"Examples"_s});
    EXPECT_EQ(examples->ChildrenSnapshot().size(), feeds.size());

    // Tests point the examples at feeds of their own.
    ScopedEnv other("CALVORIA_EXAMPLE_FEEDS", QByteArray("/elsewhere/examples.opml"));
    EXPECT_EQ(ExampleFeedsFile(SourceDir() + u"/Options/"_s), u"/elsewhere/examples.opml"_s);
}
