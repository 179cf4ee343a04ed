#include "CCommandTable.h"
#include "CSystemTray.h"
#include "CTrayAnimator.h"
#include "CommandTable.h"
#include "TrayBadge.h"
#include "TrayGeometry.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMap>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSet>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The main frame's side: its actions and the tray menu from the command table, counting
// how often each command fires.
struct FrameCommands
{
    FrameCommands()
    {
        actions = table.actionsByNumber();
        for (const TrayMenuLine& line : TrayMenuLines()) {
            menu.append({CommandNumber(line.id), line.text});
            if (QAction* action = table.action(line.id))
                QObject::connect(action, &QAction::triggered, &owner,
                                 [this, id = line.id] { ++fired[id]; });
        }
    }
    CCommandTable table;
    QObject owner;
    QList<RssTrayMenuEntry> menu;
    QHash<int, QAction*> actions;
    QMap<Command, int> fired;
};

} // namespace

TEST(SystemTray, MenuHoldsTheFrameCommandsUnderTheTrayTextsWithShowAsDefault)
{
    FrameCommands frame;
    frame.table.action(Command::UpdateAllGroups)->setEnabled(false);
    CSystemTray tray(nullptr, [] { return true; });
    ASSERT_TRUE(tray.create(frame.menu, frame.actions, u"Calvoria"_s));
    EXPECT_EQ(tray.toolTip(), u"Calvoria"_s);
    EXPECT_FALSE(tray.isIconShown()) << "the icon is created hidden";

    const QList<QAction*> items = tray.menu()->actions();
    const QStringList expected = {u"Show Calvoria"_s, {}, u"Update &all groups"_s,
                                  u"&Options"_s,      {}, u"&About Calvoria..."_s,
                                  u"Exit"_s};
    ASSERT_EQ(items.size(), expected.size());
    for (int i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->isSeparator(), expected[i].isEmpty()) << i;
        EXPECT_EQ(items[i]->text(), expected[i]) << i;
    }
    EXPECT_EQ(tray.menu()->defaultAction(), items[0]);
    EXPECT_EQ(items[0]->statusTip(), u"Show the main window"_s);
    EXPECT_EQ(items[6]->statusTip(), u"Quit the program"_s);

    // The items follow the frame's enabled state and fire the frame's commands.
    EXPECT_FALSE(items[2]->isEnabled());
    frame.table.action(Command::UpdateAllGroups)->setEnabled(true);
    EXPECT_TRUE(items[2]->isEnabled());
    items[6]->trigger();
    items[3]->trigger();
    EXPECT_EQ(frame.fired.value(Command::Exit), 1);
    EXPECT_EQ(frame.fired.value(Command::Options), 1);
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 0);

    // Without the restore command there is no tray.
    QHash<int, QAction*> withoutShow = frame.actions;
    withoutShow.remove(CommandNumber(Command::ShowWindow));
    CSystemTray broken(nullptr, [] { return true; });
    EXPECT_FALSE(broken.create(frame.menu, withoutShow, u"Calvoria"_s));
}

TEST(SystemTray, DoubleClickPostsExactlyOneRestoreAndTheIconShowsOnlyWithATray)
{
    FrameCommands frame;
    bool available = true;
    CSystemTray tray(nullptr, [&available] { return available; });
    ASSERT_TRUE(tray.create(frame.menu, frame.actions, u"Calvoria"_s));
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkBlue);
    tray.setIcon(QIcon(pixmap));

    // The click that comes before the double-click, the menu click and the middle button
    // restore nothing; the double-click restores once, after the click is handled.
    tray.handleActivation(QSystemTrayIcon::Trigger);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    tray.handleActivation(QSystemTrayIcon::Context);
    tray.handleActivation(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 0)
        << "the restore is posted, not run inside the click";
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 1);
    tray.handleActivation(QSystemTrayIcon::Trigger);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 2);
    for (Command id : {Command::UpdateAllGroups, Command::Options, Command::About, Command::Exit})
        EXPECT_EQ(frame.fired.value(id), 0) << CommandNumber(id);

    EXPECT_TRUE(tray.canHideToTray());
    tray.showIcon();
    EXPECT_TRUE(tray.isIconShown());
    tray.hideIcon();
    EXPECT_FALSE(tray.isIconShown());

    // No notification area: the icon stays hidden and hiding to the tray minimises.
    available = false;
    EXPECT_FALSE(tray.canHideToTray());
    tray.showIcon();
    EXPECT_FALSE(tray.isIconShown());
    QWidget window;
    window.show();
    tray.animateToTray(&window);
    EXPECT_TRUE(window.isMinimized());
    EXPECT_TRUE(window.isVisible()) << "a minimised window can still be reached";
    tray.animateFromTray(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SystemTray, NotificationAreaIsTheIconOrThePanelCornerOrTheWorkAreaCorner)
{
    const QRect screen(0, 0, 1920, 1080);
    // The tray host tells where the icon is.
    EXPECT_EQ(NotificationAreaRect(QRect(1800, 1050, 24, 24), screen, QRect(0, 0, 1920, 1040)),
              QRect(1800, 1050, 24, 24));
    // A panel at the bottom (40 px), at the top (32 px), at the right and at the left (64 px).
    EXPECT_EQ(NotificationAreaRect({}, screen, QRect(0, 0, 1920, 1040)),
              QRect(QPoint(1819, 1040), QPoint(1903, 1079)));
    EXPECT_EQ(NotificationAreaRect({}, screen, QRect(0, 32, 1920, 1048)),
              QRect(QPoint(1819, 0), QPoint(1903, 31)));
    EXPECT_EQ(NotificationAreaRect({}, screen, QRect(0, 0, 1856, 1080)),
              QRect(QPoint(1856, 979), QPoint(1919, 1063)));
    EXPECT_EQ(NotificationAreaRect({}, screen, QRect(64, 0, 1856, 1080)),
              QRect(QPoint(0, 979), QPoint(63, 1063)));
    // No panel: the bottom right corner of the work area.
    EXPECT_EQ(NotificationAreaRect({}, screen, screen),
              QRect(QPoint(1769, 1049), QPoint(1919, 1079)));
}

