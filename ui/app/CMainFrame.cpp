#include "CMainFrame.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CCommandTable.h"
#include "CDocumentCommands.h"
#include "CItemView.h"
#include "CListeningControls.h"
#include "CPreferences.h"
#include "CRssFullBar.h"
#include "CRssHeader.h"
#include "CRssReaderView.h"
#include "CRssMenu.h"
#include "CRssReaderDoc.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "CShortcutsDlg.h"
#include "CStatusPanes.h"
#include "CSystemTray.h"
#include "CThemeColors.h"
#include "CTrayWarningDlg.h"
#include "CommandTable.h"
#include "FramePlacement.h"
#include "StringTable.h"
#include "StripCatalog.h"
#include "SubscriptionFiles.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <utility>

#ifndef CALVORIA_RELEASES_URL
#define CALVORIA_RELEASES_URL "https://calvoria.org/releases?ver="
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kSelectDestinationFolder = 134;
constexpr int kMinimumPane = 100;
// The queue counters in the status bar are read this often while any job waits or runs.
constexpr int kQueueWatchMs = 500;

const auto kPositionInfo = "Position/Info"_L1;
const auto kPositionLayout = "Position/LayoutInfo"_L1;

int PanePositionOf(Command command)
{
    return command == Command::ReadingPaneRight ? 1 : command == Command::ReadingPaneBottom ? 2 : 0;
}

// A stored rectangle from another screen arrangement would put the window where nobody
// sees it: such a window comes up centred on the primary screen instead.
QRect OnSomeScreen(const QRect& rect)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(rect))
            return rect;
    QRect moved = rect;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        const QRect area = primary->availableGeometry();
        moved.setSize(rect.size().boundedTo(area.size()));
        moved.moveCenter(area.center());
    }
    return moved;
}

} // namespace

