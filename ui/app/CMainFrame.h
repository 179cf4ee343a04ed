#pragma once

#include "CCommandRouter.h"
#include "FramePanes.h"
#include "IFrameServices.h"
#include "INotificationView.h"
#include "RssEvent.h"

#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

class CAppServices;
class CCommandTable;
class CDocumentCommands;
class CListeningControls;
class CPreferences;
class CRefCounted;
class CRssFullBar;
class CRssHeader;
class CRssReaderDoc;
class CShortcutsDlg;
class CStatusPanes;
class CSystemTray;
class CThemeColors;

Q_DECLARE_OPAQUE_POINTER(CRefCounted*)
Q_DECLARE_METATYPE(CRefCounted*)

// The main window: menu bar, tool bar, status bar, the panes and the tray icon. It wires
// the commands to whoever carries them out, handles the window's own ones, keeps its
// placement across runs and offers its services to the other windows.
class CMainFrame : public QMainWindow,
                   public ICommandTarget,
                   public INotificationView,
                   public IFrameServices
{
    Q_OBJECT
public:
    // `trayAvailable` tells whether the desktop has a notification area; `views` makes
    // the views of the panes (empty stand-ins where a maker is missing).
    CMainFrame(CRssReaderDoc* document, CAppServices& app,
               std::function<bool()> trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable,
               PaneViewMakers views = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Command::ShowWindow: show the window and bring it to the front.
    void ShowFromTray();
    // Hides to the tray where there is one, else minimises; the close box asks with the
    // warning, which tells once how to end the program.
    void HideToTray(bool withWarning = false);
    bool IsHiddenInTray() const { return m_hiddenInTray; }
    // From now on a close request closes the window: the program is ending.
    void AllowClose() { m_closeAllowed = true; }
    // Stores the placement and closes the window for good, hidden in the tray or not.
    void CloseForExit();

    // The stored placement: applied and shown at start (startShowState 1 normal, 2 hidden
    // in the tray, 3 maximised), written before anything that may change it.
    void RestorePlacement(int startShowState);
    void StorePlacement();
    bool IsPlacementRestored() const { return m_placementRestored; }

    // IFrameServices
    bool OpenInBrowser(const QString& url) override;
    bool BrowseForFolder(QString& path) override;
    void HideSearchBarIfVisible() override;
    CRssHeader* RightSideHeader() const override { return m_panes.newsHeader; }
    CThemeColors& Theme() const override { return *m_theme; }
    void ApplyOptions(const OptionChanges& changed) override;
    bool RouteCommand(Command id) override { return m_router.route(id); }
    void AddExampleFeeds() override;
    // The reading-pane commands: 1 right, 2 bottom, 0 hidden.
    void SetReadingPanePosition(int position);

    // Every notification: the frame takes the new-item code (the popup's cue) and passes
    // the others on to the views.
    void OnUpdate(RssEvent code, CRefCounted* object) override;

    // Runs the options sheet and the synchronisation dialog once they are installed; until
    // then their commands are disabled.
    void SetOptionsSheet(std::function<void()> run) { m_runOptions = std::move(run); }
    void SetSynchronization(std::function<void()> run) { m_runSynchronization = std::move(run); }
    // File > Import subscriptions... and Export subscriptions...
    void SetSubscriptionExchange(std::function<void()> importRun, std::function<void()> exportRun)
    {
        m_runImport = std::move(importRun);
        m_runExport = std::move(exportRun);
    }

    CCommandTable& Commands() const { return *m_commands; }
    CCommandRouter& Router() { return m_router; }
    CSystemTray& Tray() const { return *m_tray; }
    const FramePanes& Panes() const { return m_panes; }
    CRssFullBar* ToolBar() const { return m_toolBar; }
    CStatusPanes& StatusPanes() const { return *m_statusPanes; }
    CListeningControls& Listening() const { return *m_listening; }

    // ICommandTarget
    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

    // The views in the panes, as made by the view makers.
    QList<QWidget*> PaneViews() const;

    // The release page the version check opens, with this version.
    static QString VersionCheckUrl();
    // The manual's first page, beside the program folder.
    QString ManualPath() const;

Q_SIGNALS:
    // Fires once every news-check period; the period is read anew after each tick, so a
    // changed setting takes effect from the next one.
    void newsCheckDue();
    void aboutRequested();
    void exitRequested();
    // A new item arrived while the person looks elsewhere: the popup's cue.
    void newsPopupRequested(CRefCounted* item);
    // The right side was built again: the new views need their first update.
    void viewsRebuilt();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateBars(bool largeButtons);
    void ToggleSearchBar();
    void RestartNewsCheckTimer();
    void ApplyPaneLayout();
    void RebuildRightSide();
    void AddViews();
    void RemoveViews();
    void FollowFocus(QWidget* now);
    // F6 (+1) and Shift+F6 (-1): the next pane, the search bar while it shows, takes the focus.
    void MoveFocusToPane(int step);
    void ScheduleUpdate();
    void UpdateNow();
    bool ShowTrayWarning();
    void OpenLocalFile(const QString& path, const QString& what);
    void ShowWelcome();
    void ShowKeyboardShortcuts();

    CRssReaderDoc* m_document;
    CAppServices& m_app;
    CListeningControls* m_listening = nullptr;
    CPreferences& m_prefs;
    CThemeColors* m_theme;
    CCommandTable* m_commands;
    CCommandRouter m_router;
    std::unique_ptr<CDocumentCommands> m_documentCommands;
    CRssFullBar* m_toolBar = nullptr;
    CStatusPanes* m_statusPanes = nullptr;
    CSystemTray* m_tray;
    PaneViewMakers m_viewMakers;
    FramePanes m_panes;
    bool m_placementRestored = false;
    bool m_hiddenInTray = false;
    bool m_wasMaximised = false;
    bool m_closeAllowed = false;
    bool m_updatePending = false;
    QTimer m_queueWatch;
    QTimer m_newsCheckTimer;
    std::function<void()> m_runOptions;
    std::function<void()> m_runSynchronization;
    std::function<void()> m_runImport;
    std::function<void()> m_runExport;
    QPointer<CShortcutsDlg> m_shortcuts;
};
