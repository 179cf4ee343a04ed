#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

#include <functional>

class CMprisPlayerAdaptor;
class CNewsPlayer;

// The news player in the desktop's media controls (MPRIS 2 on the session bus). The player
// is on the bus only while it has an item, so the desktop's widget shows it only then.
// Without a session bus it does nothing. Window thread.
class CMprisService : public QObject
{
    Q_OBJECT
public:
    // raise: brings the main window forward, when the desktop asks.
    CMprisService(CNewsPlayer& player, std::function<void()> raise, QObject* parent = nullptr);
    ~CMprisService() override;

private:
    void Follow();
    void Publish();
    void Withdraw();
    void AskBus(const QString& method);
    // Tells the bus which of the announced properties changed since last time.
    void AnnounceChanges();

    CNewsPlayer& m_player;
    QDBusConnection m_bus;
    CMprisPlayerAdaptor* m_playerAdaptor = nullptr;
    bool m_published = false;
    bool m_nameRefused = false;
    QVariantMap m_announced;
};
