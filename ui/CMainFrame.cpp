#include "CMainFrame.h"

#include "CCommandTable.h"
#include "CDocumentCommands.h"
#include "CRssFullBar.h"
#include "CRssMenu.h"
#include "CRssReaderDoc.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "CStatusPanes.h"
#include "CSystemTray.h"
#include "CThemeColors.h"
#include "CommandTable.h"
#include "StripCatalog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLayout>
#include <QStatusBar>
#include <QToolBar>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kShowWindow = 32848;
constexpr int kSearch = 32850;

QHash<int, QAction*> ActionsById(const CCommandTable& table)
{
    QHash<int, QAction*> actions;
    for (int id : table.ids())
        actions.insert(id, table.action(id));
    return actions;
}

} // namespace

CMainFrame::CMainFrame(CRssReaderDoc* document, const FrameSettings& settings,
                       std::function<bool()> trayAvailable, QWidget* parent)
    : QMainWindow(parent),
      m_document(document),
      m_theme(new CThemeColors(settings.colorTheme, this)),
      m_commands(new CCommandTable(this)),
      m_documentCommands(std::make_unique<CDocumentCommands>(document)),
      m_tray(new CSystemTray(this, std::move(trayAvailable)))
{
    setObjectName(u"MainWindowCalvoria"_s);
    setWindowTitle(u"Calvoria"_s);
    resize(900, 600);

    // The document stands behind the views; until they exist it answers its commands as
    // the only one.
    m_router.addView(m_documentCommands.get());
    m_router.setFrame(this);
    m_router.attach(m_commands);

    auto* menu = new CRssMenu(m_theme, this);
    m_commands->buildMainMenu(menu);
    setMenuBar(menu);
    m_router.updateOnMenuOpen(menu);
    m_commands->addShortcutsTo(this);

    CreateBars(settings.largeButtons);

    m_panes = BuildFramePanes(m_theme, settings.readingPanePosition, this);
    if (!m_panes.outer) // a stored position out of range: show the pane at the bottom
        m_panes = BuildFramePanes(m_theme, 2, this);
    setCentralWidget(m_panes.outer);
    m_panes.searchBar->setDocument(document);
    connect(m_panes.searchBar, &CSearchDlg::closed, this, [this] {
        m_panes.searchBar->hide();
        m_panes.outer->recalcLayout();
    });

    m_tray->create(ActionsById(*m_commands), u"Calvoria"_s);
    // A tray icon without an image is an empty slot nobody can find: fall back on the
    // feed picture while the program has no icon of its own.
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(u":/theme/images/feed.svg"_s);
    setWindowIcon(icon);
    m_tray->setIcon(icon);

    // Tool bar buttons and shortcuts follow the enable state without a menu being opened.
    m_router.updateActions();
    m_statusPanes->refresh();
    connect(&m_updateTimer, &QTimer::timeout, this, [this] {
        m_router.updateActions();
        m_statusPanes->refresh();
    });
    m_updateTimer.start(250);
}

CMainFrame::~CMainFrame()
{
    m_router.attach(nullptr);
    m_router.removeView(m_documentCommands.get());
}

void CMainFrame::CreateBars(bool largeButtons)
{
    m_toolBar = new CRssFullBar(m_theme);
    const QHash<int, QAction*> actions = ActionsById(*m_commands);
    m_toolBar->loadToolBar(CRssFullBar::MainToolBar(), actions,
                           largeButtons ? RssStripToolLarge : RssStripToolSmall);
    for (const ToolBarButton& button : ToolBarButtons())
        m_toolBar->setButtonLabel(button.id, button.labelString);
    // The bar's gradient runs under the whole width of the window.
    m_toolBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* dock = new QToolBar(u"Tool bar"_s, this);
    dock->setObjectName(u"toolBarDock"_s);
    dock->setMovable(false);
    dock->setFloatable(false);
    dock->setContentsMargins(0, 0, 0, 0);
    dock->layout()->setContentsMargins(0, 0, 0, 0);
    dock->setStyleSheet(u"QToolBar { border: 0px; padding: 0px; spacing: 0px; }"_s);
    dock->addWidget(m_toolBar);
    addToolBar(Qt::TopToolBarArea, dock);

    // Status tips of the actions show in its message pane.
    statusBar()->setObjectName(u"statusBar"_s);
    m_statusPanes = new CStatusPanes(statusBar());
    m_statusPanes->setDocument(m_document);
}

bool CMainFrame::HandlesCommand(int id) const
{
    return id == kAppExit || id == kAppAbout || id == kShowWindow || id == kSearch;
}

void CMainFrame::RunCommand(int id)
{
    switch (id) {
    case kAppExit:
        Q_EMIT exitRequested();
        break;
    case kAppAbout:
        Q_EMIT aboutRequested();
        break;
    case kShowWindow:
        ShowFromTray();
        break;
    case kSearch:
        ToggleSearchBar();
        break;
    default:
        break;
    }
}

void CMainFrame::UpdateCommand(int id, CommandState& state)
{
    if (id == kSearch)
        state.checked = m_panes.searchBar->isVisible();
}

void CMainFrame::ToggleSearchBar()
{
    CSearchDlg* bar = m_panes.searchBar;
    if (bar->isVisible()) {
        bar->hide();
    } else {
        bar->activate();
        if (m_document)
            m_document->Select(&m_document->SearchResults(), true);
    }
    m_panes.outer->recalcLayout();
}

void CMainFrame::StartNewsCheckTimer(std::function<int()> periodMinutes)
{
    m_periodMinutes = std::move(periodMinutes);
    m_newsCheckTimer.setSingleShot(true);
    connect(&m_newsCheckTimer, &QTimer::timeout, this, [this] {
        Q_EMIT newsCheckDue();
        RestartNewsCheckTimer();
    });
    RestartNewsCheckTimer();
}

void CMainFrame::RestartNewsCheckTimer()
{
    // A period of 0 (only the options page corrects it) would spin: check every minute.
    const int minutes = std::max(1, m_periodMinutes());
    m_newsCheckTimer.start(std::chrono::minutes(minutes));
}

void CMainFrame::HideToTray()
{
    if (m_hiddenInTray)
        return;
    if (!m_tray->canHideToTray()) {
        // Nowhere to come back from: keep the window reachable in the task bar.
        showMinimized();
        return;
    }
    m_tray->showIcon();
    m_wasMaximised = isMaximized();
    m_tray->animateToTray(this);
    m_hiddenInTray = true;
}

void CMainFrame::ShowFromTray()
{
    if (m_hiddenInTray) {
        m_tray->animateFromTray(this);
        if (m_wasMaximised)
            showMaximized();
        m_hiddenInTray = false;
        m_tray->hideIcon();
        return;
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_closeAllowed) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The close box never ends the program; Exit does.
    event->ignore();
    HideToTray();
}