CMainFrame::CMainFrame(CRssReaderDoc* document, CAppServices& app,
                       std::function<bool()> trayAvailable, PaneViewMakers views, QWidget* parent)
    : QMainWindow(parent),
      m_document(document),
      m_app(app),
      m_prefs(*app.Prefs()),
      m_theme(new CThemeColors(m_prefs.colorTheme, this)),
      m_commands(new CCommandTable(this)),
      m_documentCommands(std::make_unique<CDocumentCommands>(document)),
      m_tray(new CSystemTray(this, std::move(trayAvailable))),
      m_viewMakers(std::move(views))
{
    LogMessage(u"\nCreating frame ..."_s);
    setObjectName(u"MainWindowCalvoria"_s);
    setWindowTitle(u"Calvoria"_s);
    setAccessibleName(u"Calvoria"_s);
    resize(900, 600);

    m_router.setFrame(this);
    m_router.attach(m_commands);
    connect(&m_router, &CCommandRouter::routed, this, &CMainFrame::ScheduleUpdate);

    auto* menu = new CRssMenu(m_theme, this);
    m_commands->buildMainMenu(menu);
    setMenuBar(menu);
    m_router.updateOnMenuOpen(menu);
    m_commands->addShortcutsTo(this);

    CreateBars(m_prefs.largeButtons);

    if (m_prefs.readingPanePosition < 0 || m_prefs.readingPanePosition > 2) {
        // Only a damaged settings record holds another position: show the pane at the
        // bottom rather than refuse to start.
        LogFormat("*ERROR: Reading pane position %d is unknown, using the bottom",
                  int(m_prefs.readingPanePosition));
        m_prefs.readingPanePosition = 2;
    }
    m_panes = BuildFramePanes(*this, m_prefs.readingPanePosition, m_viewMakers, this);
    setCentralWidget(m_panes.outer);
    AddViews();
    // The keyboard starts in the channel tree, as a person reads the window.
    setFocusProxy(m_panes.channelTree);
    m_panes.channelTree->setFocus();
    m_panes.searchBar->setDocument(document);
    connect(m_panes.searchBar, &CSearchDlg::closed, this, [this] {
        m_panes.searchBar->hide();
        m_panes.outer->recalcLayout();
        ScheduleUpdate();
    });
    // F6 and Shift+F6 walk the panes.
    for (const PaneKey& key : PaneKeys()) {
        auto* shortcut = new QShortcut(
            QKeySequence(QString::fromLatin1(key.keys.data(), qsizetype(key.keys.size()))), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, step = key.step] { MoveFocusToPane(step); });
    }
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { FollowFocus(now); });

    // The person's browser stands in for an embedded one: nothing to make but the words.
    LogMessage(u"Creating internal browser"_s);
    LogMessage(u"Creating internal browser application"_s);

    LogMessage(u"Creating tray icon"_s);
    QList<RssTrayMenuEntry> trayMenu;
    for (const TrayMenuLine& line : TrayMenuLines())
        trayMenu.append({CommandNumber(line.id), line.text});
    if (!m_tray->create(trayMenu, m_commands->actionsByNumber(), u"Calvoria"_s))
        LogMessage(u"*ERROR: Cannot create tray icon"_s);
    // The program's own icon, from the desktop's theme when installed; small sizes have a
    // simpler drawing of their own.
    QIcon own;
    own.addFile(u":/theme/images/calvoria-16.svg"_s, QSize(16, 16));
    own.addFile(u":/theme/images/calvoria.svg"_s);
    const QIcon icon = QIcon::fromTheme(u"org.calvoria.calvoria"_s, own);
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
    m_tray->setIcon(icon);
    m_tray->setWindowHidden([this] { return m_hiddenInTray; });
    connect(m_tray, &CSystemTray::hideRequested, this, [this] { HideToTray(false); });

    if (m_document)
        m_listening = new CListeningControls(
            *m_document, m_prefs, *this,
            [this] { return qobject_cast<CRssReaderView*>(m_panes.newsList); },
            [this] { ShowFromTray(); });

    m_newsCheckTimer.setSingleShot(true);
    connect(&m_newsCheckTimer, &QTimer::timeout, this, [this] {
        Q_EMIT newsCheckDue();
        RestartNewsCheckTimer();
    });
    RestartNewsCheckTimer();

    // Nothing polls while the program is idle: the commands and counters are brought up to
    // date after each command, notification and focus change, and the queue counters are
    // watched only while jobs wait or run.
    m_queueWatch.setInterval(kQueueWatchMs);
    connect(&m_queueWatch, &QTimer::timeout, this, &CMainFrame::UpdateNow);
    UpdateNow();
    LogMessage(u"Frame creation done\n\n"_s);
}

CMainFrame::~CMainFrame()
{
    // Listening first, while the window is whole: letting the sound device go runs events,
    // which must no longer find it.
    delete std::exchange(m_listening, nullptr);
    // The children go after this body: their focus changes must not reach a frame that is
    // half gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    StorePlacement();
    m_router.attach(nullptr);
    RemoveViews();
}

void CMainFrame::CreateBars(bool largeButtons)
{
    m_toolBar = new CRssFullBar(m_theme);
    m_toolBar->setObjectName(u"fullBar"_s);
    m_toolBar->setAccessibleName(u"Tool bar"_s);
    if (!m_toolBar->loadToolBar(CCommandTable::toolBarLayout(), m_commands->actionsByNumber(),
                                largeButtons ? RssStripToolLarge : RssStripToolSmall))
        LogMessage(u"*ERROR: Failed to create fullbar"_s);
    for (const ToolBarSlot& slot : ToolBarSlots())
        if (slot.labelString != 0)
            m_toolBar->setButtonLabel(CommandNumber(slot.id), slot.labelString);
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
    statusBar()->setAccessibleName(u"Status bar"_s);
    m_statusPanes = new CStatusPanes(statusBar());
    m_statusPanes->setDocument(m_document);
}

