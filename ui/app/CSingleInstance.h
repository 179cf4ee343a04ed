#pragma once

#include "CommandIds.h"

#include <QLocalServer>
#include <QObject>

// Keeps one running copy per user. The first copy listens on a local socket; a later copy
// hands it what it was started for (show the window, run a command, subscribe to a feed)
// and ends. Other users can neither take the name nor pose as the running copy.
class CSingleInstance : public QObject
{
    Q_OBJECT
public:
    // Commands sent to the running copy, by number: show the main window, and update
    // every channel ("Update all groups").
    static constexpr int ShowMainWindow = CommandNumber(Command::ShowWindow);
    static constexpr int UpdateAllGroups = CommandNumber(Command::UpdateAllGroups);

    explicit CSingleInstance(QObject* parent = nullptr);

    // The messages a later copy sends, one line each.
    static QByteArray CommandMessage(int command);
    static QByteArray FeedMessage(const QString& address);

    // True when this process is the running copy from now on; false when another copy
    // runs (it has been sent the messages).
    bool BecomePrimary(const QList<QByteArray>& messages = {CommandMessage(ShowMainWindow)});

    // The socket's path, in a folder that only this user can write into (made when
    // missing); empty when no such folder can be had.
    static QString ServerName();

Q_SIGNALS:
    void commandReceived(int command);
    void feedAddressReceived(const QString& address);

private:
    void OnNewConnection();
    void HandleMessage(const QByteArray& line);

    QLocalServer m_server;
};
