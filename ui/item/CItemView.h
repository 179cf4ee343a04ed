#pragma once

#include "CCommandRouter.h"
#include "CPageFile.h"
#include "CPageRenderer.h"
#include "CRefCounted.h"
#include "INotificationView.h"

#include <QTimer>
#include <QWidget>

class CAppServices;
class CItemPage;
class CReadingInterceptor;
class CRssNode;
class CRssReaderDoc;
class IFrameServices;
class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

// The reading pane: shows the selected news item, channel or group as a page made from
// its newspaper by the chosen reading style. The person may follow links in the page;
// the pane then stays there until the selection changes. A news item shown long enough
// is marked read. The web engine is made when the pane is first shown or the first page is
// due, and kept; until then the pane is a plain surface, so a window that starts in the tray
// starts no engine.
class CItemView : public QWidget, public INotificationView, public ICommandTarget
{
    Q_OBJECT
public:
    CItemView(CRssReaderDoc& doc, CAppServices& services, IFrameServices& frame,
              QWidget* parent = nullptr);
    ~CItemView() override;

    // Both null until the first page is due.
    QWebEngineView* Browser() const { return m_browser; }
    CItemPage* Page() const { return m_page; }
    const CPageFile& PageFile() const { return m_pageFile; }
    CRssNode* Shown() const { return m_shown.get(); }
    bool NavigatedAway() const { return m_navigatedAway; }
    bool MarkReadPending() const { return m_markRead.isActive(); }

    // INotificationView
    void OnUpdate(RssEvent hint, CRefCounted* object) override;

    // ICommandTarget
    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

    // Help > Welcome: the welcome page, until the selection changes. It shows by itself
    // while the tree holds no channel and a group (or nothing) is selected.
    void ShowWelcome();
    bool ShowsWelcome() const { return m_showsWelcome; }
    // Whether the welcome page shows by itself for what is shown now.
    bool WelcomeDue() const;

    // A page asks for a new window: refused while it loads; once loaded, a web address
    // opens in the person's browser. True when it was opened.
    bool OpenNewWindow(const QUrl& url);

Q_SIGNALS:
    // A page (ours or one a link led to) has loaded, or failed to.
    void loadFinished(bool ok);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void MakeEngine();
    void Render();
    void RenderSoon();
    void OnPageMade(quint64 ticket, bool ok);
    void ShowSelection();
    void Navigate(const QUrl& url);
    void Show(CRssNode* node);
    void OnMarkRead();
    void OnNavigating(const QUrl& url);
    void OnProgramLink(const QUrl& url);
    QString StylesFolder() const;
    QUrl NoEngineUrl() const;

    CRssReaderDoc& m_doc;
    CAppServices& m_services;
    IFrameServices& m_frame;
    CPageFile m_pageFile;
    CPageRenderer m_renderer;
    quint64 m_ticket = 0; // the page on its way, 0 when none is
    QWidget* m_placeholder = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    CReadingInterceptor* m_interceptor = nullptr;
    QWebEngineView* m_browser = nullptr;
    CItemPage* m_page = nullptr;
    bool m_remoteAllowed = false;
    CRefPtr<CRssNode> m_shown;
    bool m_navigatedAway = false;
    bool m_freshHistory = false; // the next page loaded starts the history anew
    bool m_canGoBack = false;
    bool m_canGoForward = false;
    bool m_welcomeAsked = false;
    bool m_showsWelcome = false;
    QTimer m_markRead;
    QTimer m_rerender; // gathers the changes of the shown node into one new page
};
