#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>

// The main window. For now a plain window with the File and Help commands; the panes,
// bars and tray arrive with the views.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    // Command 32848: show the window and bring it to the front.
    void ShowFromTray();

    // Fires newsCheckDue once every period; the period is read anew after each tick, so a
    // changed setting takes effect from the next one.
    void StartNewsCheckTimer(std::function<int()> periodMinutes);

Q_SIGNALS:
    void aboutRequested();
    void exitRequested();
    void newsCheckDue();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void RestartNewsCheckTimer();

    QTimer m_newsCheckTimer;
    std::function<int()> m_periodMinutes;
};
