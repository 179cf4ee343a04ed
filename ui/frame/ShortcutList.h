#pragma once

#include "CommandTable.h"

#include <QList>
#include <QString>

#include <span>

// One line of the keyboard shortcuts list: what a person reads to find how to do something.
struct ShortcutRow
{
    Command id;
    QString command; // the menu text without its mnemonic and without the shortcut part
    QString keys;    // in the platform's own words ("Ctrl+F5"), empty where there are none
    QString place;   // where the command is found: its menu path, or the window part
    QString prompt;
};

// Every command a person can give from the menus, bars or keys, in the order of the main
// menu, then the others in table order. Built from the table each time, so a command added
// to the table shows here without further work.
QList<ShortcutRow> ShortcutRows(std::span<const CommandEntry> commands = CommandEntries(),
                                std::span<const MenuLine> menu = MainMenuLines(),
                                std::span<const TrayMenuLine> tray = TrayMenuLines());

// "&Open" → "Open", "Save && quit" → "Save & quit".
QString WithoutMnemonic(const QString& text);
