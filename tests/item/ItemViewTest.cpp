#include "CCommandTable.h"
#include "CItemPage.h"
#include "CHttpSession.h"
#include "CItemView.h"
#include "CMainFrame.h"
#include "CReadingInterceptor.h"
#include "FramePanes.h"
#include "LocalServer.h"
#include "NewsTestSupport.h"
#include "PageText.h"
#include "WebEngineSetup.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QLabel>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The engine is readied before the test main makes the application object.
const bool kEngineReady = (PrepareWebEngine(), true);

constexpr qint64 kT0 = 1700000000 - 86400;

class ItemViewTest : public ::testing::Test, public NewsFixture
{
protected:
    ItemViewTest()
    {
        env.app.hasIe6 = true;
        QDir().mkpath(Prefs().StylesFolder());
        QFile::copy(SourceDir() + u"/tests/item/data/Tiny.xsl"_s,
                    Prefs().StylesFolder() + u"Tiny.xsl"_s);
        Prefs().SetReadingStyle(u"Tiny.xsl"_s);
        desk = AddChannel(u"Desk"_s, 0, kT0);
        for (const QString& title : {u"Gamma"_s, u"Beta"_s, u"Alpha"_s})
            AddItem(*desk, title, kT0)->SetLink(u"http://news.example.com/"_s + title);
    }

    std::unique_ptr<CItemView> MakeView()
    {
        auto view = std::make_unique<CItemView>(doc, env.app, frame);
        view->resize(600, 400);
        view->show();
        return view;
    }

    // Selects the node as the tree and the list do, and waits for the page it brings.
    bool SelectAndLoad(CItemView& view, CRssNode* node)
    {
        QSignalSpy loaded(&view, &CItemView::loadFinished);
        doc.Select(node, false);
        const RssEvent hint = node->IsItem()      ? RssEvent::ItemSelected
                              : node->IsChannel() ? RssEvent::ChannelSelected
                                                  : RssEvent::GroupSelected;
        view.OnUpdate(hint, node);
        return WaitLoaded(loaded);
    }

    static bool WaitLoaded(QSignalSpy& loaded)
    {
        return (!loaded.isEmpty() || loaded.wait(20000)) && loaded.last().at(0).toBool();
    }

    CRssItem* Item(int row) const
    {
        return static_cast<CRssItem*>(desk->ChildrenSnapshot().at(row).get());
    }

    CRefPtr<CRssChannel> desk;
};