TEST(SystemTray, AnimationsRunOnlyWhenWantedAndLeaveTheWindowAsItWas)
{
    FrameCommands frame;
    CSystemTray tray(nullptr, [] { return true; });
    ASSERT_TRUE(tray.create(frame.menu, frame.actions, u"Calvoria"_s));
    CTrayAnimator& animator = tray.animator();
    QWidget window;
    const QRect own(200, 150, 640, 480);
    window.setGeometry(own);
    window.show();

    // A desktop that asks for no motion (its general UI effects off) gets none.
    const bool effects = QApplication::isEffectEnabled(Qt::UI_General);
    QApplication::setEffectEnabled(Qt::UI_General, false);
    EXPECT_FALSE(animator.animationsWanted(&window));
    tray.animateToTray(&window);
    EXPECT_FALSE(animator.isRunning());
    EXPECT_FALSE(window.isVisible());
    tray.animateFromTray(&window);
    EXPECT_FALSE(animator.isRunning());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), own);
    // An explicit setting wins over the desktop.
    QApplication::setEffectEnabled(Qt::UI_General, true);
    animator.setMotion(CTrayAnimator::Motion::Off);
    EXPECT_FALSE(animator.animationsWanted(&window));
    animator.setMotion(CTrayAnimator::Motion::On);
    EXPECT_TRUE(animator.animationsWanted(&window));
    QApplication::setEffectEnabled(Qt::UI_General, effects);

    // With motion the window shrinks away, then is hidden at its own geometry, opaque.
    QSignalSpy finished(&animator, &CTrayAnimator::finished);
    tray.animateToTray(&window);
    EXPECT_TRUE(animator.isRunning());
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(finished.wait(3000));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.geometry(), own);
    EXPECT_EQ(window.windowOpacity(), 1.0);

    // It grows back out of the tray, and ends in place, opaque.
    tray.animateFromTray(&window);
    EXPECT_TRUE(animator.isRunning());
    EXPECT_TRUE(window.isVisible());
    EXPECT_LT(window.windowOpacity(), 1.0);
    ASSERT_TRUE(finished.wait(3000));
    EXPECT_EQ(window.geometry(), own);
    EXPECT_EQ(window.windowOpacity(), 1.0);

    // A restore during the shrink finishes the shrink first: the window ends shown, in place.
    tray.animateToTray(&window);
    QTest::qWait(50);
    tray.animateFromTray(&window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !animator.isRunning(); }, 3000));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), own);
    EXPECT_EQ(window.windowOpacity(), 1.0);
}

