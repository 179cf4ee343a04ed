#pragma once

#include <QMainWindow>

// The main window. For now a plain window with the File and Help commands; the panes,
// bars and tray arrive with the views.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    // Command 32848: show the window and bring it to the front.
    void ShowFromTray();

Q_SIGNALS:
    void aboutRequested();
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
};