TEST_F(ItemViewTest, ItemChannelAndGroupPagesAreWrittenAsUtf16AndShownAndFailuresShowBlank)
{
    auto view = MakeView();
    const QString pageFile = view->PageFile().Path();
    ASSERT_TRUE(QFileInfo(pageFile).fileName().startsWith(u"rss"_s));
    ASSERT_TRUE(pageFile.endsWith(u".html"_s));

    ASSERT_TRUE(SelectAndLoad(*view, Item(1)));
    EXPECT_EQ(PageOf(*view)->url(), QUrl::fromLocalFile(pageFile));
    QFile file(pageFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString html = QString::fromUtf16(
        reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    EXPECT_TRUE(html.contains(u"<h3><a href=\"http://news.example.com/Beta\">Beta</a></h3>"_s))
        << qPrintable(html);
    QString text = PageText(*view);
    EXPECT_TRUE(text.contains(u"Beta"_s)) << qPrintable(text);
    EXPECT_FALSE(text.contains(u"Alpha"_s));
    EXPECT_EQ(PageOf(*view)->title(), u"Reading"_s);

    ASSERT_TRUE(SelectAndLoad(*view, desk.get()));
    text = PageText(*view);
    for (const QString& title : {u"Alpha"_s, u"Beta"_s, u"Gamma"_s})
        EXPECT_TRUE(text.contains(title)) << qPrintable(text);

    CRefPtr<CRssGroup> desks = CRssGroup::Create(&env.context);
    desks->Rename(u"Desks of the week"_s);
    doc.RootGroup().AddChild(desks.get());
    ASSERT_TRUE(SelectAndLoad(*view, desks.get()));
    EXPECT_TRUE(PageText(*view).contains(u"Desks of the week"_s));

    // News outside any channel has no newspaper: the style still makes a page of nothing.
    CRefPtr<CRssItem> lost = CRssItem::Create(&env.context, u"Lost"_s, u"x"_s);
    ASSERT_TRUE(SelectAndLoad(*view, lost.get()));
    EXPECT_EQ(PageOf(*view)->url(), view->PageFile().Url());
    EXPECT_FALSE(PageText(*view).contains(u"Lost"_s));

    // A style that is not there shows an empty page.
    Prefs().SetReadingStyle(u"Missing.xsl"_s);
    QSignalSpy loaded(PageOf(*view), &QWebEnginePage::loadFinished);
    view->OnUpdate(RssEvent::StyleChanged, nullptr);
    ASSERT_TRUE(WaitLoaded(loaded));
    EXPECT_EQ(PageOf(*view)->url(), QUrl(u"about:blank"_s));

    // Without a usable engine the pane tells so with the styles folder's page.
    QFile notice(Prefs().StylesFolder() + u"noIE6.htm"_s);
    ASSERT_TRUE(notice.open(QIODevice::WriteOnly));
    notice.write("<html><body>No engine</body></html>");
    notice.close();
    env.app.hasIe6 = false;
    view->OnUpdate(RssEvent::StyleChanged, nullptr);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return PageOf(*view)->url().fileName() == u"noIE6.htm"_s; }, 10000));
    EXPECT_EQ(PageOf(*view)->url().toLocalFile(),
              QDir::cleanPath(Prefs().StylesFolder() + u"noIE6.htm"_s));
    EXPECT_TRUE(PageText(*view).contains(u"No engine"_s));

    view.reset();
    EXPECT_FALSE(QFile::exists(pageFile));
}

TEST_F(ItemViewTest, TheEngineWaitsForTheFirstPageMyFeedsOffersItsNewspaperAndItIsKept)
{
    auto view = std::make_unique<CItemView>(doc, env.app, frame);
    view->resize(600, 400);
    const auto engines = [&] { return view->findChildren<QWebEngineView*>().size(); };
    // A pane not shown (the window in the tray) and nothing selected: no engine, and its
    // commands do nothing.
    view->OnUpdate(RssEvent::ItemSelected, nullptr);
    view->OnUpdate(RssEvent::ChannelReloaded, desk.get());
    QTest::qWait(300);
    EXPECT_EQ(engines(), 0);
    CommandState back;
    view->UpdateCommand(Command::Back, back);
    EXPECT_FALSE(back.enabled);
    view->RunCommand(Command::Refresh);
    EXPECT_FALSE(view->OpenNewWindow(QUrl(u"https://news.example.com/x"_s)));

    // Shown on "My Feeds", as the window starts: still none; the pane says how to begin and
    // offers the newspaper, which the keyboard reaches.
    view->show();
    doc.Select(&doc.RootGroup(), false);
    view->OnUpdate(RssEvent::GroupSelected, &doc.RootGroup());
    QTest::qWait(300);
    EXPECT_EQ(engines(), 0);
    EXPECT_EQ(view->Surface(), nullptr);
    auto* summary = view->findChild<QLabel*>(u"readingSummary"_s);
    ASSERT_TRUE(summary && summary->isVisible());
    EXPECT_TRUE(summary->text().contains(doc.RootGroup().Name()));
    EXPECT_EQ(view->focusProxy(), summary);
    QSignalSpy loaded(view.get(), &CItemView::loadFinished);
    Q_EMIT summary->linkActivated(u"#newspaper"_s);
    ASSERT_TRUE(WaitLoaded(loaded));
    EXPECT_TRUE(PageText(*view).contains(u"Gamma"_s));
    EXPECT_EQ(view->focusProxy(), BrowserOf(*view));

    // Later pages keep the same engine.
    QWebEngineView* browser = BrowserOf(*view);
    ASSERT_TRUE(SelectAndLoad(*view, Item(0)));
    EXPECT_TRUE(PageText(*view).contains(u"Alpha"_s));
    ASSERT_TRUE(SelectAndLoad(*view, desk.get()));
    ASSERT_TRUE(SelectAndLoad(*view, &doc.RootGroup()));
    EXPECT_EQ(engines(), 1);
    EXPECT_EQ(BrowserOf(*view), browser);
    view->UpdateCommand(Command::Back, back);
    EXPECT_FALSE(back.enabled);
}

