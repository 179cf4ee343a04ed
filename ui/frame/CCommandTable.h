#pragma once

#include "CommandIds.h"

#include <QHash>
#include <QObject>

struct RssToolBarEntry;
class QAction;
class QMenuBar;
class QWidget;

// One action per routed command: text, shortcut, status-bar prompt and tool tip, all from
// the command table. The action's data() holds the command's number.
class CCommandTable : public QObject
{
    Q_OBJECT

public:
    explicit CCommandTable(QObject* parent = nullptr);

    QAction* action(Command id) const;
    QList<Command> ids() const;
    // The actions by command number, for the tool bar and the tray menu.
    QHash<int, QAction*> actionsByNumber() const { return m_actions; }
    // The main tool bar's buttons in order, each with its command's image.
    static QList<RssToolBarEntry> toolBarLayout();

    // Fills the bar with the main menu (titles, order, separators, submenus).
    void buildMainMenu(QMenuBar* bar) const;

    // Puts every action with a shortcut on the widget, so accelerators that have no menu
    // item (Enter) work too.
    void addShortcutsTo(QWidget* widget) const;

    // The command's menu text without its shortcut, its status-bar prompt and its tip.
    static QString text(Command id);
    static QString prompt(Command id);
    static QString toolTip(Command id);

private:
    QHash<int, QAction*> m_actions;
    QList<Command> m_ids;
};
