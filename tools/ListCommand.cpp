// calvoria-tool list [--group PATH] and groups: the subscriptions of a data folder.
#include "DataCommand.h"
#include "ToolCommands.h"

#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

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
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    CRefPtr<CRssGroup> group = FindGroup(session.Root(), options.Value(u"--group"_s), false);
    if (!group) {
        err << "no group " << options.Value(u"--group"_s) << '\n';
        return 1;
    }
    std::vector<ToolRow> rows;
    for (const CRefPtr<CRssChannel>& channel : ChannelsBelow(*group))
        rows.push_back({channel->Name(), channel->Url(), channel->UnreadCount(),
                        channel->TotalCount(), GroupPath(channel->Parent().get())});
    PrintRows(out, {u"name"_s, u"url"_s, u"unread"_s, u"total"_s, u"group"_s}, rows,
              options.Has(u"--json"_s));
    return 0;
}

void CollectGroups(CRssGroup& group, std::vector<ToolRow>& rows)
{
    int channels = 0, unread = 0;
    for (const CRefPtr<CRssChannel>& channel : ChannelsBelow(group)) {
        ++channels;
        unread += channel->UnreadCount();
    }
    rows.push_back({GroupPath(&group), channels, unread});
    for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot())
        if (auto* sub = NodeCast<CRssGroup>(child.get()))
            CollectGroups(*sub, rows);
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
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    std::vector<ToolRow> rows;
    CollectGroups(session.Root(), rows);
    PrintRows(out, {u"group"_s, u"channels"_s, u"unread"_s}, rows, options.Has(u"--json"_s));
    return 0;
}

const ToolCommandRegistration kList{
    {"list", "[--group PATH] [--data DIR] [--json]\n"
             "the channels: name TAB url TAB unread TAB total TAB group",
     RunListCommand,
     "  --group PATH  only the channels in this group and below (\"News/Tech\")\n"
     "  --data DIR    a data folder other than the program's\n"
     "  --json        a JSON array instead of tab-separated lines\n"}};
const ToolCommandRegistration kGroups{
    {"groups", "[--data DIR] [--json]\n"
               "the groups: path TAB channels TAB unread (the root's path is empty)",
     RunGroupsCommand}};

} // namespace
