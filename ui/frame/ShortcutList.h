#pragma once

#include "CommandTable.h"

#include <QList>
#include <QString>

#include <span>
#include <string_view>

// One line of the keyboard shortcuts list: what a person reads to find how to do something.
struct ShortcutRow
{
    Command id;
    QString command; // the menu text without its mnemonic and without the shortcut part
    QString keys;    // in the platform's own words ("Ctrl+F5"), empty where there are none
    QString place;   // where the command is found: its menu path, or the window part
    QString prompt;
};

// Keys the main window handles itself, not through a command: the frame makes its
// shortcuts from this list, and the shortcuts window lists them.
struct PaneKey
{
    int step;              // +1 the next pane takes the keyboard, -1 the previous one
    std::string_view keys; // QKeySequence portable form
    std::u16string_view text;
    std::u16string_view prompt;
};
std::span<const PaneKey> PaneKeys();

// Every command a person can give from the menus, bars or keys, in the order of the main
// menu, then the others in table order, then the pane keys. Built from the table each time,
// so a command added to the table shows here without further work.
QList<ShortcutRow> ShortcutRows(std::span<const CommandEntry> commands = CommandEntries(),
                                std::span<const MenuLine> menu = MainMenuLines(),
                                std::span<const TrayMenuLine> tray = TrayMenuLines(),
                                std::span<const PaneKey> paneKeys = PaneKeys());

// "&Open" → "Open", "Save && quit" → "Save & quit".
QString WithoutMnemonic(const QString& text);
