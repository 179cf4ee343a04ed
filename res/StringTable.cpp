#include "StringTable.h"

#include <algorithm>
#include <array>

namespace {

// Keep the table sorted by number: lookups are a binary search, and a static_assert
// below refuses an unsorted or duplicated entry.
constexpr std::array kStrings = std::to_array<StringTableEntry>({
    // Start-up failures, shown in a message box and logged.
    {100, u"OLE initialization failed.  Make sure that the OLE libraries are the correct "
          u"version."},
    {104, u"Windows sockets initialization failed."},
    {105, u"MP3 encoder initialization failed."},
    {106, u"Cannot create internal folders. Make sure you have access rights."},
    {109, u"Microsoft XML parser initialization failed. Please, reinstall MSXML."},

    // Description of the document type. Only the first field, the window title, shows.
    {128, u"Calvoria"},

    // Tree, headers, captions and dialog statuses.
    {130, u"Favorite Channels"},
    {132, u"My Channels"},
    {133, u"Options"},
    {134, u"Select destination folder"},
    {135, u"Your default removable device was not found. You can select another device from "
          u"the list of available devices."},
    {138, u"Working"},
    {139, u"Verification failed"},
    {140, u"My Feeds"},
    {141, u"Saved News"},
    {142, u"Search Result"},

    // News list column headers.
    {143, u"Title"},
    {144, u"Date"},
    {145, u"Author"},
    {146, u"Category"},
    {147, u"Source"},

    // Age of a news item, joined in this order: days, hours, minutes. The trailing
    // blanks separate the parts.
    {151, u"1 day "},
    {152, u"1 hour "},
    {153, u"%d hours "},
    {154, u"%d days "},
    {155, u"%d minutes ago"},

    // Tool bar button labels.
    {156, u"Find"},
    {157, u"New Channel"},
    {158, u"Synchronize"},
    {159, u"Update All"},

    // Removable devices and synchronisation.
    {160, u"Removable disk"},
    {161, u"No any prepared news were found for coping. Please try again later."},
    {162, u"Please, connect your mobile device to PC in order to start synchronization."},
    {163, u"You do not select any news to copy."},
    {164, u"Not enough space on removable device. Please uncheck some news."},
    {165, u"Cannot create destination folder."},

    // The item that stands in for an empty search result: title and page text.
    {167, u"Did not find any news."},
    {168, u"Your search did not match any news. <br /><br /> Suggestions: <ul><li>Try "
          u"different keywords.</li><li>Try more general keywords.</li></ul>"},

    // Status bar panes: the sizing texts that fix each pane's width, then the text shown
    // in the news count pane.
    {32856, u"000"},
    {32857, u"000"},
    {32858, u"Total 0000, unread 000"},
    {32859, u"Total %d, unread %d"},

    // Questions asked before changing the feed tree.
    {60000, u"Are you sure you want to delete this channel?"},
    {60001, u"Are you sure you want to delete this group and all subchannels?"},
    {60002, u"Do you want to convert existing news to voice?"},
});

constexpr bool SortedAndUnique()
{
    return std::ranges::adjacent_find(kStrings, [](const auto& a, const auto& b) {
               return a.id >= b.id;
           }) == kStrings.end();
}
static_assert(SortedAndUnique(), "string table ids must be sorted and unique");

} // namespace

QString LoadString(int id)
{
    const auto it = std::ranges::lower_bound(kStrings, id, {}, &StringTableEntry::id);
    if (it == kStrings.end() || it->id != id)
        return {};
    return QStringView(it->text).toString();
}

std::span<const StringTableEntry> StringTableEntries()
{
    return kStrings;
}