TEST_F(ItemViewTest, ShownItemIsMarkedReadAfterTheDelayUnlessItChangesAndReselectingKeepsTheClock)
{
    auto view = MakeView();
    Prefs().markReadDelayMs = 150;
    CRssItem* alpha = Item(0);
    CRssItem* beta = Item(1);
    CRssItem* gamma = Item(2);
    ASSERT_EQ(desk->UnreadCount(), 3);

    ASSERT_TRUE(SelectAndLoad(*view, alpha));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alpha->unread; }, 3000));
    EXPECT_EQ(desk->UnreadCount(), 2);
    EXPECT_GE(env.Count(RssEvent::ItemChanged), 1);

    // A change of the shown item (its voice state, say) before the delay ends.
    doc.Select(beta, false);
    view->OnUpdate(RssEvent::ItemSelected, beta);
    view->OnUpdate(RssEvent::ItemChanged, beta);
    QTest::qWait(500);
    EXPECT_TRUE(beta->unread);

    // Selecting the same item again neither restarts the clock nor renders again.
    Prefs().markReadDelayMs = 2000;
    QElapsedTimer clock;
    ASSERT_TRUE(SelectAndLoad(*view, gamma));
    clock.start();
    QTest::qWait(1000);
    QSignalSpy started(PageOf(*view), &QWebEnginePage::loadStarted);
    doc.Select(gamma, false);
    view->OnUpdate(RssEvent::ItemSelected, gamma);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !gamma->unread; }, 5000));
    EXPECT_LT(clock.elapsed(), 2900); // a restart would mark it read at 3000 ms at the soonest
    EXPECT_EQ(started.count(), 0);
}

