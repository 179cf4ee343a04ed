#pragma once

#include <QString>

#include <span>
#include <string_view>

// The program's numbered strings (messages, prompts, tool tips, captions). An unknown
// number gives an empty string.
//
// A command's entry holds its status-bar prompt, a line feed, and its tool tip. Texts
// with "%d" or "%1" placeholders are filled by the caller.
QString LoadString(int id);

struct StringTableEntry
{
    int id;
    std::u16string_view text;
};

// The whole table, sorted by number; for checks that walk every entry.
std::span<const StringTableEntry> StringTableEntries();
