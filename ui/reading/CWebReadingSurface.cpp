#include "CWebReadingSurface.h"

#include "CItemPage.h"
#include "CReadingInterceptor.h"

#include <QAction>
#include <QQuickWindow>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

CWebReadingSurface::CWebReadingSurface(const Setup& setup, QWidget* parent)
    : m_profile(std::make_unique<QWebEngineProfile>())
{
    m_interceptor =
        new CReadingInterceptor(setup.pageFiles, setup.stylesFolder, m_profile.get());
    m_interceptor->SetRemoteContentAllowed(setup.remoteContentAllowed);
    m_profile->setUrlRequestInterceptor(m_interceptor);
    m_view = new QWebEngineView(parent);
    m_page = new CItemPage(m_profile.get(), setup.isOwnFile, m_view);
    m_view->setPage(m_page);

    QObject::connect(m_page, &CItemPage::navigating, m_view, setup.navigating);
    // Every page of ours is a start: Back leads only through links followed from it, never
    // to an earlier selection's page (the page file has been written over anyway).
    QObject::connect(m_page, &QWebEnginePage::loadFinished, m_view,
                     [this, done = setup.loadFinished](bool ok) {
                         if (ok && std::exchange(m_freshHistory, false))
                             m_page->history()->clear();
                         done(ok);
                     });
    QObject::connect(m_page, &CItemPage::programLinkActivated, m_view,
                     setup.programLinkActivated);
    for (const auto action : {QWebEnginePage::Back, QWebEnginePage::Forward})
        QObject::connect(m_page->action(action), &QAction::changed, m_view, setup.historyChanged);
    QObject::connect(m_page, &QWebEnginePage::newWindowRequested, m_view,
                     [opened = setup.newWindowRequested](QWebEngineNewWindowRequest& request) {
                         // Not opened in the engine: a window left unanswered is refused.
                         opened(request.requestedUrl());
                     });
}

CWebReadingSurface::~CWebReadingSurface()
{
    // The page before its profile.
    delete m_view;
}

QWidget* CWebReadingSurface::Widget()
{
    return m_view;
}

void CWebReadingSurface::LoadFresh(const QUrl& url)
{
    m_freshHistory = true;
    m_page->load(url);
}

void CWebReadingSurface::Trigger(Action action)
{
    switch (action) {
    case Action::Back:
        m_page->triggerAction(QWebEnginePage::Back);
        break;
    case Action::Forward:
        m_page->triggerAction(QWebEnginePage::Forward);
        break;
    case Action::Reload:
        m_page->triggerAction(QWebEnginePage::Reload);
        break;
    case Action::Stop:
        m_page->triggerAction(QWebEnginePage::Stop);
        break;
    }
}

bool CWebReadingSurface::CanGoBack() const
{
    return m_page->action(QWebEnginePage::Back)->isEnabled();
}

bool CWebReadingSurface::CanGoForward() const
{
    return m_page->action(QWebEnginePage::Forward)->isEnabled();
}

bool CWebReadingSurface::IsLoading() const
{
    return m_page->IsLoading();
}

void CWebReadingSurface::SetRemoteContentAllowed(bool allowed)
{
    m_interceptor->SetRemoteContentAllowed(allowed);
}

extern "C" Q_DECL_EXPORT IReadingSurface* CalvoriaMakeReadingSurface(
    const IReadingSurface::Setup& setup, QWidget* parent)
{
    // Pages are drawn by the processor into the window's own surface: the window is not made
    // anew for a graphics surface when the first page shows, and no graphics process starts.
    static const bool drawnInSoftware = [] {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return true;
    }();
    Q_UNUSED(drawnInSoftware);
    return new CWebReadingSurface(setup, parent);
}
