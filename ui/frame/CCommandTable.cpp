#include "CCommandTable.h"

#include "CommandTable.h"
#include "StringTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace {

QString fromView(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

CCommandTable::CCommandTable(QObject* parent) : QObject(parent)
{
    for (const CommandEntry& command : CommandEntries()) {
        const QString text = fromView(command.text);
        auto* action = new QAction(text.section(u'\t', 0, 0), this);
        action->setData(command.id);
        if (!command.keys.empty())
            action->setShortcut(
                QKeySequence(QString::fromLatin1(command.keys.data(), qsizetype(command.keys.size()))));
        action->setStatusTip(prompt(command.id));
        action->setToolTip(toolTip(command.id));
        m_actions.insert(command.id, action);
        m_ids.append(command.id);
    }
}

QAction* CCommandTable::action(int id) const
{
    return m_actions.value(id);
}

QList<int> CCommandTable::ids() const
{
    return m_ids;
}

void CCommandTable::buildMainMenu(QMenuBar* bar) const
{
    // Open menus by depth: menus[d] receives the lines of depth d + 1.
    QList<QMenu*> menus;
    for (const MenuLine& line : MainMenuLines()) {
        menus.resize(line.depth);
        QMenu* parent = line.depth > 0 ? menus.value(line.depth - 1) : nullptr;
        if (line.depth > 0 && parent == nullptr)
            continue; // a line without its menu: a broken table, skip it
        if (line.id == 0 && !line.title.empty()) {
            QMenu* menu = parent != nullptr ? parent->addMenu(fromView(line.title))
                                            : bar->addMenu(fromView(line.title));
            menus.append(menu);
        } else if (parent == nullptr)
            continue;
        else if (line.id == 0)
            parent->addSeparator();
        else if (QAction* act = action(line.id))
            parent->addAction(act);
    }
}

void CCommandTable::addShortcutsTo(QWidget* widget) const
{
    for (int id : m_ids) {
        QAction* act = m_actions.value(id);
        if (!act->shortcut().isEmpty())
            widget->addAction(act);
    }
}

QString CCommandTable::prompt(int id)
{
    return LoadString(id).section(u'\n', 0, 0);
}

QString CCommandTable::toolTip(int id)
{
    const QString text = LoadString(id);
    return text.contains(u'\n') ? text.section(u'\n', 1) : QString();
}
