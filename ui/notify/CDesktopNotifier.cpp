#include "CDesktopNotifier.h"

#include "CAppLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
const QString kInterface = u"org.freedesktop.Notifications"_s;

} // namespace

CDesktopNotifier::CDesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_displayMs([] { return -1; })
{
}

void CDesktopNotifier::Announce(const NewsRound& round)
{
    if (round.IsEmpty())
        return;
    if (m_busy) {
        m_waiting.Append(round);
        return;
    }
    if (!m_bus.isConnected()) {
        Failed(round, u"no session bus"_s);
        return;
    }
    m_busy = true;
    // Asked every time: the server may have changed since the last round.
    const QDBusMessage ask =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, u"GetCapabilities"_s);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, m_replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (reply.isError())
            Failed(round, reply.error().message());
        else
            Send(round, reply.value());
    });
}

void CDesktopNotifier::Send(const NewsRound& round, const QStringList& capabilities)
{
    const NotificationText text = DescribeRound(round, capabilities.contains(u"body-markup"_s));
    QStringList actions;
    if (capabilities.contains(u"actions"_s))
        actions << u"default"_s << u"Open"_s << u"open"_s << u"Open"_s;
    const QVariantMap hints{{u"desktop-entry"_s, u"org.calvoria.calvoria"_s},
                            {u"category"_s, u"x-calvoria.news"_s}};
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, u"Notify"_s);
    notify << u"Calvoria"_s << m_id << u"org.calvoria.calvoria"_s << text.summary << text.body
           << actions << hints << qint32(m_displayMs());
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify, m_replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            Failed(round, reply.error().message());
        else
            Delivered(round, reply.value());
    });
}

void CDesktopNotifier::Delivered(const NewsRound& round, uint id)
{
    m_busy = false;
    m_failing = false;
    m_id = id;
    m_shown = round;
    if (!m_listening) {
        // Any sender: asking the bus who owns the name would be a call that waits.
        m_listening = m_bus.connect(QString(), kPath, kInterface, u"ActionInvoked"_s, this,
                                    SLOT(OnActionInvoked(uint, QString)));
    }
    Q_EMIT delivered(id);
    SendWaiting();
}

void CDesktopNotifier::Failed(const NewsRound& round, const QString& why)
{
    m_busy = false;
    if (!m_failing)
        LogFormat("Desktop notifications are not available (%s), news popups are shown instead",
                  qUtf8Printable(why));
    m_failing = true;
    Q_EMIT undelivered(round);
    SendWaiting();
}

void CDesktopNotifier::SendWaiting()
{
    if (m_waiting.IsEmpty())
        return;
    Announce(std::exchange(m_waiting, {}));
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_id || m_shown.IsEmpty())
        return;
    if (action != u"default"_s && action != u"open"_s)
        return;
    const ChannelNews& first = m_shown.Channels().constFirst();
    CRssItem* item = m_shown.ItemCount() == 1 ? m_shown.Items().constFirst().get() : nullptr;
    Q_EMIT opened(first.channel.get(), item);
}
