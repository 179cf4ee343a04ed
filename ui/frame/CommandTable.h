#pragma once

#include "CommandIds.h"

#include <span>
#include <string_view>

// The one place that describes each command: its menu text, accelerator, status-bar
// prompt, tool tip and tool bar image, and the layouts of the main menu, the tool bar and
// the tray menu. Plain data; CCommandTable turns it into actions and menus.

// Who carries out a command. The router still asks every target in routing order; the
// owner says which target is expected to answer.
enum class CommandOwner
{
    Application,
    Frame,
    Document,
    ChannelTree,
    NewsList,
    ReadingPane,
    // A row menu of the channel tree: run on the row clicked, never routed, no action.
    ChannelTreeRow,
};

struct CommandEntry
{
    Command id;
    std::u16string_view text; // menu text; the part after a tab names the shortcut
    std::string_view keys;    // accelerator in QKeySequence portable form, or empty
    CommandOwner owner;
    std::u16string_view prompt; // status-bar prompt
    std::u16string_view tip;    // tool tip
    int image = -1;             // image in the tool bar strips, or -1
};

// One line of the main menu. A line with a title and no command opens a submenu whose
// lines follow with a depth one greater; a line with neither is a separator.
struct MenuLine
{
    int depth;
    Command id;
    std::u16string_view title;
};

// One place of the tool bar: a command (None for a separator) and the string-table number
// of its label, 0 for none.
struct ToolBarSlot
{
    Command id;
    int labelString = 0;
};

// One line of the tray menu: a command and its text there, or a separator (None).
struct TrayMenuLine
{
    Command id;
    std::u16string_view text;
};

std::span<const CommandEntry> CommandEntries();
const CommandEntry* FindCommand(Command id);
std::span<const MenuLine> MainMenuLines();
std::span<const ToolBarSlot> ToolBarSlots();
std::span<const TrayMenuLine> TrayMenuLines();
