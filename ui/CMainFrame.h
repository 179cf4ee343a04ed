#pragma once

#include "CCommandRouter.h"
#include "FramePanes.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

class CCommandTable;
class CDocumentCommands;
class CRssFullBar;
class CRssReaderDoc;
class CStatusPanes;
class CSystemTray;
class CThemeColors;

// What the frame reads from the preferences when it is built.
struct FrameSettings
{
    int colorTheme = 0;
    bool largeButtons = true;
    int readingPanePosition = 2;
};

// The main window: menu bar, tool bar, status bar, the panes and the tray icon. It wires
// the commands to whoever carries them out and handles the window's own ones.
class CMainFrame : public QMainWindow, public ICommandTarget
{
    Q_OBJECT
public:
    // `trayAvailable` tells whether the desktop has a notification area.
    explicit CMainFrame(CRssReaderDoc* document, const FrameSettings& settings = {},
                        std::function<bool()> trayAvailable =
                            &QSystemTrayIcon::isSystemTrayAvailable,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Command 32848: show the window and bring it to the front.
    void ShowFromTray();
    // The close box: hide to the tray where there is one, else minimise.
    void HideToTray();
    bool IsHiddenInTray() const { return m_hiddenInTray; }
    // From now on a close request closes the window: the program is ending.
    void AllowClose() { m_closeAllowed = true; }

    // Fires newsCheckDue once every period; the period is read anew after each tick, so a
    // changed setting takes effect from the next one.
    void StartNewsCheckTimer(std::function<int()> periodMinutes);

    CCommandTable& Commands() const { return *m_commands; }
    CCommandRouter& Router() { return m_router; }
    CSystemTray& Tray() const { return *m_tray; }
    const FramePanes& Panes() const { return m_panes; }
    CRssFullBar* ToolBar() const { return m_toolBar; }
    CStatusPanes& StatusPanes() const { return *m_statusPanes; }

    // ICommandTarget
    bool HandlesCommand(int id) const override;
    void RunCommand(int id) override;
    void UpdateCommand(int id, CommandState& state) override;

Q_SIGNALS:
    void aboutRequested();
    void exitRequested();
    void newsCheckDue();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateBars(bool largeButtons);
    void ToggleSearchBar();
    void RestartNewsCheckTimer();

    CRssReaderDoc* m_document;
    CThemeColors* m_theme;
    CCommandTable* m_commands;
    CCommandRouter m_router;
    std::unique_ptr<CDocumentCommands> m_documentCommands;
    CRssFullBar* m_toolBar = nullptr;
    CStatusPanes* m_statusPanes = nullptr;
    CSystemTray* m_tray;
    FramePanes m_panes;
    bool m_hiddenInTray = false;
    bool m_wasMaximised = false;
    bool m_closeAllowed = false;
    QTimer m_updateTimer;
    QTimer m_newsCheckTimer;
    std::function<int()> m_periodMinutes;
};
