#include "CItemView.h"

#include "ArticlePage.h"
#include "CAppServices.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "IFrameServices.h"
#include "Newspaper.h"
#include "RemoteContentPolicy.h"
#include "WebEngineSetup.h"
#include "WelcomePage.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

bool HoldsChannel(CRssNode& node)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot())
        if (child->IsChannel() || (child->IsGroup() && HoldsChannel(*child)))
            return true;
    return false;
}

// Changes of the shown channel come in bursts while a download merges; one page for each
// burst is enough.
constexpr int kRerenderDelayMs = 300;

} // namespace

CItemView::CItemView(CRssReaderDoc& doc, CAppServices& services, IFrameServices& frame,
                     QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services), m_frame(frame),
      m_renderer(m_pageFile.Path())
{
    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(u"readingPlaceholder"_s);
    m_placeholder->setBackgroundRole(QPalette::Base);
    m_placeholder->setAutoFillBackground(true);
    m_placeholder->setFocusPolicy(Qt::StrongFocus);
    m_summary = new QLabel(m_placeholder);
    m_summary->setObjectName(u"readingSummary"_s);
    m_summary->setAccessibleName(tr("Reading pane"));
    m_summary->setWordWrap(true);
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_summary->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_summary->hide();
    connect(m_summary, &QLabel::linkActivated, this, [this] {
        if (MakeSurface())
            Render();
    });
    auto* placeholderLayout = new QVBoxLayout(m_placeholder);
    placeholderLayout->setContentsMargins(16, 12, 16, 12);
    placeholderLayout->addWidget(m_summary);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_placeholder);
    setFocusProxy(m_placeholder);

    connect(&m_renderer, &CPageRenderer::finished, this, &CItemView::OnPageMade);
    m_markRead.setSingleShot(true);
    connect(&m_markRead, &QTimer::timeout, this, &CItemView::OnMarkRead);
    m_rerender.setSingleShot(true);
    m_rerender.setInterval(kRerenderDelayMs);
    connect(&m_rerender, &QTimer::timeout, this, &CItemView::Render);

    // Its transfer ends before the program closes its HTTP library.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { m_articleReader.reset(); });

    // A pane made anew while the window runs (the reading pane moved) shows what is
    // selected without waiting for the next selection.
    QTimer::singleShot(0, this, &CItemView::ShowSelection);
}

CItemView::~CItemView()
{
    m_markRead.stop();
    m_surface.reset();
}

bool CItemView::MakeSurface()
{
    if (m_surface)
        return true;
    if (m_surfaceFailed) {
        ShowNoBrowser();
        return false;
    }
    IReadingSurface::Setup setup;
    setup.pageFiles = {m_pageFile.Path(), m_pageFile.CanonicalPath()};
    setup.stylesFolder = StylesFolder();
    setup.isOwnFile = [this](const QUrl& url) {
        return m_pageFile.Names(url) || url == NoEngineUrl();
    };
    setup.remoteContentAllowed = m_remoteAllowed;
    setup.navigating = [this](const QUrl& url) { OnNavigating(url); };
    setup.loadFinished = [this](bool ok) { Q_EMIT loadFinished(ok); };
    setup.programLinkActivated = [this](const QUrl& url) { OnProgramLink(url); };
    // Not opened in the engine: a window left unanswered is refused.
    setup.newWindowRequested = [this](const QUrl& url) { OpenNewWindow(url); };
    setup.historyChanged = [this] {
        m_canGoBack = m_surface->CanGoBack();
        m_canGoForward = m_surface->CanGoForward();
    };
    m_surface = MakeReadingSurface(setup, this);
    if (!m_surface) {
        m_surfaceFailed = true;
        ShowNoBrowser();
        return false;
    }
    QWidget* browser = m_surface->Widget();
    // Also before the window shows, when the focus is only where it will be.
    const bool hadFocus = m_placeholder->isAncestorOf(window()->focusWidget()) ||
                          window()->focusWidget() == m_placeholder;
    layout()->replaceWidget(m_placeholder, browser);
    setFocusProxy(browser);
    browser->show();
    if (hadFocus)
        browser->setFocus();
    delete m_placeholder;
    m_placeholder = nullptr;
    m_summary = nullptr;
    return true;
}

void CItemView::ShowNoBrowser()
{
    // The log has the reason; the pane says that it cannot show pages at all.
    m_summary->setText(tr("<p>Pages cannot be shown here: the reading pane's browser could not "
                          "be loaded. The program's log says why.</p>"));
    m_summary->show();
    setFocusProxy(m_summary);
}

void CItemView::ShowSummary(const CRssGroup& group)
{
    m_summary->setText(
        tr("<h2>%1</h2><p>Choose a channel or a news item to read it here.</p>"
           "<p><a href=\"#newspaper\">Show the newspaper of all channels</a></p>")
            .arg(group.Name().toHtmlEscaped()));
    m_summary->show();
    setFocusProxy(m_summary);
}

