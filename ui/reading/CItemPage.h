#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <functional>

// The reading pane's page: runs no script, opens no plugin, reads no local file but its
// own, and decides which navigations it follows. Links lead on inside the pane over web
// addresses only; the page file and the styles folder's pages are ours to show.
class CItemPage : public QWebEnginePage
{
    Q_OBJECT
public:
    // isOwnFile: true for the local files the pane itself shows.
    CItemPage(QWebEngineProfile* profile, std::function<bool(const QUrl&)> isOwnFile,
              QObject* parent = nullptr);

    // True while a load runs; the browser's ready state is "complete" otherwise.
    bool IsLoading() const { return m_loading; }

Q_SIGNALS:
    // A main-frame navigation was let through.
    void navigating(const QUrl& url);
    // A link of the program's own scheme was followed in one of the pane's own pages; it
    // loads nothing, the pane decides what it does.
    void programLinkActivated(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    std::function<bool(const QUrl&)> m_isOwnFile;
    bool m_loading = false;
};
