#include "SyncSelection.h"

#include "CRssChannel.h"
#include "CRssGroup.h"

#include <QFileInfo>

namespace {

void CollectChannel(CRssChannel& channel, std::vector<SyncRow>& rows)
{
    const size_t heading = rows.size();
    std::lock_guard lock(channel.ChildrenLock());
    for (const CRefPtr<CRssNode>& node : channel.LockedChildren()) {
        auto* item = NodeCast<CRssItem>(node.get());
        if (!item || item->deleted || item->State() != RssItemState::Ready)
            continue;
        const QString mp3 = item->Mp3File();
        const QFileInfo file(mp3);
        if (!file.isFile())
            continue;
        if (rows.size() == heading) {
            SyncRow title;
            title.heading = true;
            title.title = channel.Name();
            rows.push_back(std::move(title));
        }
        rows.push_back({false, item->DisplayTitle(), item->publicationTime, file.size(), mp3,
                        CRefPtr<CRssItem>(item), true});
    }
}

void CollectFrom(CRssNode& node, std::vector<SyncRow>& rows)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (child->IsGroup())
            CollectFrom(*child, rows);
        else if (auto* channel = NodeCast<CRssChannel>(child.get()))
            CollectChannel(*channel, rows);
    }
}

} // namespace

std::vector<SyncRow> CollectSyncRows(CRssGroup& root)
{
    std::vector<SyncRow> rows;
    CollectFrom(root, rows);
    return rows;
}

std::vector<SyncRow> CollectSyncRows(const std::vector<CRefPtr<CRssChannel>>& channels)
{
    std::vector<SyncRow> rows;
    for (const CRefPtr<CRssChannel>& channel : channels)
        CollectChannel(*channel, rows);
    return rows;
}
