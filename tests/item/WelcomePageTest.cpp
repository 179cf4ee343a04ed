#include "WelcomePage.h"
#include "CItemPage.h"
#include "CItemView.h"
#include "CMainFrame.h"
#include "FramePanes.h"
#include "NewsTestSupport.h"
#include "PageText.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class WelcomePageTest : public ::testing::Test, public NewsFixture
{
protected:
    WelcomePageTest()
    {
        env.app.hasIe6 = true;
        QDir().mkpath(Prefs().StylesFolder());
        for (const QString& style : kStyles)
            QFile::copy(SourceDir() + u"/Options/"_s + style, Prefs().StylesFolder() + style);
        Prefs().SetReadingStyle(u"Default.xsl"_s);
    }

    std::unique_ptr<CItemView> MakeView()
    {
        auto view = std::make_unique<CItemView>(doc, env.app, frame);
        view->resize(700, 500);
        view->show();
        return view;
    }

    // Delivers the notification as the frame would and waits for the page it brings.
    static bool Deliver(CItemView& view, RssEvent hint, CRefCounted* object)
    {
        QSignalSpy loaded(&view, &CItemView::loadFinished);
        view.OnUpdate(hint, object);
        // A step's refused navigation may still report its end; the page's load succeeds.
        return QTest::qWaitFor(
            [&] {
                return std::any_of(loaded.begin(), loaded.end(),
                                   [](const QList<QVariant>& args) { return args.at(0).toBool(); });
            },
            20000);
    }

    static QString PageHtml(CItemView& view)
    {
        QFile file(view.PageFile().Path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll().mid(2);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                  bytes.size() / 2);
    }

    // A key to the page, where the engine takes its keyboard input.
    static void Key(CItemView& view, Qt::Key key)
    {
        QTest::keyClick(BrowserOf(view)->focusProxy(), key);
    }

    static inline const QStringList kStyles{u"Default.xsl"_s, u"Compact.xsl"_s, u"Dark.xsl"_s};
};

} // namespace

TEST_F(WelcomePageTest, ShowsUntilTheFirstChannelInEveryStyleAndItsStepsRunFromTheKeyboard)
{
    auto view = MakeView();
    CRssGroup& root = doc.RootGroup();
    doc.Select(&root, false);
    ASSERT_TRUE(Deliver(*view, RssEvent::GroupSelected, &root));
    EXPECT_TRUE(view->ShowsWelcome());
    EXPECT_EQ(PageOf(*view)->url(), view->PageFile().Url());
    const QString text = PageText(*view);
    for (const QString& words : {u"Welcome to Calvoria"_s, u"Add a feed"_s,
                                 u"Import subscriptions"_s, u"OPML"_s, u"Add example feeds"_s})
        EXPECT_TRUE(text.contains(words)) << qPrintable(words) << "\n" << qPrintable(text);
    const QString html = PageHtml(*view);
    EXPECT_FALSE(html.contains(u"<script"_s, Qt::CaseInsensitive));
    EXPECT_TRUE(
        html.contains(u"--theme: "_s + frame.theme.color(CThemeColors::FocusSelection).name()))
        << "drawn in the colour theme";

    // The keyboard alone: the first step has the focus, Tab goes on to the next.
    view->setFocus();
    Key(*view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.routed.isEmpty(); }, 10000));
    EXPECT_EQ(frame.routed, QList<Command>{Command::NewChannel});
    Key(*view, Qt::Key_Tab);
    Key(*view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.routed.size() == 2; }, 10000));
    EXPECT_EQ(frame.routed.last(), Command::ImportSubscriptions);
    Key(*view, Qt::Key_Tab);
    Key(*view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.examplesAdded == 1; }, 10000));
    EXPECT_EQ(PageOf(*view)->url(), view->PageFile().Url()) << "the steps load nothing";

    // Every reading style draws the page with its three steps.
    for (const QString& style : kStyles) {
        Prefs().SetReadingStyle(style);
        ASSERT_TRUE(Deliver(*view, RssEvent::StyleChanged, nullptr)) << qPrintable(style);
        const QString styled = PageHtml(*view);
        for (WelcomeStep step :
             {WelcomeStep::AddFeed, WelcomeStep::ImportSubscriptions, WelcomeStep::AddExampleFeeds})
            EXPECT_TRUE(styled.contains(u"href=\""_s + WelcomeStepUrl(step).toString() + u'"'))
                << qPrintable(style);
        EXPECT_TRUE(PageText(*view).contains(u"Add example feeds"_s)) << qPrintable(style);
    }
    Prefs().SetReadingStyle(u"Default.xsl"_s);

    // The first channel ends it: the group's page as before.
    CRefPtr<CRssChannel> desk = AddChannel(u"Desk"_s, 2, 1700000000, u"Story"_s);
    ASSERT_TRUE(Deliver(*view, RssEvent::TreeChanged, &root));
    EXPECT_FALSE(view->ShowsWelcome());
    EXPECT_TRUE(PageText(*view).contains(u"Story 1"_s));
}

