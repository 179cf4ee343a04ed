#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <string_view>

class CTrayAnimator;
class QAction;
class QIcon;
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
// hidden to the tray. The commands belong to the main frame: the menu's items trigger the
// frame's actions, and a double-click posts the default one ("Show Calvoria").
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
    void setIcon(const QIcon& icon);
    void showIcon();
    void hideIcon();
    bool isIconShown() const;
    QString toolTip() const;
    QMenu* menu() const { return m_menu.get(); }

    // Whether hiding to the tray leaves a way back. Where it does not, the frame minimises
    // its window instead of hiding it, and animateToTray does the same.
    bool canHideToTray() const;

    // The mouse on the icon: a double-click posts the default command (once, though some
    // platforms send a click first); anything else is left to the icon (the menu) or ignored.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    // Ends with the window hidden (minimised where there is no notification area).
    void animateToTray(QWidget* window, bool force = false);
    // Ends with the window restored, raised and active.
    void animateFromTray(QWidget* window, bool force = false);
    CTrayAnimator& animator() { return *m_animator; }

private:
    QRect notificationArea(const QWidget* window) const;

    std::function<bool()> m_trayAvailable;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    CTrayAnimator* m_animator;
    QPointer<QAction> m_defaultCommand;
};
