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

    // Commands: status-bar prompt, line feed, tool tip.
    {32771, u"Change the program options\nOptions"},
    {32772, u"Subscribe to a new channel in the selected group\nNew Channel"},
    {32775, u"Create a new group in the selected group\nNew Group"},
    {32782, u"Show the reading pane at the right of the news list\nReading Pane Right"},
    {32783, u"Show the reading pane below the news list\nReading Pane Bottom"},
    {32784, u"Hide the reading pane\nHide Reading Pane"},
    {32785, u"Show or hide the preview lines of the news\nAutoPreview"},
    {32787, u"Sort the news by date\nArrange by Date"},
    {32788, u"Sort the news by title\nArrange by Title"},
    {32789, u"Sort the news by author\nArrange by Author"},
    {32790, u"Sort the news by category\nArrange by Category"},
    {32791, u"Sort the news by read state\nArrange by Read"},
    {32792, u"Sort the news by source\nArrange by Source"},
    {32793, u"Sort the news by voice state\nArrange by State"},
    {32795, u"Go back to the previous page\nBack"},
    {32796, u"Go forward to the next page\nForward"},
    {32797, u"Reload the page in the reading pane\nRefresh"},
    {32800, u"Open the help\nHelp"},
    {32801, u"Look for a newer version of Calvoria\nCheck for New Version"},
    {32803, u"Show or hide the Read column\nRead Column"},
    {32804, u"Show or hide the Date column\nDate Column"},
    {32805, u"Show or hide the Category column\nCategory Column"},
    {32806, u"Show or hide the Author column\nAuthor Column"},
    {32807, u"Show or hide the Source column\nSource Column"},
    {32809, u"Show or hide the State column\nState Column"},
    {32810, u"Mark the selected news as read or unread\nMark Read/Unread"},
    {32811, u"Delete the selected news\nDelete News"},
    {32812, u"Rename the selected group\nRename Group"},
    {32813, u"Change the properties of the selected channel\nChannel Properties"},
    {32814, u"Update the selected channel\nUpdate Channel"},
    {32815, u"Update all channels of the selected group\nUpdate Group"},
    {32816, u"Update all channels of all groups\nUpdate All"},
    {32823, u"Update this channel\nUpdate Channel"},
    {32824, u"Update all channels of this group\nUpdate Group"},
    {32825, u"Mark all news of this channel as read\nMark Channel as Read"},
    {32826, u"Mark all news of this group as read\nMark Group as Read"},
    {32827, u"Delete this channel and its stored news\nDelete Channel"},
    {32828, u"Change the properties of this channel\nChannel Properties"},
    {32829, u"Rename this group\nRename Group"},
    {32830, u"Delete this group and all its channels\nDelete Group"},
    {32831, u"Subscribe to a new channel in this group\nNew Channel"},
    {32832, u"Create a new group in this group\nNew Group"},
    {32834, u"Convert the selected news to voice\nConvert to Voice"},
    {32835, u"Move the prepared voice files to your removable device\nSynchronize"},
    {32837, u"Add the selected channel to the favorite channels\nAdd to Favorites"},
    {32838, u"Go to the previous unread news\nPrevious Unread News"},
    {32839, u"Go to the next unread news\nNext Unread News"},
    {32848, u"Show the main window\nShow Calvoria"},
    {32850, u"Search for specific word in all newsr\nSearch"},
    {32851, u"Open the selected news in your browser\nOpen in Browser"},
    {32852, u"Move the selected news to Saved News\nMove to Saved"},
    {32853, u"Remove the selected channel from the favorite channels\nRemove from Favorites"},
    {32854, u"Convert the news of this channel to voice as they arrive\nEnable Conversion"},
    {32855, u"Stop converting the news of this channel to voice\nDisable Conversion"},

    // Status bar panes: the sizing texts that fix each pane's width, then the text shown
    // in the news count pane.
    {32856, u"000"},
    {32857, u"000"},
    {32858, u"Total 0000, unread 000"},
    {32859, u"Total %d, unread %d"},

    {32861, u"Open the folder of the voice files\nExplore Voice Folder"},
    {32863, u"Save a copy of the voice file of the selected news\nSave Voice As"},
    {32864, u"Play the voice file of the selected news\nPlay News"},
    {32866, u"Download the podcast audio of the selected news\nDownload Podcast Audio"},
    {32867, u"Add the subscriptions of an OPML file from another news reader\nImport Subscriptions"},
    {32868, u"Save the subscriptions as an OPML file for another news reader\nExport Subscriptions"},
    {57664, u"Show the program information and version\nAbout"},
    {57665, u"Quit the program\nExit"},
    {59392, u"Show or hide the tool bar\nToggle Tool Bar"},
    {59393, u"Show or hide the status bar\nToggle Status Bar"},

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
