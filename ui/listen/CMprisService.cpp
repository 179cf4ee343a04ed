#include "CMprisService.h"

#include "CAppLog.h"
#include "CNewsPlayer.h"
#include "MprisAdaptors.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kServiceName = u"org.mpris.MediaPlayer2.calvoria"_s;
const QString kObjectPath = u"/org/mpris/MediaPlayer2"_s;
const QString kPlayerInterface = u"org.mpris.MediaPlayer2.Player"_s;
const QString kBusService = u"org.freedesktop.DBus"_s;

constexpr uint kDoNotQueue = 0x4;
constexpr uint kPrimaryOwner = 1;
constexpr uint kAlreadyOwner = 4;

} // namespace

CMprisService::CMprisService(CNewsPlayer& player, std::function<void()> raise, QObject* parent)
    : QObject(parent), m_player(player), m_bus(QDBusConnection::sessionBus())
{
    if (!m_bus.isConnected())
        return;
    new CMprisRootAdaptor(this, std::move(raise));
    m_playerAdaptor = new CMprisPlayerAdaptor(this, player);
    connect(&player, &CNewsPlayer::itemChanged, this, &CMprisService::Follow);
    connect(&player, &CNewsPlayer::stateChanged, this, &CMprisService::Follow);
    connect(&player, &CNewsPlayer::durationChanged, this, &CMprisService::Follow);
    connect(&player, &CNewsPlayer::rateChanged, this, &CMprisService::Follow);
    connect(&player, &CNewsPlayer::seeked, this, [this](qint64 milliseconds) {
        if (m_published)
            Q_EMIT m_playerAdaptor->Seeked(qlonglong(milliseconds) * 1000);
    });
    Follow();
}

CMprisService::~CMprisService()
{
    Withdraw();
}

void CMprisService::Follow()
{
    if (m_player.HasItem() && !m_published)
        Publish();
    else if (!m_player.HasItem() && m_published)
        Withdraw();
    else if (m_published)
        AnnounceChanges();
}

void CMprisService::Publish()
{
    // The object first, so that a client that sees the name appear finds it.
    if (!m_bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
        return;
    m_published = true;
    m_announced = m_playerAdaptor->Announced();
    AskBus(u"RequestName"_s);
}

void CMprisService::Withdraw()
{
    if (!m_published)
        return;
    m_published = false;
    m_announced.clear();
    AskBus(u"ReleaseName"_s);
    m_bus.unregisterObject(kObjectPath);
}

void CMprisService::AskBus(const QString& method)
{
    // Asynchronous: a bus that is slow to answer must not hold the window. The bus handles
    // one connection's requests in order, so a release always follows its request.
    QDBusMessage ask = QDBusMessage::createMethodCall(kBusService, u"/org/freedesktop/DBus"_s,
                                                      kBusService, method);
    ask << kServiceName;
    if (method == u"RequestName"_s)
        ask << kDoNotQueue;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, watcher] {
        watcher->deleteLater();
        if (method != u"RequestName"_s)
            return;
        const QDBusPendingReply<uint> reply = *watcher;
        const bool owner =
            !reply.isError() && (reply.value() == kPrimaryOwner || reply.value() == kAlreadyOwner);
        if (!owner && !m_nameRefused) {
            LogFormat("Media controls are not available (%s)",
                      reply.isError() ? qUtf8Printable(reply.error().message())
                                      : "the name is taken");
        }
        m_nameRefused = !owner;
    });
}

void CMprisService::AnnounceChanges()
{
    const QVariantMap now = m_playerAdaptor->Announced();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
}
