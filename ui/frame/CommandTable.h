#pragma once

#include <span>
#include <string_view>

// The numbered commands shared by the main menu, the accelerators, the tool bar and the
// tray menu, and the layout of the main menu. Plain data; CCommandTable turns it into
// actions and menus.

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
};

struct CommandEntry
{
    int id;
    std::u16string_view text; // menu text; the part after a tab names the shortcut
    std::string_view keys;    // accelerator in QKeySequence portable form, or empty
    CommandOwner owner;
};

// One line of the main menu. A line with a title and no id opens a submenu whose lines
// follow with a depth one greater; a line with neither is a separator.
struct MenuLine
{
    int depth;
    int id;
    std::u16string_view title;
};

struct ToolBarButton
{
    int id;
    int labelString; // string-table number of the button label
};

std::span<const CommandEntry> CommandEntries();
const CommandEntry* FindCommand(int id);
std::span<const MenuLine> MainMenuLines();
std::span<const ToolBarButton> ToolBarButtons();
