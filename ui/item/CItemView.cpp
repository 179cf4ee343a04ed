#include "CItemView.h"

#include "CAppServices.h"
#include "CItemPage.h"
#include "CPreferences.h"
#include "CReadingInterceptor.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "IFrameServices.h"
#include "NewspaperPage.h"
#include "RemoteContentPolicy.h"
#include "WelcomePage.h"

#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

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

} // namespace

CItemView::CItemView(CRssReaderDoc& doc, CAppServices& services, IFrameServices& frame,
                     QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services), m_frame(frame)
{
    // A profile of the pane's own, kept in memory only; it goes after the page.
    m_profile = new QWebEngineProfile(this);
    m_interceptor = new CReadingInterceptor({m_pageFile.Path(), m_pageFile.CanonicalPath()},
                                            StylesFolder(), m_profile);
    m_profile->setUrlRequestInterceptor(m_interceptor);
    m_browser = new QWebEngineView(this);
    m_page = new CItemPage(
        m_profile,
        [this](const QUrl& url) { return m_pageFile.Names(url) || url == NoEngineUrl(); },
        m_browser);
    m_browser->setPage(m_page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    setFocusProxy(m_browser);

    connect(m_page, &CItemPage::navigating, this, &CItemView::OnNavigating);
    // Every page we render is a start: Back leads only through links followed from it,
    // never to an earlier selection's page (the page file has been written over anyway).
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (ok && std::exchange(m_freshHistory, false))
            m_page->history()->clear();
    });
    connect(m_page, &CItemPage::programLinkActivated, this, &CItemView::OnProgramLink);
    connect(m_page->action(QWebEnginePage::Back), &QAction::changed, this,
            [this] { m_canGoBack = m_page->action(QWebEnginePage::Back)->isEnabled(); });
    connect(m_page->action(QWebEnginePage::Forward), &QAction::changed, this,
            [this] { m_canGoForward = m_page->action(QWebEnginePage::Forward)->isEnabled(); });
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                // Not opened in the engine: a window left unanswered is refused.
                OpenNewWindow(request.requestedUrl());
            });

    m_markRead.setSingleShot(true);
    connect(&m_markRead, &QTimer::timeout, this, &CItemView::OnMarkRead);

    Navigate(QUrl(u"about:blank"_s));
    // A pane made anew while the window runs (the reading pane moved) shows what is
    // selected without waiting for the next selection.
    QTimer::singleShot(0, this, &CItemView::ShowSelection);
}

CItemView::~CItemView()
{
    m_markRead.stop();
    // The page before its profile.
    delete m_browser;
    m_browser = nullptr;
    m_page = nullptr;
}

void CItemView::OnUpdate(RssEvent hint, CRefCounted* object)
{
    switch (hint) {
    case RssEvent::ChannelReloaded:
    case RssEvent::ChannelChanged:
    case RssEvent::TreeChanged:
    case RssEvent::FavoriteChanged:
        if (object && object == m_shown.get() && !m_navigatedAway)
            Render();
        // The first channel ends the welcome page that waited for it.
        else if (hint == RssEvent::TreeChanged && m_showsWelcome && !m_welcomeAsked)
            Render();
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
        if (item)
            m_markRead.start(std::max(0, int(m_services.Prefs()->markReadDelayMs)));
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
    // Help > Welcome may have made the pane to show its page there.
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

void CItemView::Render()
{
    m_page->triggerAction(QWebEnginePage::Stop);
    const bool loadRemote = m_services.Prefs()->LoadRemoteImages();
    m_interceptor->SetRemoteContentAllowed(m_shown ? PageMayLoadRemoteContent(*m_shown, loadRemote)
                                                   : loadRemote);
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
    const QString style = StylesFolder() + m_services.Prefs()->ReadingStyle();
    if (m_pageFile.Path().isEmpty() || !WriteNewspaperPage(*m_shown, style, m_pageFile.Path())) {
        Navigate(QUrl(u"about:blank"_s));
        return;
    }
    Navigate(m_pageFile.Url());
}

void CItemView::Navigate(const QUrl& url)
{
    m_freshHistory = true;
    m_page->load(url);
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

void CItemView::OnMarkRead()
{
    if (auto* item = NodeCast<CRssItem>(m_shown.get()))
        item->SetUnread(false, ChannelCounts::Recount);
}

bool CItemView::OpenNewWindow(const QUrl& url)
{
    if (m_page->IsLoading())
        return false;
    if (url.scheme() != u"http"_s && url.scheme() != u"https"_s)
        return false;
    return m_frame.OpenInBrowser(url.toString());
}

bool CItemView::HandlesCommand(Command id) const
{
    return id == Command::Back || id == Command::Forward || id == Command::Refresh;
}

void CItemView::RunCommand(Command id)
{
    switch (id) {
    case Command::Back:
        m_page->triggerAction(QWebEnginePage::Back);
        break;
    case Command::Forward:
        m_page->triggerAction(QWebEnginePage::Forward);
        break;
    case Command::Refresh:
        m_page->triggerAction(QWebEnginePage::Reload);
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
