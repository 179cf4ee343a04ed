#pragma once

#include "CArticleReader.h"
#include "CCommandRouter.h"
#include "CPageFile.h"
#include "CPageRenderer.h"
#include "CRefCounted.h"
#include "INotificationView.h"

#include <QCache>
#include <QTimer>
#include <QWidget>

#include <memory>

class CAppServices;
class CRssGroup;
class CRssItem;
class CRssNode;
class CRssReaderDoc;
class IFrameServices;
class IReadingSurface;
class QLabel;
typedef struct _xmlDoc xmlDoc;

// The reading pane: shows the selected news item, channel or group as a page made from
// its newspaper by the chosen reading style. The person may follow links in the page;
// the pane then stays there until the selection changes. A news item shown long enough
// is marked read. The browser (and with it the web engine) is made when the first page is
// due, and kept; until then the pane is a plain surface, so a window that starts in the tray
// or on "My Feeds" starts no engine. There it says how to begin and offers the newspaper
// of all channels. View > Full article shows a news item's text as taken from its page
// instead of the feed's; each channel may start its news that way.
class CItemView : public QWidget, public INotificationView, public ICommandTarget
{
    Q_OBJECT
public:
    CItemView(CRssReaderDoc& doc, CAppServices& services, IFrameServices& frame,
              QWidget* parent = nullptr);
    ~CItemView() override;

    // Null until the first page is due, and when the reading module cannot be loaded.
    IReadingSurface* Surface() const { return m_surface.get(); }
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

private:
    bool MakeSurface();
    void ShowSummary(const CRssGroup& group);
    void ShowNoBrowser();
    // The article view of the shown item: its text when read, else "Loading article…" and
    // a read that renders again when it ends.
    void PutArticle(CRssItem& item, xmlDoc* newspaper);
    bool ShowsArticleView() const; // the article view is on and a news item is shown
    void OnArticleRead(quint64 ticket, const ArticleText& article);
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
    QWidget* m_placeholder = nullptr; // until the browser is made
    QLabel* m_summary = nullptr;      // on the placeholder
    std::unique_ptr<IReadingSurface> m_surface;
    bool m_surfaceFailed = false;
    bool m_remoteAllowed = false;
    CRefPtr<CRssNode> m_shown;
    bool m_navigatedAway = false;
    bool m_canGoBack = false;
    bool m_canGoForward = false;
    bool m_welcomeAsked = false;
    bool m_showsWelcome = false;
    bool m_fullArticle = false;
    const void* m_articleChannel = nullptr; // the channel whose default m_fullArticle began as
    std::unique_ptr<CArticleReader> m_articleReader; // made with the first article
    QCache<QString, ArticleText> m_articles{50};    // by the item's file name
    QString m_articleKey;                            // the article being read
    quint64 m_articleTicket = 0;
    QTimer m_markRead;
    QTimer m_rerender; // gathers the changes of the shown node into one new page
};
