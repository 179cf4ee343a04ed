#include "CCommandRouter.h"

#include "CCommandTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

CCommandRouter::CCommandRouter(QObject* parent) : QObject(parent) {}

void CCommandRouter::addView(ICommandTarget* view)
{
    if (view != nullptr && !m_views.contains(view))
        m_views.append(view);
}

void CCommandRouter::removeView(ICommandTarget* view)
{
    m_views.removeAll(view);
    if (m_active == view)
        m_active = nullptr;
}

void CCommandRouter::setActiveView(ICommandTarget* view)
{
    m_active = m_views.contains(view) ? view : nullptr;
}

void CCommandRouter::setFrame(ICommandTarget* frame)
{
    m_frame = frame;
}

void CCommandRouter::setApplication(ICommandTarget* application)
{
    m_application = application;
}

QList<ICommandTarget*> CCommandRouter::order() const
{
    QList<ICommandTarget*> targets;
    if (m_active != nullptr)
        targets.append(m_active);
    for (ICommandTarget* view : m_views) {
        if (view != m_active)
            targets.append(view);
    }
    if (m_frame != nullptr)
        targets.append(m_frame);
    if (m_application != nullptr)
        targets.append(m_application);
    return targets;
}

ICommandTarget* CCommandRouter::targetFor(Command id) const
{
    for (ICommandTarget* target : order()) {
        if (target->HandlesCommand(id))
            return target;
    }
    return nullptr;
}

bool CCommandRouter::route(Command id)
{
    ICommandTarget* target = targetFor(id);
    if (target == nullptr)
        return false;
    // A disabled command is not run, even when its key reaches us before an update.
    CommandState state;
    target->UpdateCommand(id, state);
    if (!state.enabled)
        return false;
    target->RunCommand(id);
    Q_EMIT routed(id);
    return true;
}

void CCommandRouter::attach(const CCommandTable* table)
{
    m_table = table;
    if (table == nullptr)
        return;
    for (Command id : table->ids()) {
        QAction* action = table->action(id);
        connect(action, &QAction::triggered, this, [this, id] { route(id); });
    }
}

void CCommandRouter::updateActions()
{
    if (m_table == nullptr)
        return;
    for (Command id : m_table->ids()) {
        QAction* action = m_table->action(id);
        CommandState state;
        ICommandTarget* target = targetFor(id);
        if (target != nullptr)
            target->UpdateCommand(id, state);
        action->setEnabled(target != nullptr && state.enabled);
        action->setCheckable(state.checked || action->isCheckable());
        action->setChecked(state.checked);
    }
}

void CCommandRouter::updateOnMenuOpen(QMenuBar* bar)
{
    for (QMenu* menu : bar->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &CCommandRouter::updateActions);
}
