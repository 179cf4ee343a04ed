#pragma once

#include "CommandIds.h"

#include <QList>
#include <QObject>

class CCommandTable;
class QMenuBar;

// What an update handler may set for a command.
struct CommandState
{
    bool enabled = true;
    bool checked = false;
};

// A view, the frame or the application: anything that handles commands.
class ICommandTarget
{
public:
    virtual ~ICommandTarget() = default;
    virtual bool HandlesCommand(Command id) const = 0;
    virtual void RunCommand(Command id) = 0;
    // Only called for a command the target handles; leaves the state alone by default.
    virtual void UpdateCommand(Command id, CommandState& state)
    {
        (void)id;
        (void)state;
    }
};

// Offers each command first to the active view, then to the other views in the order
// they were added, then to the frame, then to the application; the first that handles it
// runs it and answers its update request. A command nobody handles is disabled.
// Targets are not owned: remove a view before it goes away.
class CCommandRouter : public QObject
{
    Q_OBJECT

public:
    explicit CCommandRouter(QObject* parent = nullptr);

    void addView(ICommandTarget* view);
    void removeView(ICommandTarget* view);
    void setActiveView(ICommandTarget* view); // must be an added view, or null
    void setFrame(ICommandTarget* frame);
    void setApplication(ICommandTarget* application);

    // The target that gets the command, or null.
    ICommandTarget* targetFor(Command id) const;

    // Runs the command at its target; false when nobody handles it.
    bool route(Command id);

    // Sends the table's triggered actions here (pass null to stop updating them).
    void attach(const CCommandTable* table);

    // Updates the actions each time a menu of the bar (or one of its submenus) opens.
    void updateOnMenuOpen(QMenuBar* bar);

    // Enables and checks every action of the attached table through the update handlers.
    void updateActions();

Q_SIGNALS:
    // A command ran at its target.
    void routed(Command id);

private:
    QList<ICommandTarget*> order() const;

    QList<ICommandTarget*> m_views;
    ICommandTarget* m_active = nullptr;
    ICommandTarget* m_frame = nullptr;
    ICommandTarget* m_application = nullptr;
    const CCommandTable* m_table = nullptr;
};
