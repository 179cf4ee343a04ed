#include "Newspaper.h"

#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "ChannelFile.h"
#include "NewsComparator.h"
#include "XmlHelpers.h"

#include <algorithm>
#include <functional>
#include <libxml/tree.h>
#include <limits>
#include <vector>

namespace {

constexpr int kChannelIndent = 2;

RssResult Attach(xmlDoc* doc, xmlNode* parent, xmlNode* paper)
{
    if (parent == reinterpret_cast<xmlNode*>(doc)) {
        if (xmlNode* old = xmlDocSetRootElement(doc, paper))
            xmlFreeNode(old);
    } else {
        xmlAddChild(parent, paper);
    }
    return kResultOk;
}

// Which news of a page's channels it holds: the newest `limit`, counted over all of them.
// News as new as the oldest one taken are taken in list order until the page is full.
class NewsQuota
{
public:
    NewsQuota(const std::vector<CRssChannel*>& channels, int limit) : m_left(std::max(limit, 0))
    {
        std::vector<qint64> times;
        for (CRssChannel* channel : channels) {
            std::lock_guard lock(channel->ChildrenLock());
            for (const CRefPtr<CRssNode>& node : channel->LockedChildren())
                if (const CRssItem* item = NodeCast<CRssItem>(node.get()); item && !item->deleted)
                    times.push_back(item->publicationTime);
        }
        if (qsizetype(times.size()) <= m_left || m_left == 0)
            return;
        const auto nth = times.begin() + (m_left - 1);
        std::nth_element(times.begin(), nth, times.end(), std::greater<>());
        m_cutoff = *nth;
        const auto newer =
            std::count_if(times.begin(), times.end(), [&](qint64 t) { return t > m_cutoff; });
        m_atCutoff = m_left - int(newer);
    }

    // Called once per news, under its channel's lock.
    bool Take(const CRssItem& item)
    {
        if (m_left == 0 || item.publicationTime < m_cutoff)
            return false;
        if (item.publicationTime == m_cutoff) {
            if (m_atCutoff == 0)
                return false;
            --m_atCutoff;
        }
        --m_left;
        return true;
    }

private:
    int m_left;
    qint64 m_cutoff = std::numeric_limits<qint64>::min();
    int m_atCutoff = std::numeric_limits<int>::max();
};

// The channel element with the news the quota gives it, in the news list's order, laid out
// as the sorted newspapers are.
void AppendPageChannel(xmlDoc* doc, xmlNode* paper, CRssChannel& channel, NewsQuota& quota)
{
    AppendLayout(doc, paper, kChannelIndent);
    xmlNode* element =
        AppendChannelElement(doc, paper, channel, ChannelItems::None, kChannelIndent);
    if (!element)
        return;
    const int sortValue = channel.Context() ? channel.Context()->Prefs().sortOrder.load() : 0;
    const int itemIndent = kChannelIndent + 2;
    qint64 more = 0;
    qint64 moreUnread = 0;
    {
        std::lock_guard lock(channel.ChildrenLock());
        std::vector<CRssItem*> shown;
        for (const CRefPtr<CRssNode>& node : channel.LockedChildren()) {
            CRssItem* item = NodeCast<CRssItem>(node.get());
            if (!item || item->deleted)
                continue;
            if (quota.Take(*item)) {
                shown.push_back(item);
            } else {
                ++more;
                moreUnread += item->unread ? 1 : 0;
            }
        }
        SortItems(shown, sortValue);
        for (const CRssItem* item : shown) {
            AppendLayout(doc, element, itemIndent);
            WriteItemElement(doc, AppendElement(doc, element, "item"), *item, itemIndent);
        }
    }
    if (more > 0) {
        SetAttribute(element, "more", QString::number(more));
        SetAttribute(element, "moreunread", QString::number(moreUnread));
    }
    AppendLayout(doc, element, kChannelIndent);
    AppendLayout(doc, paper, 0);
}

RssResult BuildItemNewspaper(CRssItem& item, xmlDoc* doc, xmlNode* parent)
{
    CRefPtr<CRssChannel> channel = item.Channel();
    if (!channel)
        return kGenericFailure;
    xmlNode* paper = AppendElement(doc, nullptr, "itemnewspaper");
    if (!paper)
        return kGenericFailure;
    xmlNode* element =
        AppendChannelElement(doc, paper, *channel, ChannelItems::None, kChannelIndent);
    if (element) {
        const int itemIndent = kChannelIndent + 2;
        AppendLayout(doc, element, itemIndent);
        WriteItemElement(doc, AppendElement(doc, element, "item"), item, itemIndent);
        AppendLayout(doc, element, kChannelIndent);
    }
    AppendLayout(doc, paper, 0);
    return Attach(doc, parent, paper);
}

RssResult BuildChannelNewspaper(CRssChannel& channel, xmlDoc* doc, xmlNode* parent, int newsLimit)
{
    xmlNode* paper = AppendElement(doc, nullptr, "channelnewspaper");
    if (!paper)
        return kGenericFailure;
    NewsQuota quota({&channel}, newsLimit);
    AppendPageChannel(doc, paper, channel, quota);
    return Attach(doc, parent, paper);
}

RssResult BuildGroupNewspaper(CRssGroup& group, xmlDoc* doc, xmlNode* parent, int newsLimit)
{
    xmlNode* paper = AppendElement(doc, nullptr, "groupnewspaper");
    if (!paper)
        return kGenericFailure;
    SetAttribute(paper, "title", group.Name());
    // Held, not locked: each channel locks its own news while the page takes them.
    const auto children = group.ChildrenSnapshot();
    std::vector<CRssChannel*> channels;
    for (const CRefPtr<CRssNode>& child : children)
        if (CRssChannel* channel = NodeCast<CRssChannel>(child.get()))
            channels.push_back(channel);
    NewsQuota quota(channels, newsLimit);
    for (CRssChannel* channel : channels)
        AppendPageChannel(doc, paper, *channel, quota);
    return Attach(doc, parent, paper);
}

} // namespace

RssResult BuildNewspaper(CRssNode& node, xmlDoc* doc, xmlNode* parent, int newsLimit)
{
    if (!doc || !parent)
        return kInvalidArgument;
    switch (node.Kind()) {
    case RssNodeKind::Item:
        return BuildItemNewspaper(static_cast<CRssItem&>(node), doc, parent);
    case RssNodeKind::Channel:
        return BuildChannelNewspaper(static_cast<CRssChannel&>(node), doc, parent, newsLimit);
    case RssNodeKind::Group:
        return BuildGroupNewspaper(static_cast<CRssGroup&>(node), doc, parent, newsLimit);
    }
    return kInvalidArgument;
}