QList<QWidget*> CMainFrame::PaneViews() const
{
    QList<QWidget*> views;
    for (QWidget* view : {m_panes.channelTree, m_panes.newsList, m_panes.readingPane})
        if (view)
            views << view;
    return views;
}

void CMainFrame::AddViews()
{
    // The views come first, in pane order; the document answers what none of them takes.
    m_router.removeView(m_documentCommands.get());
    for (QWidget* view : PaneViews())
        if (auto* target = dynamic_cast<ICommandTarget*>(view))
            m_router.addView(target);
    m_router.addView(m_documentCommands.get());
}

void CMainFrame::RemoveViews()
{
    m_router.setActiveView(nullptr);
    for (QWidget* view : PaneViews())
        if (auto* target = dynamic_cast<ICommandTarget*>(view))
            m_router.removeView(target);
}

void CMainFrame::MoveFocusToPane(int step)
{
    QList<QWidget*> stops{m_panes.channelTree};
    if (m_panes.searchBar->isVisible())
        stops << m_panes.searchBar;
    stops << m_panes.newsList;
    if (m_panes.readingPane)
        stops << m_panes.readingPane;
    const QWidget* focus = QApplication::focusWidget();
    qsizetype current = -1;
    for (qsizetype i = 0; i < stops.size(); ++i)
        if (focus && (stops[i] == focus || stops[i]->isAncestorOf(focus)))
            current = i;
    const qsizetype count = stops.size();
    const qsizetype next = current < 0 ? (step > 0 ? 0 : count - 1) : (current + step + count) % count;
    stops[next]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void CMainFrame::FollowFocus(QWidget* now)
{
    for (QWidget* view : PaneViews()) {
        auto* target = dynamic_cast<ICommandTarget*>(view);
        if (target && now && (now == view || view->isAncestorOf(now))) {
            m_router.setActiveView(target);
            break;
        }
    }
    ScheduleUpdate();
}

bool CMainFrame::HandlesCommand(Command id) const
{
    if (m_listening && m_listening->HandlesCommand(id))
        return true;
    switch (id) {
    case Command::Options:
    case Command::ReadingPaneRight:
    case Command::ReadingPaneBottom:
    case Command::ReadingPaneHidden:
    case Command::AutoPreview:
    case Command::Help:
    case Command::CheckForNewVersion:
    case Command::Synchronize:
    case Command::ShowWindow:
    case Command::Search:
    case Command::ExploreVoiceFolder:
    case Command::About:
    case Command::Welcome:
    case Command::Exit:
    case Command::ToggleToolBar:
    case Command::ToggleStatusBar:
    case Command::ImportSubscriptions:
    case Command::ExportSubscriptions:
    case Command::KeyboardShortcuts:
        return true;
    default:
        return false;
    }
}

void CMainFrame::RunCommand(Command id)
{
    if (m_listening && m_listening->HandlesCommand(id)) {
        m_listening->RunCommand(id);
        return;
    }
    switch (id) {
    case Command::Options:
        StorePlacement();
        if (m_runOptions)
            m_runOptions();
        break;
    case Command::Synchronize:
        StorePlacement();
        if (m_runSynchronization)
            m_runSynchronization();
        break;
    case Command::ImportSubscriptions:
        if (m_runImport)
            m_runImport();
        break;
    case Command::ExportSubscriptions:
        if (m_runExport)
            m_runExport();
        break;
    case Command::ReadingPaneRight:
    case Command::ReadingPaneBottom:
    case Command::ReadingPaneHidden:
        SetReadingPanePosition(PanePositionOf(id));
        break;
    case Command::AutoPreview:
        m_prefs.showPreview = !m_prefs.showPreview;
        m_prefs.SaveAll();
        m_app.NotifyAll(RssEvent::PreviewChanged, nullptr);
        break;
    case Command::Help:
        OpenLocalFile(ManualPath(), u"manual"_s);
        break;
    case Command::CheckForNewVersion:
        OpenInBrowser(VersionCheckUrl());
        break;
    case Command::ExploreVoiceFolder:
        OpenLocalFile(m_prefs.Mp3Folder(), u"voice folder"_s);
        break;
    case Command::ShowWindow:
        ShowFromTray();
        break;
    case Command::Search:
        ToggleSearchBar();
        break;
    case Command::Welcome:
        ShowWelcome();
        break;
    case Command::ToggleToolBar:
        if (auto* dock = findChild<QToolBar*>(u"toolBarDock"_s))
            dock->setVisible(!dock->isVisible());
        break;
    case Command::ToggleStatusBar:
        statusBar()->setVisible(!statusBar()->isVisible());
        break;
    case Command::Exit:
        Q_EMIT exitRequested();
        break;
    case Command::About:
        Q_EMIT aboutRequested();
        break;
    case Command::KeyboardShortcuts:
        ShowKeyboardShortcuts();
        break;
    default:
        break;
    }
}

void CMainFrame::UpdateCommand(Command id, CommandState& state)
{
    if (m_listening && m_listening->HandlesCommand(id)) {
        m_listening->UpdateCommand(id, state);
        return;
    }
    switch (id) {
    case Command::Options:
        state.enabled = bool(m_runOptions);
        break;
    case Command::Synchronize:
        state.enabled = bool(m_runSynchronization);
        break;
    case Command::ImportSubscriptions:
        state.enabled = bool(m_runImport);
        break;
    case Command::ExportSubscriptions:
        state.enabled = bool(m_runExport);
        break;
    case Command::ReadingPaneRight:
    case Command::ReadingPaneBottom:
    case Command::ReadingPaneHidden:
        state.checked = m_prefs.readingPanePosition == PanePositionOf(id);
        break;
    case Command::AutoPreview:
        state.checked = m_prefs.showPreview;
        break;
    case Command::Search:
        state.checked = m_panes.searchBar->isVisible();
        break;
    case Command::ToggleToolBar:
        if (auto* dock = findChild<QToolBar*>(u"toolBarDock"_s))
            state.checked = !dock->isHidden();
        break;
    case Command::ToggleStatusBar:
        state.checked = !statusBar()->isHidden();
        break;
    default:
        break;
    }
}

void CMainFrame::ScheduleUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QTimer::singleShot(0, this, &CMainFrame::UpdateNow);
}

