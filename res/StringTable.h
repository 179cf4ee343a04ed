#pragma once

#include <QString>

#include <span>
#include <string_view>

// The program's numbered strings (messages, labels, captions). An unknown number gives an
// empty string. The commands' prompts and tool tips live in the command table. Texts with
// "%d" or "%1" placeholders are filled by the caller.
QString LoadString(int id);

struct StringTableEntry
{
    int id;
    std::u16string_view text;
};

// The whole table, sorted by number; for checks that walk every entry.
std::span<const StringTableEntry> StringTableEntries();