namespace {

QIcon PlainIcon()
{
    QPixmap picture(64, 64);
    picture.fill(QColor(0x20, 0x50, 0x90));
    return QIcon(picture);
}

QImage Image(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

int CountPixels(const QImage& image, QColor colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour;
    return count;
}

} // namespace

TEST(SystemTray, BadgeTellsEveryCountApartAtTraySizesAndIsAbsentAtZero)
{
    EXPECT_EQ(BadgeText(0), QString());
    EXPECT_EQ(BadgeText(-4), QString());
    EXPECT_EQ(BadgeText(7), u"7"_s);
    EXPECT_EQ(BadgeText(99), u"99"_s);
    EXPECT_EQ(BadgeText(100), u"99+"_s);

    const QIcon base = PlainIcon();
    // The panels' usual sizes, and ones between that some trays ask for.
    for (int size : {13, 16, 20, 22}) {
        const QImage plain = Image(base.pixmap(QSize(size, size), 1.0));
        EXPECT_EQ(Image(BadgedPixmap(base, size, 0)), plain) << size;
        EXPECT_EQ(Image(BadgedIcon(base, 0).pixmap(QSize(size, size), 1.0)), plain) << size;

        // Each count up to 99 draws its own digits, in white, on the corner only: the
        // picture's top left stays as it was.
        QSet<QByteArray> seen;
        for (int unread = 1; unread <= 100; ++unread) {
            const QImage badged = Image(BadgedPixmap(base, size, unread));
            ASSERT_EQ(badged.size(), QSize(size, size));
            EXPECT_NE(badged, plain) << size << " " << unread;
            EXPECT_GE(CountPixels(badged, Qt::white), 5) << size << " " << unread;
            EXPECT_EQ(badged.copy(0, 0, size / 2, size / 2), plain.copy(0, 0, size / 2, size / 2))
                << size << " " << unread;
            seen.insert(QByteArray(reinterpret_cast<const char*>(badged.constBits()),
                                   badged.sizeInBytes()));
        }
        EXPECT_EQ(seen.size(), 100) << "at " << size << " px every count looks different";
        EXPECT_EQ(Image(BadgedPixmap(base, size, 100)), Image(BadgedPixmap(base, size, 12345)))
            << "beyond 99 the badge says 99+";
        const QIcon badgedIcon = BadgedIcon(base, 3);
        EXPECT_EQ(Image(badgedIcon.pixmap(QSize(size, size), 1.0)),
                  Image(BadgedPixmap(base, size, 3)))
            << "the icon draws the badge for the size asked, not a scaled one";
        QPixmap painted(size, size);
        painted.fill(Qt::transparent);
        QPainter painter(&painted);
        badgedIcon.paint(&painter, painted.rect());
        painter.end();
        EXPECT_EQ(Image(painted), Image(BadgedPixmap(base, size, 3))) << size;
    }
}

TEST(SystemTray, TipAndBadgeFollowTheUnreadCount)
{
    FrameCommands frame;
    CSystemTray tray(nullptr, [] { return true; });
    ASSERT_TRUE(tray.create(frame.menu, frame.actions, u"Calvoria"_s));
    const QIcon base = PlainIcon();
    tray.setIcon(base);
    const QImage plain = Image(base.pixmap(QSize(16, 16), 1.0));
    EXPECT_EQ(Image(tray.shownIcon().pixmap(QSize(16, 16), 1.0)), plain);

    tray.setUnreadCount(12);
    EXPECT_EQ(tray.toolTip(), u"Calvoria \u2013 12 unread news"_s);
    EXPECT_EQ(Image(tray.shownIcon().pixmap(QSize(16, 16), 1.0)),
              Image(BadgedPixmap(base, 16, 12)));
    // A new picture (another theme) keeps the badge.
    QPixmap other(64, 64);
    other.fill(Qt::darkGreen);
    tray.setIcon(QIcon(other));
    EXPECT_EQ(Image(tray.shownIcon().pixmap(QSize(22, 22), 1.0)),
              Image(BadgedPixmap(QIcon(other), 22, 12)));
    tray.setUnreadCount(0);
    EXPECT_EQ(tray.toolTip(), u"Calvoria"_s);
    EXPECT_EQ(Image(tray.shownIcon().pixmap(QSize(22, 22), 1.0)),
              Image(QIcon(other).pixmap(QSize(22, 22), 1.0)));
}

TEST(SystemTray, ClickShowsOrHidesTheWindowAndADoubleClickNeverTogglesTwice)
{
    QStyleHints* hints = QGuiApplication::styleHints();
    const int doubleClick = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(150);
    FrameCommands frame;
    bool hidden = true;
    CSystemTray tray(nullptr, [] { return true; });
    ASSERT_TRUE(tray.create(frame.menu, frame.actions, u"Calvoria"_s));
    tray.setWindowHidden([&hidden] { return hidden; });
    QSignalSpy hides(&tray, &CSystemTray::hideRequested);
    // The frame's side: the restore shows the window.
    QObject::connect(frame.table.action(Command::ShowWindow), &QAction::triggered, &frame.owner,
                     [&hidden] { hidden = false; });
    QObject::connect(&tray, &CSystemTray::hideRequested, &frame.owner,
                     [&hidden] { hidden = true; });

    // A click on a hidden window's icon shows it at once.
    tray.handleActivation(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 1);
    EXPECT_FALSE(hidden);
    // The same click's double-click (the window shows now) neither hides nor shows again.
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    QTest::qWait(300);
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 1);
    EXPECT_EQ(hides.count(), 0);
    EXPECT_FALSE(hidden);

    // A click on a shown window's icon hides it once the double-click time has passed.
    tray.handleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(hides.count(), 0) << "it waits to know whether a double-click comes";
    ASSERT_TRUE(hides.wait(1000));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 1);

    // A double-click on a shown window's icon keeps it shown and brings it forward.
    hidden = false;
    tray.handleActivation(QSystemTrayIcon::Trigger);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    QTest::qWait(300);
    EXPECT_EQ(hides.count(), 1);
    EXPECT_FALSE(hidden);
    EXPECT_EQ(frame.fired.value(Command::ShowWindow), 2);
    hints->setMouseDoubleClickInterval(doubleClick);
}
