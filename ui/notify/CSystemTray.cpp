#include "CSystemTray.h"

#include "CTrayAnimator.h"
#include "TrayBadge.h"
#include "TrayGeometry.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QStyleHints>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kMaxTipLength = 127;

QString Text(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// The tray's item shows the tray menu's text and triggers the frame's command, enabled
// and checked as the command is.
QAction* MirrorCommand(QAction* command, const QString& text, QMenu* menu)
{
    auto* item = menu->addAction(text);
    auto sync = [item, command] {
        item->setEnabled(command->isEnabled());
        item->setCheckable(command->isCheckable());
        item->setChecked(command->isChecked());
    };
    sync();
    QObject::connect(command, &QAction::changed, item, sync);
    QObject::connect(item, &QAction::triggered, command, [command] { command->trigger(); });
    return item;
}

} // namespace

CSystemTray::CSystemTray(QObject* parent, std::function<bool()> trayAvailable)
    : QObject(parent), m_trayAvailable(std::move(trayAvailable)),
      m_animator(new CTrayAnimator(this))
{
    m_pendingHide.setSingleShot(true);
    connect(&m_pendingHide, &QTimer::timeout, this, &CSystemTray::hideRequested);
}

CSystemTray::~CSystemTray()
{
    // The icon goes before its menu.
    delete m_icon;
}

bool CSystemTray::create(const QList<RssTrayMenuEntry>& menu, const QHash<int, QAction*>& commands,
                         const QString& tip)
{
    QAction* show = menu.isEmpty() ? nullptr : commands.value(menu.constFirst().command);
    if (!show || m_icon)
        return false;
    m_defaultCommand = show;

    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(u"TrayMenu161"_s);
    for (const RssTrayMenuEntry& entry : menu) {
        if (!entry.command) {
            m_menu->addSeparator();
            continue;
        }
        QAction* command = commands.value(entry.command);
        if (!command)
            continue;
        QAction* item = MirrorCommand(command, Text(entry.text), m_menu.get());
        item->setStatusTip(command->statusTip());
        if (command == show)
            m_menu->setDefaultAction(item);
    }

    m_icon = new QSystemTrayIcon(this);
    m_tip = tip;
    m_icon->setToolTip(tip.left(kMaxTipLength));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, &CSystemTray::handleActivation);
    return true;
}

void CSystemTray::setIcon(const QIcon& icon)
{
    m_baseIcon = icon;
    refreshIcon();
}

void CSystemTray::setUnreadCount(int unread)
{
    unread = std::max(0, unread);
    if (unread == m_unread)
        return;
    m_unread = unread;
    refreshIcon();
}

QIcon CSystemTray::shownIcon() const
{
    return m_icon ? m_icon->icon() : QIcon();
}

void CSystemTray::refreshIcon()
{
    if (!m_icon)
        return;
    m_icon->setIcon(BadgedIcon(m_baseIcon, m_unread));
    const QString tip =
        m_unread > 0 ? u"%1 \u2013 %2 unread news"_s.arg(m_tip).arg(m_unread) : m_tip;
    m_icon->setToolTip(tip.left(kMaxTipLength));
}

void CSystemTray::showIcon()
{
    if (m_icon && canHideToTray())
        m_icon->show();
}

void CSystemTray::hideIcon()
{
    if (m_icon)
        m_icon->hide();
}

bool CSystemTray::isIconShown() const
{
    return m_icon && m_icon->isVisible();
}

QString CSystemTray::toolTip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

bool CSystemTray::canHideToTray() const
{
    return m_trayAvailable && m_trayAvailable();
}

void CSystemTray::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_defaultCommand)
        return;
    const int doubleClickMs = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (reason == QSystemTrayIcon::Trigger) {
        const bool hidden = m_windowHidden ? m_windowHidden() : isIconShown();
        if (hidden) {
            postDefaultCommand();
            m_lastShow.start();
        } else if (!m_pendingHide.isActive()) {
            m_pendingHide.start(doubleClickMs);
        }
    } else if (reason == QSystemTrayIcon::DoubleClick) {
        // Its first click has shown the window already, or would hide it: the window stays.
        m_pendingHide.stop();
        if (m_lastShow.isValid() && m_lastShow.elapsed() <= doubleClickMs) {
            m_lastShow.invalidate();
            return;
        }
        postDefaultCommand();
    }
}

void CSystemTray::postDefaultCommand()
{
    // Posted, so the restore runs after the tray host's click has been handled.
    QMetaObject::invokeMethod(m_defaultCommand.get(), &QAction::trigger, Qt::QueuedConnection);
}

void CSystemTray::animateToTray(QWidget* window, bool force)
{
    if (!window)
        return;
    if (!canHideToTray()) {
        window->showMinimized();
        return;
    }
    m_animator->animateToTray(window, notificationArea(window), force);
}

void CSystemTray::animateFromTray(QWidget* window, bool force)
{
    if (window)
        m_animator->animateFromTray(window, notificationArea(window), force);
}

QRect CSystemTray::notificationArea(const QWidget* window) const
{
    const QScreen* screen = window->screen() ? window->screen() : QApplication::primaryScreen();
    const QRect icon = m_icon ? m_icon->geometry() : QRect();
    if (!screen)
        return icon;
    return NotificationAreaRect(icon, screen->geometry(), screen->availableGeometry());
}