void CItemView::OnUpdate(RssEvent hint, CRefCounted* object)
{
    switch (hint) {
    case RssEvent::ChannelReloaded:
    case RssEvent::ChannelChanged:
    case RssEvent::TreeChanged:
    case RssEvent::FavoriteChanged:
        if (object && object == m_shown.get() && !m_navigatedAway)
            RenderSoon();
        // The first channel ends the welcome page that waited for it.
        else if (hint == RssEvent::TreeChanged && m_showsWelcome && !m_welcomeAsked)
            RenderSoon();
        break;
    case RssEvent::ItemChanged:
        if (object && object == m_shown.get())
            m_markRead.stop();
        break;
    case RssEvent::ChannelSelected:
        Show(m_doc.SelectedChannel());
        Render();
        break;
    case RssEvent::ItemSelected: {
        CRssItem* item = m_doc.SelectedItem();
        if (item == m_shown.get())
            break;
        Show(item);
        if (item) {
            // Each channel starts in the view it asks for; the toggle holds within it.
            const CRefPtr<CRssChannel> channel = item->Channel();
            if (channel.get() != m_articleChannel) {
                m_articleChannel = channel.get();
                m_fullArticle = channel && channel->FullArticle();
            }
            m_markRead.start(std::max(0, int(m_services.Prefs()->markReadDelayMs)));
        }
        Render();
        break;
    }
    case RssEvent::GroupSelected:
        Show(m_doc.SelectedGroup());
        Render();
        break;
    case RssEvent::StyleChanged:
        Render();
        break;
    default:
        break;
    }
}

void CItemView::Show(CRssNode* node)
{
    m_markRead.stop();
    m_welcomeAsked = false;
    m_shown = CRefPtr<CRssNode>(node);
}

void CItemView::ShowSelection()
{
    // A pane that Help > Welcome brought back keeps the welcome page it was asked for.
    if (m_welcomeAsked)
        return;
    CRssNode* selected = m_doc.SelectedItem();
    if (!selected)
        selected = m_doc.SelectedChannel();
    if (!selected)
        selected = m_doc.SelectedGroup();
    if (!selected || selected == m_shown.get())
        return;
    Show(selected);
    Render();
}

void CItemView::RenderSoon()
{
    if (!m_rerender.isActive())
        m_rerender.start();
}

void CItemView::Render()
{
    m_rerender.stop();
    m_renderer.Cancel();
    m_ticket = 0;
    if (m_surface)
        m_surface->Trigger(IReadingSurface::Action::Stop);
    const bool loadRemote = m_services.Prefs()->LoadRemoteImages();
    m_remoteAllowed = m_shown ? PageMayLoadRemoteContent(*m_shown, loadRemote) : loadRemote;
    // The article view shows text only, and the feed's own text beside a note at most.
    if (ShowsArticleView())
        m_remoteAllowed = false;
    if (m_surface)
        m_surface->SetRemoteContentAllowed(m_remoteAllowed);
    m_showsWelcome = false;
    if (!m_services.hasIe6) {
        Navigate(NoEngineUrl());
        return;
    }
    if (m_welcomeAsked || WelcomeDue()) {
        const QString style = StylesFolder() + m_services.Prefs()->ReadingStyle();
        m_showsWelcome = !m_pageFile.Path().isEmpty() &&
                         WriteWelcomePage(style, m_pageFile.Path(),
                                          m_frame.Theme().color(CThemeColors::FocusSelection));
        Navigate(m_showsWelcome ? m_pageFile.Url() : QUrl(u"about:blank"_s));
        return;
    }
    if (!m_shown) {
        Navigate(QUrl(u"about:blank"_s));
        return;
    }
    if (m_placeholder && m_shown.get() == &m_doc.RootGroup()) {
        // The newspaper of everything waits until it is asked for: a window that has only
        // started has loaded no web engine.
        ShowSummary(m_doc.RootGroup());
        return;
    }
    // The newspaper is read from the tree here, under its locks; the style makes the page
    // from it on the renderer's worker.
    XmlDocPtr newspaper = NewXmlDocument();
    if (newspaper) {
        BuildNewspaper(*m_shown, newspaper.get(), reinterpret_cast<xmlNode*>(newspaper.get()));
        if (ShowsArticleView())
            PutArticle(*static_cast<CRssItem*>(m_shown.get()), newspaper.get());
    }
    m_ticket = m_renderer.Render(std::move(newspaper),
                                 StylesFolder() + m_services.Prefs()->ReadingStyle());
    // Made while the worker styles the first page.
    MakeSurface();
}

void CItemView::OnPageMade(quint64 ticket, bool ok)
{
    if (ticket != m_ticket)
        return;
    m_ticket = 0;
    Navigate(ok ? m_pageFile.Url() : QUrl(u"about:blank"_s));
}

void CItemView::Navigate(const QUrl& url)
{
    // Nothing to show needs no engine: the plain surface stands for the empty page.
    if (m_placeholder && url == QUrl(u"about:blank"_s)) {
        m_summary->hide();
        setFocusProxy(m_placeholder);
        return;
    }
    if (MakeSurface())
        m_surface->LoadFresh(url);
}