void CMainFrame::UpdateNow()
{
    m_updatePending = false;
    m_router.updateActions();
    m_statusPanes->refresh();
    m_tray->setUnreadCount(m_document ? m_document->RootGroup().UnreadCount() : 0);
    if (m_statusPanes->queuesBusy()) {
        if (!m_queueWatch.isActive())
            m_queueWatch.start();
    } else {
        m_queueWatch.stop();
    }
}

void CMainFrame::OnUpdate(RssEvent code, CRefCounted* object)
{
    ScheduleUpdate();
    if (code == RssEvent::NewItem) {
        // A popup only where the person does not look at the window already.
        const QWidget* active = QApplication::activeWindow();
        const bool looking = isVisible() && !m_hiddenInTray && active &&
                             (active == this || isAncestorOf(active));
        if (m_prefs.showNewsPopup && !looking)
            Q_EMIT newsPopupRequested(object);
        return;
    }
    if (m_listening)
        m_listening->OnUpdate(code, object);
    for (QWidget* view : PaneViews())
        if (auto* follower = dynamic_cast<INotificationView*>(view))
            follower->OnUpdate(code, object);
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

void CMainFrame::HideSearchBarIfVisible()
{
    if (!m_panes.searchBar->isVisible())
        return;
    m_panes.searchBar->hide();
    m_panes.outer->recalcLayout();
}

void CMainFrame::RestartNewsCheckTimer()
{
    // A period of 0 (only the options page corrects it) would spin: check every minute.
    const int minutes = std::max(1, int(m_prefs.checkIntervalMinutes));
    m_newsCheckTimer.start(std::chrono::minutes(minutes));
}

void CMainFrame::StorePlacement()
{
    if (!m_placementRestored)
        return;
    LogMessage(u"Storing frame position ..."_s);
    WindowPlacement placement;
    placement.normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    const bool maximised = m_hiddenInTray ? m_wasMaximised : isMaximized();
    placement.showCommand = maximised        ? WindowPlacement::Maximized
                            : isMinimized() ? WindowPlacement::Minimized
                                             : WindowPlacement::Normal;
    QSettings& store = m_prefs.Store();
    store.setValue(kPositionInfo, placement.ToBytes());

    PaneLayout layout;
    layout.treeWidth = m_panes.outer->columnSize(0);
    if (m_panes.inner && m_prefs.readingPanePosition == 1)
        layout.listWidth = m_panes.inner->columnSize(0);
    else if (m_panes.inner && m_prefs.readingPanePosition == 2)
        layout.listHeight = m_panes.inner->rowSize(0);
    store.setValue(kPositionLayout, layout.ToBytes());
    store.sync();
    LogMessage(u"Storing frame position: Done"_s);
}

void CMainFrame::RestorePlacement(int startShowState)
{
    LogMessage(u"Reading frame position ..."_s);
    WindowPlacement placement;
    if (WindowPlacement::FromBytes(m_prefs.Store().value(kPositionInfo).toByteArray(),
                                   placement) &&
        placement.normal.isValid()) {
        const QRect& r = placement.normal;
        LogFormat("Readed windows placement %d %d,%d,%d,%d", placement.showCommand, r.left(),
                  r.top(), r.right() + 1, r.bottom() + 1);
        setGeometry(OnSomeScreen(r));
        if (placement.showCommand == WindowPlacement::Maximized)
            showMaximized();
        else
            showNormal();
    } else {
        LogMessage(u"Placement does not exist"_s);
        show();
    }
    ApplyPaneLayout();
    m_placementRestored = true;
    LogMessage(u"Reading frame position: Done"_s);

    if (startShowState == 2) {
        LogMessage(u"Minimize to tray after restore"_s);
        HideToTray(false);
    } else if (startShowState == 3) {
        LogMessage(u"Maximize after restore"_s);
        showMaximized();
    }
    m_app.startShowState = 1;
}

void CMainFrame::ApplyPaneLayout()
{
    PaneLayout stored;
    PaneLayout::FromBytes(m_prefs.Store().value(kPositionLayout).toByteArray(), stored);
    // A window that is about to be maximised has the screen's size already.
    QSize size = geometry().size();
    if (isMaximized() && screen())
        size = screen()->availableGeometry().size();
    const PaneLayout layout = stored.FittedTo(size);
    m_panes.outer->setColumnInfo(0, layout.treeWidth, kMinimumPane);
    m_panes.outer->recalcLayout();
    if (m_panes.inner && m_prefs.readingPanePosition == 1)
        m_panes.inner->setColumnInfo(0, layout.listWidth, kMinimumPane);
    else if (m_panes.inner && m_prefs.readingPanePosition == 2)
        m_panes.inner->setRowInfo(0, layout.listHeight, kMinimumPane);
    if (m_panes.inner)
        m_panes.inner->recalcLayout();
}

void CMainFrame::SetReadingPanePosition(int position)
{
    if (m_prefs.readingPanePosition == position)
        return;
    StorePlacement();
    m_prefs.readingPanePosition = position;
    m_prefs.SaveAll();
    RebuildRightSide();
}

void CMainFrame::RebuildRightSide()
{
    m_placementRestored = false;
    RemoveViews();
    ::RebuildRightSide(m_panes, *this, m_prefs.readingPanePosition, m_viewMakers);
    AddViews();
    Q_EMIT viewsRebuilt();
    RestorePlacement(1);
}

void CMainFrame::ApplyOptions(const OptionChanges& changed)
{
    if (changed.layout)
        RebuildRightSide();
    if (changed.preview && !changed.layout)
        m_app.NotifyAll(RssEvent::PreviewChanged, nullptr);
    if (changed.buttons) {
        m_toolBar->reloadImages(m_prefs.largeButtons ? RssStripToolLarge : RssStripToolSmall);
        m_toolBar->updateGeometry();
        if (QLayout* frameLayout = layout())
            frameLayout->invalidate();
        m_toolBar->update();
    }
    if (changed.theme) {
        // The theme tells every themed window; the rest of the frame is drawn again here.
        m_theme->setTheme(m_prefs.colorTheme);
        for (QWidget* child : findChildren<QWidget*>())
            child->update();
        update();
    }
}

bool CMainFrame::OpenInBrowser(const QString& url)
{
    // Addresses come from feeds: only web pages go to the browser, never a local program
    // or file that some other scheme would start.
    const QUrl address(url.trimmed(), QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != "http"_L1 && scheme != "https"_L1)) {
        LogFormat("*ERROR: Not opening '%s' in the browser: not a web address",
                  qUtf8Printable(url.left(200)));
        return false;
    }
    return QDesktopServices::openUrl(address);
}

