// calvoria-tool news [CHANNEL] [--unread] [--limit N] and mark-read: the news of a data
// folder, newest first.
#include "DataCommand.h"
#include "StoredNews.h"
#include "ToolCommands.h"

#include <QTextStream>
#include <algorithm>
#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

struct NewsEntry
{
    CRefPtr<CRssItem> item;
    CRssChannel* channel;
    qint64 time = 0;
    // Made on the reading threads when every entry is shown: the row for JSON, or else the
    // printed line, the item then being let go there too.
    ToolRow row;
    QByteArray line;
};

enum class Shown {
    Later, // only some entries are shown: completed by the caller
    Rows,
    Lines,
};

bool Newer(const NewsEntry& a, const NewsEntry& b)
{
    return a.time > b.time;
}

ToolRow RowOf(const NewsEntry& entry)
{
    const CRssItem& item = *entry.item;
    return {ItemId(item), IsoTime(item.publicationTime), entry.channel->Name(), item.DisplayTitle(),
            item.Link(), QString::fromLatin1(StateName(item.State())), item.unread};
}

// The items not deleted of the channels, newest first.
std::vector<NewsEntry> NewsOf(const std::vector<CRefPtr<CRssChannel>>& channels, bool unreadOnly)
{
    std::vector<NewsEntry> news;
    for (const CRefPtr<CRssChannel>& channel : channels) {
        std::lock_guard lock(channel->ChildrenLock());
        for (const CRefPtr<CRssNode>& node : channel->LockedChildren()) {
            auto* item = NodeCast<CRssItem>(node.get());
            if (item && !item->deleted && (!unreadOnly || item->unread))
                news.push_back({CRefPtr<CRssItem>(item), channel.get(), item->publicationTime, {}, {}});
        }
    }
    std::stable_sort(news.begin(), news.end(), Newer);
    return news;
}

// The same from the channel files as stored; false when a file needs the loader. Two
// threads share the files.
bool StoredNewsOf(CFeedContext& context, const std::vector<CRefPtr<CRssChannel>>& channels,
                  bool unreadOnly, Shown shown, std::vector<NewsEntry>& news)
{
    constexpr size_t kThreads = 2;
    std::vector<std::vector<NewsEntry>> parts(kThreads);
    std::atomic<bool> ok{true};
    const auto read = [&](size_t part) {
        std::vector<CRefPtr<CRssItem>> items;
        for (size_t i = part; i < channels.size() && ok; i += kThreads) {
            items.clear();
            if (!ReadStoredNews(channels[i]->FilePath(), context, *channels[i], unreadOnly, items))
                ok = false;
            for (CRefPtr<CRssItem>& item : items) {
                NewsEntry entry{std::move(item), channels[i].get(), 0, {}, {}};
                entry.time = entry.item->publicationTime;
                if (shown != Shown::Later) {
                    CompleteStoredItem(*entry.item);
                    entry.row = RowOf(entry);
                }
                if (shown == Shown::Lines) {
                    entry.line = RowLine(entry.row);
                    entry.row.clear();
                    entry.item.reset();
                }
                parts[part].push_back(std::move(entry));
            }
        }
    };
    std::thread helper(read, 1);
    read(0);
    helper.join();
    if (!ok)
        return false;
    // Back in tree order, so that equal times keep the order the loader gives them.
    std::vector<size_t> next(kThreads, 0);
    for (size_t i = 0; i < channels.size(); ++i) {
        std::vector<NewsEntry>& part = parts[i % kThreads];
        size_t& at = next[i % kThreads];
        while (at < part.size() && part[at].channel == channels[i].get())
            news.push_back(std::move(part[at++]));
    }
    std::stable_sort(news.begin(), news.end(), Newer);
    return true;
}

int RunNewsCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--limit"_s}, {u"--unread"_s, u"--json"_s});
    if (!options.Ok())
        return UsageError("news", options.Error());
    if (options.Positional().size() > 1)
        return UsageError("news", u"give at most one channel"_s);
    bool numeric = true;
    const int limit = options.Has(u"--limit"_s) ? options.Value(u"--limit"_s).toInt(&numeric) : -1;
    if (!numeric || (options.Has(u"--limit"_s) && limit < 0))
        return UsageError("news", u"--limit needs a number of 0 or more"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    // The news are read from the channel files as stored, without building the channels.
    std::vector<CRefPtr<CRssChannel>> channels;
    if (!session.OpenChannels(options.Value(u"--data"_s), options.Positional().value(0), channels,
                              err, false))
        return 1;
    const bool unreadOnly = options.Has(u"--unread"_s);
    const bool json = options.Has(u"--json"_s);
    const QStringList columns{u"id"_s,   u"date"_s,  u"channel"_s, u"title"_s,
                              u"link"_s, u"voice"_s, u"unread"_s};
    std::vector<NewsEntry> news;
    const Shown shown = limit >= 0 ? Shown::Later : json ? Shown::Rows : Shown::Lines;
    const bool stored = StoredNewsOf(session.Context(), channels, unreadOnly, shown, news);
    if (!stored) { // a file only the loader can read: load them all
        session.Doc().WaitForChannels();
        news = NewsOf(channels, unreadOnly);
    }
    if (limit >= 0 && size_t(limit) < news.size())
        news.resize(size_t(limit));
    if (stored && shown == Shown::Lines) {
        std::vector<QByteArray> lines;
        lines.reserve(news.size());
        for (NewsEntry& entry : news)
            lines.push_back(std::move(entry.line));
        PrintRowLines(out, columns, lines);
        return 0;
    }
    if (stored && shown == Shown::Later)
        for (const NewsEntry& entry : news)
            CompleteStoredItem(*entry.item);
    std::vector<ToolRow> rows;
    rows.reserve(news.size());
    for (NewsEntry& entry : news)
        rows.push_back(entry.row.isEmpty() ? RowOf(entry) : std::move(entry.row));
    PrintRows(out, columns, rows, json);
    return 0;
}

int RunMarkReadCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--channel"_s}, {u"--all"_s});
    if (!options.Ok())
        return UsageError("mark-read", options.Error());
    const int ways = int(!options.Positional().isEmpty()) + int(options.Has(u"--channel"_s)) +
                     int(options.Has(u"--all"_s));
    if (ways != 1)
        return UsageError("mark-read", u"give item ids, or --channel C, or --all"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    std::vector<CRefPtr<CRssChannel>> channels;
    if (!session.OpenChannels(options.Value(u"--data"_s), options.Value(u"--channel"_s), channels,
                              err))
        return 1;
    QStringList ids;
    for (const QString& id : options.Positional())
        ids << id.toUpper();
    int marked = 0;
    QStringList found;
    for (const NewsEntry& entry : NewsOf(channels, false)) {
        if (!ids.isEmpty()) {
            const QString id = ItemId(*entry.item);
            if (!ids.contains(id))
                continue;
            found << id;
        }
        if (entry.item->unread) {
            entry.item->SetUnread(false, ChannelCounts::Recount);
            ++marked;
        }
    }
    int missing = 0;
    for (const QString& id : ids)
        if (!found.contains(id)) {
            err << "no news item " << id << '\n';
            ++missing;
        }
    const bool saved = marked == 0 || session.Save(err);
    out << "marked read\t" << marked << '\n';
    return saved && missing == 0 ? 0 : 1;
}

const ToolCommandRegistration kNews{
    {"news",
     "[CHANNEL] [--unread] [--limit N] [--data DIR] [--json]\n"
     "the news, newest first: id TAB date TAB channel TAB title TAB link TAB voice TAB unread",
     RunNewsCommand,
     "  CHANNEL      a channel's address or name (default: every channel)\n"
     "  --unread     only the unread news\n"
     "  --limit N    at most N lines\n"
     "  voice is none, page-cached, download-pending, ready, failed, file-missing or\n"
     "  podcast-pending; unread is 1 or 0; dates are UTC.\n"}};
const ToolCommandRegistration kMarkRead{
    {"mark-read",
     "ID...|--channel C|--all [--data DIR]\n"
     "mark news read: the items with these ids (from news), a channel's, or all",
     RunMarkReadCommand}};

} // namespace
