#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>
#include <string_view>

class CTrayAnimator;
class QAction;
class QMenu;
class QWidget;

// One row of the tray menu: a command and its text, or a separator (command 0).
struct RssTrayMenuEntry
{
    int command;
    std::u16string_view text;
};

// The program's icon in the notification area, with its menu, and the animations of the
// main window into the notification area and back. The icon is hidden until the window is
// hidden to the tray; it carries the unread count as a badge and in its tip. The commands
// belong to the main frame: the menu's items trigger the frame's actions, a click shows or
// hides the window, and a double-click posts the default one ("Show Calvoria").
class CSystemTray : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIconId = 161; // also the menu's identifier

    // `trayAvailable` tells whether the desktop has a notification area; asked each time,
    // since a panel may come and go.
    explicit CSystemTray(QObject* parent = nullptr, std::function<bool()> trayAvailable =
                                                        &QSystemTrayIcon::isSystemTrayAvailable);
    ~CSystemTray() override;

    // Creates the hidden icon and its menu from the frame's actions by command number; a
    // command without an action gets no item. The menu's first row is the default item.
    // Fails when the default command has no action, or when the icon exists already.
    bool create(const QList<RssTrayMenuEntry>& menu, const QHash<int, QAction*>& commands,
                const QString& tip);
    // The icon without badge; the badge for the unread count is drawn on it.
    void setIcon(const QIcon& icon);
    // The unread news of every channel: the badge and the tip follow it.
    void setUnreadCount(int unread);
    int unreadCount() const { return m_unread; }
    // What the notification area shows: the icon with its badge.
    QIcon shownIcon() const;
    // Whether the main window is hidden now: a click shows it then, else hides it.
    void setWindowHidden(std::function<bool()> hidden) { m_windowHidden = std::move(hidden); }
    void showIcon();
    void hideIcon();
    bool isIconShown() const;
    QString toolTip() const;
    QMenu* menu() const { return m_menu.get(); }

    // Whether hiding to the tray leaves a way back. Where it does not, the frame minimises
    // its window instead of hiding it, and animateToTray does the same.
    bool canHideToTray() const;

    // The mouse on the icon: a click shows a hidden window at once (the default command,
    // posted) and hides a shown one once the double-click time has passed; a double-click
    // posts the default command, once, however the platform reports its first click, and
    // never hides. The menu is left to the icon, anything else is ignored.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    // Ends with the window hidden (minimised where there is no notification area).
    void animateToTray(QWidget* window, bool force = false);
    // Ends with the window restored, raised and active.
    void animateFromTray(QWidget* window, bool force = false);
    CTrayAnimator& animator() { return *m_animator; }

Q_SIGNALS:
    // A click on the icon while the window shows.
    void hideRequested();

private:
    void postDefaultCommand();
    void refreshIcon();

    QRect notificationArea(const QWidget* window) const;

    std::function<bool()> m_trayAvailable;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    CTrayAnimator* m_animator;
    QPointer<QAction> m_defaultCommand;
    QIcon m_baseIcon;
    QString m_tip;
    int m_unread = 0;
    std::function<bool()> m_windowHidden;
    // A click's hide waits out the double-click time; a double-click cancels it.
    QTimer m_pendingHide;
    // When a click last showed the window, so the double-click it began does not post
    // the default command again.
    QElapsedTimer m_lastShow;
};