TEST_F(ItemViewTest,
       AfterFollowingALinkTheChannelsReloadKeepsThePageAndAnotherSelectionBringsItsOwn)
{
    LocalServer server;
    server.Get("/story", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Story</title></head><body>far</body></html>",
                             "text/html");
    });
    server.GetSlowly("/slow", "text/html");
    // One link that covers the whole page, so a click anywhere follows it; first into a
    // window of its own, which the person's browser gets.
    const QString link = u"<a href=\""_s + server.Url("/story") +
                         u"\" style=\"position:fixed;left:0;top:0;right:0;bottom:0\""_s;
    Item(0)->SetDescription(link + u" target=\"_blank\">go</a>"_s);
    auto view = MakeView();
    ASSERT_TRUE(SelectAndLoad(*view, desk.get()));
    QWidget* surface = BrowserOf(*view)->focusProxy();
    ASSERT_NE(surface, nullptr);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(300, 200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.opened.isEmpty(); }, 10000));
    EXPECT_EQ(frame.opened, QStringList{server.Url("/story")});
    frame.opened.clear();

    // Still on its own page, the pane follows the channel's news.
    Item(0)->SetDescription(link + u">go</a>"_s);
    QSignalSpy loaded(PageOf(*view), &QWebEnginePage::loadFinished);
    view->OnUpdate(RssEvent::ChannelReloaded, desk.get());
    ASSERT_TRUE(WaitLoaded(loaded));
    EXPECT_FALSE(view->NavigatedAway());
    EXPECT_EQ(server.Hits("/story"), 0);

    loaded.clear();
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(300, 200));
    ASSERT_TRUE(WaitLoaded(loaded));
    ASSERT_EQ(PageOf(*view)->url(), QUrl(server.Url("/story")));
    EXPECT_TRUE(view->NavigatedAway());
    EXPECT_EQ(server.Hits("/story"), 1);
    CommandState back;
    view->UpdateCommand(Command::Back, back);
    EXPECT_TRUE(back.enabled);

    // A new window is refused while the page loads; once loaded, a web address goes to
    // the person's browser.
    EXPECT_TRUE(view->OpenNewWindow(QUrl(u"https://news.example.com/x"_s)));
    EXPECT_FALSE(view->OpenNewWindow(QUrl(u"file:///etc/passwd"_s)));
    EXPECT_EQ(frame.opened, QStringList{u"https://news.example.com/x"_s});
    QSignalSpy started(PageOf(*view), &QWebEnginePage::loadStarted);
    PageOf(*view)->load(QUrl(server.Url("/slow")));
    ASSERT_TRUE(started.wait(10000));
    EXPECT_FALSE(view->OpenNewWindow(QUrl(u"https://news.example.com/y"_s)));
    EXPECT_EQ(frame.opened.size(), 1);
    PageOf(*view)->triggerAction(QWebEnginePage::Stop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !PageOf(*view)->IsLoading(); }, 10000));
    ASSERT_EQ(PageOf(*view)->url(), QUrl(server.Url("/story")));

    view->OnUpdate(RssEvent::ChannelReloaded, desk.get());
    QTest::qWait(300);
    EXPECT_EQ(PageOf(*view)->url(), QUrl(server.Url("/story")));

    CRefPtr<CRssChannel> other = AddChannel(u"Other"_s, 1, kT0, u"Elsewhere"_s);
    ASSERT_TRUE(SelectAndLoad(*view, other.get()));
    EXPECT_EQ(PageOf(*view)->url(), view->PageFile().Url());
    EXPECT_FALSE(view->NavigatedAway());
    EXPECT_TRUE(PageText(*view).contains(u"Elsewhere 0"_s));
}

TEST_F(ItemViewTest, FeedHtmlRunsNoScriptLoadsNoFrameAndCannotMoveThePane)
{
    LocalServer server;
    for (const char* path : {"/frame", "/refresh", "/pixel", "/js"})
        server.Get(path, [](const httplib::Request&, httplib::Response& response) {
            response.set_content("x", "text/html");
        });
    const QString hostile = u"<script>document.title='pwned'</script>"
                            "<img src=\"nothere.png\" onerror=\"document.title='pwned'\">"
                            "<img src=\""_s +
                            server.Url("/pixel") +
                            u"\">"
                            "<iframe src=\""_s +
                            server.Url("/frame") +
                            u"\"></iframe>"
                            "<meta http-equiv=\"refresh\" content=\"0;url="_s +
                            server.Url("/refresh") +
                            u"\">"
                            "<a href=\"javascript:document.title='pwned';location='"_s +
                            server.Url("/js") +
                            u"'\" style=\"position:fixed;left:0;top:0;right:0;bottom:0\">js</a>"_s;
    Item(0)->SetDescription(hostile);
    auto view = MakeView();
    ASSERT_TRUE(SelectAndLoad(*view, Item(0)));
    QTest::mouseClick(BrowserOf(*view)->focusProxy(), Qt::LeftButton, {}, QPoint(300, 200));
    QTest::qWait(1500);

    EXPECT_GE(server.Hits("/pixel"), 1); // the server was there to be asked
    EXPECT_EQ(server.Hits("/frame"), 0);
    EXPECT_EQ(server.Hits("/refresh"), 0);
    EXPECT_EQ(server.Hits("/js"), 0);
    EXPECT_EQ(PageOf(*view)->title(), u"Reading"_s);
    EXPECT_EQ(PageOf(*view)->url(), view->PageFile().Url());

    // Under the page's settings: of local files only the page and the styles folder load,
    // frames and other schemes never.
    const QString styles = Prefs().StylesFolder();
    CReadingInterceptor wall({view->PageFile().Path()}, styles);
    EXPECT_TRUE(wall.Allows(view->PageFile().Url(), false));
    EXPECT_TRUE(wall.Allows(QUrl::fromLocalFile(styles + u"look.css"_s), false));
    EXPECT_TRUE(wall.Allows(QUrl(server.Url("/pixel")), false));
    EXPECT_FALSE(wall.Allows(QUrl(server.Url("/frame")), true));
    EXPECT_FALSE(wall.Allows(QUrl::fromLocalFile(styles + u"../data/settings.ini"_s), false));
    EXPECT_FALSE(wall.Allows(QUrl(u"file:///etc/passwd"_s), false));
    EXPECT_FALSE(wall.Allows(QUrl(u"javascript:alert(1)"_s), false));
    EXPECT_FALSE(wall.Allows(QUrl(u"ftp://127.0.0.1/x"_s), false));
}

