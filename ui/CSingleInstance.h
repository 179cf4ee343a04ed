#pragma once

#include <QLocalServer>
#include <QObject>

// Keeps one running copy per user. The first copy listens on a local socket; a later copy
// asks it to show its window and ends. Other users can neither take the name nor pose as
// the running copy.
class CSingleInstance : public QObject
{
    Q_OBJECT
public:
    // Command sent to the running copy: show the main window.
    static constexpr int ShowMainWindow = 32848;

    explicit CSingleInstance(QObject* parent = nullptr);

    // True when this process is the running copy from now on; false when another copy
    // runs (it has been asked to show its window).
    bool BecomePrimary();

    // The socket's path, in a folder that only this user can write into (made when
    // missing); empty when no such folder can be had.
    static QString ServerName();

Q_SIGNALS:
    void commandReceived(int command);

private:
    void OnNewConnection();

    QLocalServer m_server;
};