TEST_F(WelcomePageTest, HelpWelcomeShowsItUntilTheSelectionChangesAndFeedLinksRunNoStep)
{
    CRefPtr<CRssChannel> desk = AddChannel(u"Desk"_s, 1, 1700000000, u"Story"_s);
    // Feed text may carry the same addresses; only the welcome page's own links count.
    CRssItem* story = static_cast<CRssItem*>(desk->ChildrenSnapshot().front().get());
    story->SetDescription(u"<a href=\"calvoria:add-examples\" style=\"position:fixed;left:0;"
                          "top:0;right:0;bottom:0\">more</a>"_s);
    auto view = MakeView();
    doc.Select(story, false);
    ASSERT_TRUE(Deliver(*view, RssEvent::ItemSelected, story));
    EXPECT_FALSE(view->ShowsWelcome()) << "a channel exists";
    QTest::mouseClick(BrowserOf(*view)->focusProxy(), Qt::LeftButton, {}, QPoint(300, 200));
    QTest::qWait(1000);
    EXPECT_EQ(frame.examplesAdded, 0);
    EXPECT_TRUE(frame.routed.isEmpty());

    QSignalSpy loaded(PageOf(*view), &QWebEnginePage::loadFinished);
    view->ShowWelcome();
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(view->ShowsWelcome());
    EXPECT_TRUE(PageText(*view).contains(u"Welcome to Calvoria"_s));
    // A change to the channel behind it does not take it away; a new selection does.
    ASSERT_TRUE(Deliver(*view, RssEvent::StyleChanged, nullptr));
    EXPECT_TRUE(view->ShowsWelcome());
    doc.Select(desk.get(), false);
    ASSERT_TRUE(Deliver(*view, RssEvent::ChannelSelected, desk.get()));
    EXPECT_FALSE(view->ShowsWelcome());
    EXPECT_TRUE(PageText(*view).contains(u"Story 0"_s));
}

TEST_F(WelcomePageTest, HelpWelcomeBringsBackAHiddenReadingPaneShowingTheWelcomePage)
{
    CRefPtr<CRssChannel> desk = AddChannel(u"Desk"_s, 1, 1700000000, u"Story"_s);
    doc.Select(desk.get(), false);
    CItemView* pane = nullptr;
    PaneViewMakers makers;
    makers.readingPane = [&](IFrameServices& services) {
        return pane = new CItemView(doc, env.app, services);
    };
    Prefs().readingPanePosition = 0;
    CMainFrame main(
        &doc, env.app, [] { return true; }, makers);
    main.show();
    ASSERT_EQ(pane, nullptr);
    ASSERT_TRUE(main.Router().route(Command::Welcome));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(Prefs().readingPanePosition, 2);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return pane->ShowsWelcome() && !PageOf(*pane)->IsLoading(); }, 20000));
    // The new pane's first look at the selection does not take the page away.
    QTest::qWait(500);
    EXPECT_TRUE(pane->ShowsWelcome());
    EXPECT_TRUE(PageText(*pane).contains(u"Welcome to Calvoria"_s));
}
