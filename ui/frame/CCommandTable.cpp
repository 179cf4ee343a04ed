#include "CCommandTable.h"

#include "CRssFullBar.h"
#include "CommandTable.h"

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
        if (command.owner == CommandOwner::ChannelTreeRow)
            continue;
        auto* action = new QAction(text(command.id), this);
        action->setData(CommandNumber(command.id));
        if (!command.keys.empty())
            action->setShortcut(
                QKeySequence(QString::fromLatin1(command.keys.data(), qsizetype(command.keys.size()))));
        action->setStatusTip(prompt(command.id));
        action->setToolTip(toolTip(command.id));
        m_actions.insert(CommandNumber(command.id), action);
        m_ids.append(command.id);
    }
}

QAction* CCommandTable::action(Command id) const
{
    return m_actions.value(CommandNumber(id));
}

QList<Command> CCommandTable::ids() const
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
        if (line.id == Command::None && !line.title.empty()) {
            QMenu* menu = parent != nullptr ? parent->addMenu(fromView(line.title))
                                            : bar->addMenu(fromView(line.title));
            menus.append(menu);
        } else if (parent == nullptr)
            continue;
        else if (line.id == Command::None)
            parent->addSeparator();
        else if (QAction* act = action(line.id))
            parent->addAction(act);
    }
}

void CCommandTable::addShortcutsTo(QWidget* widget) const
{
    for (Command id : m_ids) {
        QAction* act = action(id);
        if (!act->shortcut().isEmpty())
            widget->addAction(act);
    }
}

QString CCommandTable::text(Command id)
{
    const CommandEntry* entry = FindCommand(id);
    return entry ? fromView(entry->text).section(u'\t', 0, 0) : QString();
}

QString CCommandTable::prompt(Command id)
{
    const CommandEntry* entry = FindCommand(id);
    return entry ? fromView(entry->prompt) : QString();
}

QString CCommandTable::toolTip(Command id)
{
    const CommandEntry* entry = FindCommand(id);
    return entry ? fromView(entry->tip) : QString();
}

QList<RssToolBarEntry> CCommandTable::toolBarLayout()
{
    QList<RssToolBarEntry> layout;
    for (const ToolBarSlot& slot : ToolBarSlots()) {
        const CommandEntry* entry = FindCommand(slot.id);
        layout.append({CommandNumber(slot.id), entry ? entry->image : -1});
    }
    return layout;
}