TEST_F(ItemViewTest, NewsPagesFetchFromTheWebOnlyWhereTheOptionOrTheChannelAllows)
{
    LocalServer server;
    static const char kGif[] = "GIF89a\x01\0\x01\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\x04\x01\0\0\0\0"
                               ",\0\0\0\0\x01\0\x01\0\0\x02\x02"
                               "D\x01\0;";
    for (const char* path : {"/off.gif", "/off.webm", "/off-back.gif", "/on.gif", "/never.gif",
                             "/always.gif", "/group.gif"})
        server.Get(path, [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(kGif, sizeof kGif - 1), "image/gif");
        });
    const auto image = [&](const char* path) {
        return u"<img src=\""_s + server.Url(path) + u"\">"_s;
    };
    auto view = MakeView();
    const auto rerender = [&] {
        QSignalSpy loaded(PageOf(*view), &QWebEnginePage::loadFinished);
        view->OnUpdate(RssEvent::StyleChanged, nullptr);
        return WaitLoaded(loaded);
    };
    // A request that is let through reaches the server well within this.
    const auto settle = [] { QTest::qWait(1500); };

    // Off: no image, no media, no style picture is asked for.
    Prefs().SetLoadRemoteImages(false);
    Item(0)->SetDescription(image("/off.gif") + u"<video src=\""_s + server.Url("/off.webm") +
                            u"\"></video><div style=\"width:9px;height:9px;background:url("_s +
                            server.Url("/off-back.gif") + u")\"></div>"_s);
    ASSERT_TRUE(SelectAndLoad(*view, desk.get()));
    settle();
    EXPECT_EQ(server.Hits("/off.gif"), 0);
    EXPECT_EQ(server.Hits("/off.webm"), 0);
    EXPECT_EQ(server.Hits("/off-back.gif"), 0);

    // On: the picture comes, once.
    Prefs().SetLoadRemoteImages(true);
    Item(0)->SetDescription(image("/on.gif"));
    ASSERT_TRUE(rerender());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Hits("/on.gif") > 0; }, 10000));
    settle();
    EXPECT_EQ(server.Hits("/on.gif"), 1);

    // A channel's own choice goes before the option, either way.
    desk->SetRemoteImagesChoice(CRssChannel::RemoteImages::Never);
    Item(0)->SetDescription(image("/never.gif"));
    ASSERT_TRUE(rerender());
    settle();
    EXPECT_EQ(server.Hits("/never.gif"), 0);
    Prefs().SetLoadRemoteImages(false);
    desk->SetRemoteImagesChoice(CRssChannel::RemoteImages::Always);
    Item(0)->SetDescription(image("/always.gif"));
    ASSERT_TRUE(rerender());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Hits("/always.gif") == 1; }, 10000));

    // A group's page fetches only when every channel on it would.
    CRefPtr<CRssChannel> other = AddChannel(u"Other"_s, 1, kT0, u"Aside"_s);
    Item(0)->SetDescription(image("/group.gif"));
    ASSERT_TRUE(SelectAndLoad(*view, &doc.RootGroup()));
    ASSERT_TRUE(PageText(*view).contains(u"Aside 0"_s));
    settle();
    EXPECT_EQ(server.Hits("/group.gif"), 0);
    other->SetRemoteImagesChoice(CRssChannel::RemoteImages::Always);
    ASSERT_TRUE(rerender());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Hits("/group.gif") == 1; }, 10000));

    // The rule: only our own pages are held back; the person's own way onto the web is not.
    CReadingInterceptor wall({view->PageFile().Path()}, Prefs().StylesFolder());
    wall.SetRemoteContentAllowed(false);
    const QUrl pixel(server.Url("/off.gif"));
    EXPECT_FALSE(wall.AllowsRemote(pixel, view->PageFile().Url(), false));
    EXPECT_FALSE(wall.AllowsRemote(pixel, QUrl(), false));
    EXPECT_TRUE(wall.AllowsRemote(pixel, view->PageFile().Url(), true)) << "a followed link";
    EXPECT_TRUE(wall.AllowsRemote(pixel, QUrl(u"https://news.example.com/story"_s), false));
    EXPECT_TRUE(wall.AllowsRemote(QUrl(u"data:image/gif;base64,R0lGOD"_s), QUrl(), false));
}

