// calvoria-tool list [--group PATH] and groups: the subscriptions of a data folder.
#include "DataCommand.h"
#include "ToolCommands.h"

#include "StoredNews.h"

#include <QTextStream>
#include <map>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

// The channels' counts as their files store them; when a file needs the loader, every
// channel is loaded and counted.
std::vector<StoredCounts> CountsOf(CDataSession& session,
                                   const std::vector<CRefPtr<CRssChannel>>& channels)
{
    std::vector<StoredCounts> counts(channels.size());
    for (size_t i = 0; i < channels.size(); ++i) {
        if (!CountStoredNews(channels[i]->FilePath(), counts[i])) {
            session.Doc().WaitForChannels();
            for (size_t j = 0; j < channels.size(); ++j)
                counts[j] = {channels[j]->UnreadCount(), channels[j]->TotalCount()};
            break;
        }
    }
    return counts;
}

int RunListCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--group"_s}, {u"--json"_s});
    if (!options.Ok())
        return UsageError("list", options.Error());
    if (!options.Positional().isEmpty())
        return UsageError("list", u"unexpected argument "_s + options.Positional().first());
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    // The counts come from the channel files as stored: the news need not be loaded.
    if (!session.Open(options.Value(u"--data"_s), err, false))
        return 1;
    CRefPtr<CRssGroup> group = FindGroup(session.Root(), options.Value(u"--group"_s), false);
    if (!group) {
        err << "no group " << options.Value(u"--group"_s) << '\n';
        return 1;
    }
    const std::vector<CRefPtr<CRssChannel>> channels = ChannelsBelow(*group);
    const std::vector<StoredCounts> counts = CountsOf(session, channels);
    std::vector<ToolRow> rows;
    for (size_t i = 0; i < channels.size(); ++i)
        rows.push_back({channels[i]->Name(), channels[i]->Url(), counts[i].unread, counts[i].total,
                        GroupPathValue(channels[i]->Parent().get())});
    PrintRows(out, {u"name"_s, u"url"_s, u"unread"_s, u"total"_s, u"group"_s}, rows,
              options.Has(u"--json"_s));
    return 0;
}

void CollectGroups(CRssGroup& group, const std::map<const CRssChannel*, StoredCounts>& counts,
                   std::vector<ToolRow>& rows)
{
    const std::vector<CRefPtr<CRssChannel>> channels = ChannelsBelow(group);
    int unread = 0;
    for (const CRefPtr<CRssChannel>& channel : channels)
        unread += counts.at(channel.get()).unread;
    rows.push_back({GroupPathValue(&group), int(channels.size()), unread});
    for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot())
        if (auto* sub = NodeCast<CRssGroup>(child.get()))
            CollectGroups(*sub, counts, rows);
}

int RunGroupsCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s}, {u"--json"_s});
    if (!options.Ok())
        return UsageError("groups", options.Error());
    if (!options.Positional().isEmpty())
        return UsageError("groups", u"unexpected argument "_s + options.Positional().first());
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err, false))
        return 1;
    const std::vector<CRefPtr<CRssChannel>> channels = ChannelsBelow(session.Root());
    const std::vector<StoredCounts> counted = CountsOf(session, channels);
    std::map<const CRssChannel*, StoredCounts> counts;
    for (size_t i = 0; i < channels.size(); ++i)
        counts[channels[i].get()] = counted[i];
    std::vector<ToolRow> rows;
    CollectGroups(session.Root(), counts, rows);
    PrintRows(out, {u"group"_s, u"channels"_s, u"unread"_s}, rows, options.Has(u"--json"_s));
    return 0;
}

const std::string kListDetails =
    std::string("  --group PATH  only the channels in this group and below (\"News/Tech\")\n"
                "  --data DIR    a data folder other than the program's\n"
                "  --json        a JSON array instead of tab-separated lines\n") +
    kGroupPathHelp;

const ToolCommandRegistration kList{
    {"list", "[--group PATH] [--data DIR] [--json]\n"
             "the channels: name TAB url TAB unread TAB total TAB group",
     RunListCommand, kListDetails.c_str()}};
const ToolCommandRegistration kGroups{
    {"groups", "[--data DIR] [--json]\n"
               "the groups: path TAB channels TAB unread (the root's path is empty)",
     RunGroupsCommand, kGroupPathHelp}};

} // namespace
