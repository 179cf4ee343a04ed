#pragma once

#include "CCommandRouter.h"
#include "CPageFile.h"
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
// is marked read.
class CItemView : public QWidget, public INotificationView, public ICommandTarget
{
    Q_OBJECT
public:
    CItemView(CRssReaderDoc& doc, CAppServices& services, IFrameServices& frame,
              QWidget* parent = nullptr);
    ~CItemView() override;

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

protected:
    bool event(QEvent* event) override;

private:
    void Render();
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
    QWebEngineProfile* m_profile;
    CReadingInterceptor* m_interceptor;
    QWebEngineView* m_browser;
    CItemPage* m_page;
    CRefPtr<CRssNode> m_shown;
    bool m_navigatedAway = false;
    bool m_freshHistory = false; // the next page loaded starts the history anew
    bool m_canGoBack = false;
    bool m_canGoForward = false;
    bool m_welcomeAsked = false;
    bool m_showsWelcome = false;
    QTimer m_markRead;
};