TEST_F(ItemViewTest, FullArticleShowsTheExtractedTextOrSaysWhyAboveTheFeedsTextAndLoadsNothing)
{
    LocalServer server;
    server.Get("/article", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><body><nav><a href='/'>Home</a></nav><article><h1>Harbour</h1>"
            "<p>The new harbour bridge opened this morning after three years of work, and "
            "hundreds of people walked across it first.</p><p>The council said it would cut "
            "travel times across the river by a quarter.</p><img src='/photo.gif'></article>"
            "</body></html>",
            "text/html; charset=utf-8");
    });
    for (const char* path : {"/photo.gif", "/feed.gif"})
        server.Get(path, [](const httplib::Request&, httplib::Response& response) {
            response.set_content("GIF89a", "image/gif");
        });
    CHttpSession::GlobalInit();
    // The extraction script's modules, beside the program as installed.
    ASSERT_TRUE(QFile::link(BinDir() + u"/include"_s, Prefs().ProgramFolder() + u"include"_s));
    Prefs().SetLoadRemoteImages(true);
    Item(0)->SetLink(server.Url("/article"));
    Item(0)->SetDescription(u"One line. <img src=\""_s + server.Url("/feed.gif") + u"\">"_s);
    Item(1)->SetLink(server.Url("/gone"));
    auto view = MakeView();
    const auto shows = [&](const QString& text) {
        return QTest::qWaitFor([&] { return PageText(*view).contains(text); }, 20000);
    };
    // In the article view a selection may load two pages, the first cut short by the second.
    const auto select = [&](CRssItem* item) {
        doc.Select(item, false);
        view->OnUpdate(RssEvent::ItemSelected, item);
    };
    ASSERT_TRUE(SelectAndLoad(*view, Item(0)));
    CommandState full;
    view->UpdateCommand(Command::FullArticle, full);
    EXPECT_FALSE(full.checked);

    view->RunCommand(Command::FullArticle);
    view->UpdateCommand(Command::FullArticle, full);
    EXPECT_TRUE(full.checked);
    ASSERT_TRUE(shows(u"hundreds of people walked across it first"_s)) << qPrintable(PageText(*view));
    QString text = PageText(*view);
    EXPECT_TRUE(text.contains(u"by a quarter"_s));
    EXPECT_TRUE(text.contains(u"Alpha"_s)) << "the title stays";
    EXPECT_FALSE(text.contains(u"Home"_s));
    EXPECT_FALSE(text.contains(u"One line."_s));

    // A page that cannot be had: the line that says so, then the feed's own text.
    select(Item(1));
    ASSERT_TRUE(shows(u"could not be downloaded"_s));
    EXPECT_TRUE(PageText(*view).contains(u"About Beta."_s));

    // Back to the first: at once from memory; off again: the feed's text.
    select(Item(0));
    ASSERT_TRUE(shows(u"hundreds of people"_s));
    view->RunCommand(Command::FullArticle);
    ASSERT_TRUE(shows(u"One line."_s));

    // A channel that asks for the full article starts in it; the others keep to their own.
    CRefPtr<CRssChannel> longReads = AddChannel(u"Long reads"_s, 1, kT0, u"Essay"_s);
    longReads->SetFullArticle(true);
    auto essay = NodeCast<CRssItem>(longReads->ChildrenSnapshot().at(0));
    essay->SetLink(server.Url("/article"));
    select(essay.get());
    ASSERT_TRUE(shows(u"hundreds of people walked"_s));
    ASSERT_TRUE(SelectAndLoad(*view, Item(2)));
    EXPECT_TRUE(PageText(*view).contains(u"About Gamma."_s));
    QTest::qWait(1000);
    EXPECT_EQ(server.Hits("/article"), 2) << "the same page under another item's name";
    EXPECT_EQ(server.Hits("/photo.gif"), 0);
    EXPECT_EQ(server.Hits("/feed.gif"), 2) << "each time the feed's view showed, not in between";
}

