#pragma once

#include <QString>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>

// The wall around feed HTML in the reading pane, below the page's own settings: of local
// files only the page file and what lies in the styles folder may load, frames load
// nothing, and only web, data and local addresses are fetched at all. While remote content
// is off, a page of ours fetches nothing from the web (tracking pixels included); a web
// page the person went on to is theirs and loads as it is.
class CReadingInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    // pageFiles: the page file in its plain and resolved forms; stylesFolder ends with "/".
    CReadingInterceptor(const QStringList& pageFiles, const QString& stylesFolder,
                        QObject* parent = nullptr);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // The rule itself, for requests of the given kind.
    bool Allows(const QUrl& url, bool isFrame) const;
    // Whether a request that the page at firstParty makes for url may go to the web;
    // navigations of the pane itself (links the person follows) always may.
    bool AllowsRemote(const QUrl& url, const QUrl& firstParty, bool isNavigation) const;

    // For the page about to be shown; requests are intercepted on another thread.
    void SetRemoteContentAllowed(bool allowed) { m_remoteAllowed.store(allowed); }
    bool RemoteContentAllowed() const { return m_remoteAllowed.load(); }

private:
    bool AllowsFile(const QString& path) const;

    QStringList m_pageFiles;
    QStringList m_stylesFolders;
    std::atomic<bool> m_remoteAllowed{true};
};
