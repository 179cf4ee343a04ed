#pragma once

#include "NewsRound.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

// Announces a round of news through the desktop's notification server
// (org.freedesktop.Notifications): one notification, which the next one replaces. Every
// call is asynchronous, so a server that hangs never holds the window; when no server
// answers, the round comes back through undelivered.
class CDesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit CDesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);

    // How long a notification stays, in milliseconds; by default as long as the server
    // decides.
    void setDisplayTime(std::function<int()> ms) { m_displayMs = std::move(ms); }
    // The longest wait for an answer of the server.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }

    void Announce(const NewsRound& round);

    // The server's id of the notification on the screen, 0 before the first.
    uint CurrentId() const { return m_id; }

Q_SIGNALS:
    void delivered(uint id);
    // No server took the round: it should be shown some other way.
    void undelivered(const NewsRound& round);
    // The person chose "Open" on the notification: the window with its first channel and,
    // when it told of one news only, that news.
    void opened(CRssChannel* channel, CRssItem* item);

private Q_SLOTS:
    void OnActionInvoked(uint id, const QString& action);

private:
    void Send(const NewsRound& round, const QStringList& capabilities);
    void Delivered(const NewsRound& round, uint id);
    void Failed(const NewsRound& round, const QString& why);
    // The round gathered while a call was under way goes out once it is answered.
    void SendWaiting();

    QDBusConnection m_bus;
    std::function<int()> m_displayMs;
    int m_replyTimeoutMs = 5000;
    bool m_busy = false;
    bool m_listening = false;
    bool m_failing = false;
    NewsRound m_waiting;
    uint m_id = 0;
    NewsRound m_shown;
};
