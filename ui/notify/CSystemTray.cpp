#include "CSystemTray.h"

#include "CTrayAnimator.h"
#include "TrayGeometry.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
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
    m_icon->setToolTip(tip.left(kMaxTipLength));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, &CSystemTray::handleActivation);
    return true;
}

void CSystemTray::setIcon(const QIcon& icon)
{
    if (m_icon)
        m_icon->setIcon(icon);
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
    if (reason != QSystemTrayIcon::DoubleClick || !m_defaultCommand)
        return;
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
