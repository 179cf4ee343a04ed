// calvoria-tool list [--group PATH] and groups: the subscriptions of a data folder.
#include "DataCommand.h"
#include "ToolCommands.h"

#include "StoredFile.h"
#include "XmlHelpers.h"

#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

struct StoredCounts {
    int unread = 0;
    int total = 0;
    bool ok = false;
};

// A channel's counts as its file stores them, without loading the news: the attributes of
// each item's start tag. The program's own files escape every '<' in text and have no
// CDATA, so "<item" there only ever starts an item; anything else is left to the loader.
StoredCounts CountStoredItems(const QString& path)
{
    StoredCounts counts;
    QByteArray bytes;
    const StoredRead read = ReadStoredFile(path, kMaxStoredFileBytes, bytes);
    if (read == StoredRead::Missing) {
        counts.ok = true; // the loader gives an empty channel too
        return counts;
    }
    const QByteArrayView text(bytes);
    if (read != StoredRead::Ok || !text.trimmed().endsWith("</rss>") || text.contains("<![CDATA["))
        return counts;
    qsizetype at = 0;
    while ((at = text.indexOf("<item", at)) >= 0) {
        at += 5;
        if (at >= text.size() || (text[at] != ' ' && text[at] != '>'))
            continue;
        const qsizetype end = text.indexOf('>', at);
        if (end < 0)
            return counts;
        const QByteArrayView tag = text.sliced(at, end - at);
        if (!tag.contains(" deleted=\"1\"")) {
            ++counts.total;
            counts.unread += tag.contains(" new=\"1\"");
        }
        at = end;
    }
    counts.ok = true;
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
    std::vector<StoredCounts> counts;
    for (const CRefPtr<CRssChannel>& channel : channels) {
        counts.push_back(CountStoredItems(channel->FilePath()));
        if (!counts.back().ok) { // a file only the loader can read: load them all
            session.Doc().WaitForChannels();
            break;
        }
    }
    std::vector<ToolRow> rows;
    for (size_t i = 0; i < channels.size(); ++i) {
        const CRssChannel& channel = *channels[i];
        const bool stored = i < counts.size() && counts[i].ok && !channel.FileRead();
        rows.push_back({channel.Name(), channel.Url(), stored ? counts[i].unread : channel.UnreadCount(),
                        stored ? counts[i].total : channel.TotalCount(),
                        GroupPath(channel.Parent().get())});
    }
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