void CItemView::OnNavigating(const QUrl& url)
{
    m_navigatedAway = !m_pageFile.Names(url);
}

bool CItemView::event(QEvent* event)
{
    // Enter belongs to the page (the link that has the focus), not to the window's keys.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void CItemView::ShowWelcome()
{
    m_markRead.stop();
    m_welcomeAsked = true;
    Render();
}

bool CItemView::WelcomeDue() const
{
    // Until the first subscription the pane says how to begin; news (saved or found)
    // still shows as it is.
    if (m_shown && !m_shown->IsGroup())
        return false;
    return !HoldsChannel(m_doc.RootGroup());
}

void CItemView::OnProgramLink(const QUrl& url)
{
    // Only the welcome page offers these links; the same address in feed text does nothing.
    const std::optional<WelcomeStep> step = WelcomeStepOf(url);
    if (!m_showsWelcome || !step)
        return;
    // Not inside the engine's navigation callback: the steps open dialogs.
    QTimer::singleShot(0, this, [this, step = *step] {
        switch (step) {
        case WelcomeStep::AddFeed:
            m_frame.RouteCommand(Command::NewChannel);
            break;
        case WelcomeStep::ImportSubscriptions:
            m_frame.RouteCommand(Command::ImportSubscriptions);
            break;
        case WelcomeStep::AddExampleFeeds:
            m_frame.AddExampleFeeds();
            break;
        }
    });
}

bool CItemView::ShowsArticleView() const
{
    return m_fullArticle && NodeCast<CRssItem>(m_shown.get());
}

void CItemView::PutArticle(CRssItem& item, xmlDoc* newspaper)
{
    const QString key = item.AudioFileName();
    if (const ArticleText* article = m_articles.object(key)) {
        PutArticleIntoNewspaper(newspaper, ArticleView::Read, *article);
        return;
    }
    PutArticleIntoNewspaper(newspaper, ArticleView::Loading, {});
    if (m_articleKey == key)
        return; // on its way
    const QFileInfo page(ArticlePageFile(item));
    if (!m_articleReader) {
        m_articleReader = std::make_unique<CArticleReader>(
            m_services.Prefs()->ProgramFolder(), page.path(),
            [this](quint64 ticket, const ArticleText& article) {
                QMetaObject::invokeMethod(
                    this, [this, ticket, article] { OnArticleRead(ticket, article); },
                    Qt::QueuedConnection);
            });
    }
    m_articleKey = key;
    m_articleTicket = m_articleReader->Read(item.Link(), page.fileName());
}

void CItemView::OnArticleRead(quint64 ticket, const ArticleText& article)
{
    if (ticket != m_articleTicket)
        return;
    m_articles.insert(m_articleKey, new ArticleText(article));
    m_articleKey.clear();
    if (ShowsArticleView() && !m_navigatedAway)
        Render();
}

void CItemView::OnMarkRead()
{
    auto* item = NodeCast<CRssItem>(m_shown.get());
    if (item && item != m_doc.ListeningItem())
        item->SetUnread(false, ChannelCounts::Recount);
}

bool CItemView::OpenNewWindow(const QUrl& url)
{
    if (!m_surface || m_surface->IsLoading())
        return false;
    if (url.scheme() != u"http"_s && url.scheme() != u"https"_s)
        return false;
    return m_frame.OpenInBrowser(url.toString());
}

bool CItemView::HandlesCommand(Command id) const
{
    return id == Command::Back || id == Command::Forward || id == Command::Refresh ||
           id == Command::FullArticle;
}

void CItemView::RunCommand(Command id)
{
    if (id == Command::FullArticle) {
        m_fullArticle = !m_fullArticle;
        if (NodeCast<CRssItem>(m_shown.get()))
            Render();
        return;
    }
    if (!m_surface)
        return;
    switch (id) {
    case Command::Back:
        m_surface->Trigger(IReadingSurface::Action::Back);
        break;
    case Command::Forward:
        m_surface->Trigger(IReadingSurface::Action::Forward);
        break;
    case Command::Refresh:
        m_surface->Trigger(IReadingSurface::Action::Reload);
        break;
    default:
        break;
    }
}

void CItemView::UpdateCommand(Command id, CommandState& state)
{
    if (id == Command::Back)
        state.enabled = m_canGoBack;
    else if (id == Command::Forward)
        state.enabled = m_canGoForward;
    else if (id == Command::Refresh)
        state.enabled = true;
    else if (id == Command::FullArticle)
        state.checked = m_fullArticle;
}

QString CItemView::StylesFolder() const
{
    // Without "..": the engine compares the addresses it navigates to in this form.
    return QDir::cleanPath(m_services.Prefs()->StylesFolder()) + u'/';
}

QUrl CItemView::NoEngineUrl() const
{
    return QUrl::fromLocalFile(StylesFolder() + u"noIE6.htm"_s);
}
