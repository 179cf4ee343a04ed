#include "CommandTable.h"

#include <algorithm>
#include <array>

namespace {

// Sorted by id (checked below) so a lookup is a binary search.
constexpr std::array kCommands = std::to_array<CommandEntry>({
    {32771, u"&Options", "", CommandOwner::Frame},
    {32772, u"&New channel\tCtrl+N", "Ctrl+N", CommandOwner::ChannelTree},
    {32775, u"New &group\tCtrl+G", "Ctrl+G", CommandOwner::ChannelTree},
    {32782, u"&Right", "", CommandOwner::Frame},
    {32783, u"&Bottom", "", CommandOwner::Frame},
    {32784, u"&Hide", "", CommandOwner::Frame},
    {32785, u"Auto&Preview", "", CommandOwner::Frame},
    {32787, u"&Date", "", CommandOwner::NewsList},
    {32788, u"&Title", "", CommandOwner::NewsList},
    {32789, u"A&uthor", "", CommandOwner::NewsList},
    {32790, u"&Category", "", CommandOwner::NewsList},
    {32791, u"&Read", "", CommandOwner::NewsList},
    {32792, u"&Source", "", CommandOwner::NewsList},
    {32793, u"Stat&e", "", CommandOwner::NewsList},
    {32795, u"B&ack", "", CommandOwner::ReadingPane},
    {32796, u"&Forward", "", CommandOwner::ReadingPane},
    {32797, u"&Refresh", "", CommandOwner::ReadingPane},
    {32800, u"He&lp\tF1", "F1", CommandOwner::Frame},
    {32801, u"&Check for new version", "", CommandOwner::Frame},
    {32803, u"&Read", "", CommandOwner::NewsList},
    {32804, u"&Date", "", CommandOwner::NewsList},
    {32805, u"&Category", "", CommandOwner::NewsList},
    {32806, u"&Author", "", CommandOwner::NewsList},
    {32807, u"&Source", "", CommandOwner::NewsList},
    {32809, u"Stat&e", "", CommandOwner::NewsList},
    {32810, u"&Mark read/unread\tSpace", "Space", CommandOwner::NewsList},
    {32811, u"&Delete news\tDel", "Del", CommandOwner::NewsList},
    {32812, u"&Rename group", "", CommandOwner::ChannelTree},
    {32813, u"&Channel properties", "", CommandOwner::ChannelTree},
    {32814, u"Update &channel\tF5", "F5", CommandOwner::Document},
    {32815, u"Update &group\tCtrl+F5", "Ctrl+F5", CommandOwner::Document},
    {32816, u"Update &all groups\tCtrl+Shift+F5", "Ctrl+Shift+F5", CommandOwner::Document},
    {32834, u"Convert to voice", "", CommandOwner::NewsList},
    {32835, u"&Synchronize", "", CommandOwner::Frame},
    {32837, u"Add to favorities", "", CommandOwner::Document},
    {32838, u"Prev unread news", "", CommandOwner::NewsList},
    {32839, u"Next unread news\tCtrl+U", "Ctrl+U", CommandOwner::NewsList},
    {32848, u"Show Calvoria", "", CommandOwner::Frame},
    {32850, u"Search for news\tCtrl+F", "Ctrl+F", CommandOwner::Frame},
    {32851, u"Open in browser\tEnter", "Return", CommandOwner::NewsList},
    {32852, u"Moved to saved", "", CommandOwner::NewsList},
    {32853, u"Remove from favorities", "", CommandOwner::Document},
    {32861, u"Ex&plore voice folder", "", CommandOwner::Frame},
    {32863, u"&Save voice as ...", "", CommandOwner::NewsList},
    {32864, u"&Play news", "", CommandOwner::NewsList},
    {32866, u"Download podcast audio", "", CommandOwner::NewsList},
    {32867, u"&Import subscriptions...", "", CommandOwner::Frame},
    {32868, u"&Export subscriptions...", "", CommandOwner::Frame},
    {57664, u"&About Calvoria...", "", CommandOwner::Application},
    {57665, u"E&xit\tAlt+X", "Alt+X", CommandOwner::Application},
    {59392, u"&Tool bar", "", CommandOwner::Frame},
    {59393, u"&Status bar", "", CommandOwner::Frame},
});

static_assert(std::ranges::adjacent_find(kCommands, std::ranges::greater_equal{},
                                         &CommandEntry::id) == kCommands.end(),
              "keep the command table sorted by id without duplicates");

constexpr std::array kMainMenu = std::to_array<MenuLine>({
    {0, 0, u"&File"},
    {1, 32835, {}},
    {1, 32861, {}},
    {1, 0, {}},
    {1, 32772, {}},
    {1, 32775, {}},
    {1, 0, {}},
    {1, 32867, {}},
    {1, 32868, {}},
    {1, 0, {}},
    {1, 57665, {}},
    {0, 0, u"&Edit"},
    {1, 32810, {}},
    {1, 32811, {}},
    {1, 0, {}},
    {1, 32813, {}},
    {1, 32837, {}},
    {1, 32853, {}},
    {1, 0, {}},
    {1, 32812, {}},
    {0, 0, u"&View"},
    {1, 32839, {}},
    {1, 32838, {}},
    {1, 32850, {}},
    {1, 0, {}},
    {1, 0, u"&Arrange by"},
    {2, 32791, {}},
    {2, 32793, {}},
    {2, 32788, {}},
    {2, 32787, {}},
    {2, 32790, {}},
    {2, 32789, {}},
    {2, 32792, {}},
    {1, 0, u"&Columns"},
    {2, 32803, {}},
    {2, 32809, {}},
    {2, 32804, {}},
    {2, 32805, {}},
    {2, 32806, {}},
    {2, 32807, {}},
    {1, 0, {}},
    {1, 0, u"Reading pa&ne"},
    {2, 32784, {}},
    {2, 32782, {}},
    {2, 32783, {}},
    {1, 32785, {}},
    {1, 0, {}},
    {1, 59393, {}},
    {1, 59392, {}},
    {0, 0, u"&Browse"},
    {1, 32795, {}},
    {1, 32796, {}},
    {1, 32797, {}},
    {0, 0, u"&Tools"},
    {1, 0, u"&Update"},
    {2, 32814, {}},
    {2, 32815, {}},
    {2, 32816, {}},
    {1, 0, {}},
    {1, 32771, {}},
    {0, 0, u"&Help"},
    {1, 32800, {}},
    {1, 32801, {}},
    {1, 0, {}},
    {1, 57664, {}},
});

constexpr std::array kToolBar = std::to_array<ToolBarButton>({
    {32850, 156},
    {32772, 157},
    {32835, 158},
    {32816, 159},
});

} // namespace

std::span<const CommandEntry> CommandEntries()
{
    return kCommands;
}

const CommandEntry* FindCommand(int id)
{
    const auto* found = std::ranges::lower_bound(kCommands, id, {}, &CommandEntry::id);
    return found != kCommands.end() && found->id == id ? found : nullptr;
}

std::span<const MenuLine> MainMenuLines()
{
    return kMainMenu;
}

std::span<const ToolBarButton> ToolBarButtons()
{
    return kToolBar;
}