TEST_F(ItemViewTest, TheFramesReadingPaneFollowsNotificationsTakesItsCommandsAndGoesWithItsPosition)
{
    CItemView* pane = nullptr;
    PaneViewMakers makers;
    makers.readingPane = [&](IFrameServices& services) {
        return pane = new CItemView(doc, env.app, services);
    };
    Prefs().readingPanePosition = 1;
    CMainFrame main(
        &doc, env.app, [] { return true; }, makers);
    main.resize(900, 600);
    main.show();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(main.Router().targetFor(Command::Back), pane);
    EXPECT_EQ(main.Router().targetFor(Command::Refresh), pane);

    QSignalSpy loaded(pane, &CItemView::loadFinished);
    doc.Select(desk.get(), false);
    main.OnUpdate(RssEvent::ChannelSelected, desk.get());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return PageOf(*pane)->url() == pane->PageFile().Url() && !PageOf(*pane)->IsLoading(); },
        20000));
    const auto enabled = [&](Command id) {
        main.Router().updateActions();
        return main.Commands().action(id)->isEnabled();
    };
    EXPECT_TRUE(enabled(Command::Refresh));
    EXPECT_FALSE(enabled(Command::Forward));
    // The blank page before it is no history to go back to.
    EXPECT_FALSE(QTest::qWaitFor([&] { return enabled(Command::Back); }, 1500));
    loaded.clear();
    main.Commands().action(Command::Refresh)->trigger();
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(PageText(*pane).contains(u"Gamma"_s));

    // Each layout makes a pane of its own, showing the selection at once; the old one's
    // page file goes with it.
    const QString rightFile = pane->PageFile().Path();
    main.SetReadingPanePosition(2);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(main.Panes().readingPane, pane);
    EXPECT_FALSE(QFile::exists(rightFile));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return PageOf(*pane) && PageText(*pane).contains(u"Gamma"_s); }, 20000));
    // Back at the right, the news header is as tall as it asks to be.
    main.SetReadingPanePosition(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(main.RightSideHeader()->height(), main.RightSideHeader()->sizeHint().height());
    EXPECT_GT(main.RightSideHeader()->height(), 0);
    const QString bottomFile = pane->PageFile().Path();
    main.SetReadingPanePosition(0);
    EXPECT_EQ(main.Panes().readingPane, nullptr);
    EXPECT_FALSE(QFile::exists(bottomFile));
}

} // namespace