void CMainFrame::OpenLocalFile(const QString& path, const QString& what)
{
    if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        LogFormat("*ERROR: Cannot open the %s '%s'", qUtf8Printable(what), qUtf8Printable(path));
        QMessageBox::warning(this, u"Calvoria"_s,
                             u"Cannot open the %1:\n%2"_s.arg(what, QDir::toNativeSeparators(path)));
    }
}

bool CMainFrame::BrowseForFolder(QString& path)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        this, LoadString(kSelectDestinationFolder), path, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    path = chosen;
    return true;
}

QString CMainFrame::VersionCheckUrl()
{
    return QString::fromUtf8(CALVORIA_RELEASES_URL) + u"1.0.52.150"_s;
}

QString CMainFrame::ManualPath() const
{
    return QDir::cleanPath(m_prefs.ProgramFolder() + u"../manual/index.html"_s);
}

void CMainFrame::ShowKeyboardShortcuts()
{
    // One window, kept beside the main one while the person tries the keys.
    if (!m_shortcuts) {
        m_shortcuts = new CShortcutsDlg(this);
        m_shortcuts->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_shortcuts->show();
    m_shortcuts->raise();
    m_shortcuts->activateWindow();
}

void CMainFrame::ShowWelcome()
{
    // The page needs its pane: a hidden one comes back at the bottom.
    if (!m_panes.readingPane)
        SetReadingPanePosition(2);
    if (auto* pane = dynamic_cast<CItemView*>(m_panes.readingPane)) {
        pane->ShowWelcome();
        pane->setFocus();
    }
}

void CMainFrame::AddExampleFeeds()
{
    if (m_document)
        ::AddExampleFeeds(*m_document, ExampleFeedsFile(m_prefs.StylesFolder()), this);
}

bool CMainFrame::ShowTrayWarning()
{
    CTrayWarningDlg dialog(this);
    const bool ok = dialog.exec() == QDialog::Accepted;
    return ok && dialog.doNotShowAgain();
}

void CMainFrame::HideToTray(bool withWarning)
{
    if (m_hiddenInTray)
        return;
    if (!m_tray->canHideToTray()) {
        // Nowhere to come back from: keep the window reachable in the task bar.
        showMinimized();
        return;
    }
    m_tray->showIcon();
    if (withWarning && m_prefs.showTrayWarning && ShowTrayWarning()) {
        m_prefs.showTrayWarning = false;
        m_prefs.SaveAll();
    }
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

void CMainFrame::CloseForExit()
{
    // The window goes for good: its last placement is the one the next run starts with.
    StorePlacement();
    m_placementRestored = false;
    m_closeAllowed = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_closeAllowed) {
        StorePlacement();
        m_placementRestored = false;
        QMainWindow::closeEvent(event);
        return;
    }
    // The close box never ends the program; Exit does.
    event->ignore();
    HideToTray(true);
}
