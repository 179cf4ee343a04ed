#pragma once

#include <QHash>
#include <QObject>

class QAction;
class QMenuBar;
class QWidget;

// One action per command: text, shortcut, status-bar prompt and tool tip, all from the
// command data and the string table. The action's data() holds the command id.
class CCommandTable : public QObject
{
    Q_OBJECT

public:
    explicit CCommandTable(QObject* parent = nullptr);

    QAction* action(int id) const;
    QList<int> ids() const;

    // Fills the bar with the main menu (titles, order, separators, submenus).
    void buildMainMenu(QMenuBar* bar) const;

    // Puts every action with a shortcut on the widget, so accelerators that have no menu
    // item (Enter) work too.
    void addShortcutsTo(QWidget* widget) const;

    // The prompt before the line feed of the command's string, and the tip after it.
    static QString prompt(int id);
    static QString toolTip(int id);

private:
    QHash<int, QAction*> m_actions;
    QList<int> m_ids;
};
