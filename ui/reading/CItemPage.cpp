#include "CItemPage.h"

#include <QWebEngineSettings>

using namespace Qt::Literals::StringLiterals;

CItemPage::CItemPage(QWebEngineProfile* profile, std::function<bool(const QUrl&)> isOwnFile,
                     QObject* parent)
    : QWebEnginePage(profile, parent), m_isOwnFile(std::move(isOwnFile))
{
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    connect(this, &QWebEnginePage::loadStarted, this, [this] { m_loading = true; });
    connect(this, &QWebEnginePage::loadFinished, this, [this] { m_loading = false; });
}

bool CItemPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return false;
    // Feed HTML in our own page may not move the pane by itself (a refresh it asks for);
    // a web page the person went on to may.
    if (type == NavigationTypeRedirect && (this->url().isLocalFile() || this->url().isEmpty()))
        return false;
    const QString scheme = url.scheme();
    if (scheme == u"calvoria"_s) {
        if (type == NavigationTypeLinkClicked && m_isOwnFile(this->url()))
            Q_EMIT programLinkActivated(url);
        return false;
    }
    bool allowed = false;
    if (scheme == u"http"_s || scheme == u"https"_s)
        allowed = type != NavigationTypeFormSubmitted;
    else if (url.isLocalFile())
        allowed = m_isOwnFile(url);
    else if (url == QUrl(u"about:blank"_s))
        allowed = type == NavigationTypeTyped;
    if (!allowed)
        return false;
    Q_EMIT navigating(url);
    return true;
}
