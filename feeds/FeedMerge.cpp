#include "FeedMerge.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

#include <libxml/tree.h>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace {

const xmlNode* StoredChannelElement(xmlDoc* doc)
{
    const xmlNode* root = xmlDocGetRootElement(doc);
    for (const xmlNode* node = root ? root->children : nullptr; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST "channel"))
            return node;
    }
    return nullptr;
}

// The voice attribute of a channel file's channel element; empty when there is none.
QString StoredChannelVoice(const xmlNode* channel)
{
    constexpr qsizetype kLongestVoice = 256; // an identifier, not a text
    const QString voice = channel ? Attribute(channel, "voice").trimmed() : QString();
    return voice.size() <= kLongestVoice ? voice : QString();
}

// A validator attribute of the channel element, as the server sent it.
QByteArray StoredValidator(const xmlNode* channel, const char* name)
{
    constexpr qsizetype kLongestValidator = 1024;
    const QByteArray value = channel ? Attribute(channel, name).toLatin1() : QByteArray();
    return value.size() <= kLongestValidator ? value : QByteArray();
}

// What one channel keeps is bounded, so that its file always stays readable: a live feed
// counts with its first items only, and items that have left the feed go from the end of a
// list that grew past the second bound.
constexpr size_t kMaxFeedItems = 10000;
constexpr size_t kMaxKeptItems = 50000;

// What the channel held when the download started, taken under a short lock. An item read
// with the same title and description as a known one gets its identity without cleaning
// the texts again, and an item already known needs no display date, since
// the merge drops it. The merge itself decides against the list as it is by then.
class CKnownItems
{
public:
    explicit CKnownItems(CRssChannel& channel)
    {
        std::lock_guard lock(channel.ChildrenLock());
        const CRssNode::Children& children = channel.LockedChildren();
        m_items.reserve(children.size());
        for (const CRefPtr<CRssNode>& node : children) {
            const auto* item = static_cast<const CRssItem*>(node.get());
            if (item->Identity() == RssIdentity{})
                continue;
            m_items.push_back({item->title, item->DescriptionUtf8(), item->Identity()});
        }
        m_byTitle.reserve(m_items.size());
        m_identities.reserve(m_items.size());
        for (size_t i = 0; i < m_items.size(); ++i) {
            m_byTitle.emplace(m_items[i].title, i);
            m_identities.insert(m_items[i].identity);
        }
    }

    // Copies plain texts and identity from a known item with the same texts.
    bool CopyIdentity(CRssItem& item) const
    {
        auto [first, last] = m_byTitle.equal_range(item.title);
        for (auto it = first; it != last; ++it) {
            const Known& known = m_items[it->second];
            if (known.description == item.DescriptionUtf8()) {
                item.SetIdentity(known.identity);
                return true;
            }
        }
        return false;
    }
    bool Contains(const RssIdentity& identity) const { return m_identities.contains(identity); }

private:
    struct Known
    {
        QString title;
        QByteArray description;
        RssIdentity identity;
    };
    std::vector<Known> m_items;
    std::unordered_multimap<QString, size_t> m_byTitle;
    std::unordered_set<RssIdentity, RssIdentityHash> m_identities;
};

// An item read from the document; dated once it has its display date.
struct ReadEntry
{
    CRefPtr<CRssItem> item;
    bool dated = false;
};

// The items of a document, read before the channel is locked. Reading stops at the first
// item that raises an error; the items before it are still merged.
struct ReadItems
{
    std::vector<ReadEntry> entries;
    bool failed = false;
};

ReadItems ReadAllItems(CRssChannel& channel, const std::vector<xmlNode*>& nodes, ItemSyntax syntax,
                       FeedOrigin origin, qint64 now)
{
    const CKnownItems known(channel);
    ReadItems read;
    const size_t count =
        origin == FeedOrigin::Stored ? nodes.size() : qMin(nodes.size(), kMaxFeedItems);
    if (count < nodes.size())
        LogFormat("Skipped %d items beyond the first %d", int(nodes.size() - count), int(count));
    read.entries.reserve(count);
    try {
        for (size_t i = 0; i < count; ++i) {
            xmlNode* node = nodes[i];
            CRefPtr<CRssItem> item = CRssItem::Create(channel.Context());
            item->SetParent(&channel);
            if (ReadItemFields(*item, node, syntax, origin) != kResultOk)
                continue;
            if (!known.CopyIdentity(*item))
                item->UpdateIdentity();
            ReadItemTime(*item, syntax, now);
            const bool isNew = !known.Contains(item->Identity());
            if (isNew)
                item->SetPublicationTime(item->publicationTime);
            read.entries.push_back({std::move(item), isNew});
        }
    } catch (...) {
        read.failed = true;
    }
    return read;
}

CRssItem* AsItem(const CRefPtr<CRssNode>& node)
{
    return static_cast<CRssItem*>(node.get());
}

// Moves the children that drop says to drop into released, keeping the order of the rest.
template <class Drop>
void RemoveChildren(CRssNode::Children& children, CRssNode::Children& released, Drop drop)
{
    size_t kept = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        if (drop(i)) {
            children[i]->SetParent(nullptr);
            released.push_back(std::move(children[i]));
        } else {
            if (kept != i)
                children[kept] = std::move(children[i]);
            ++kept;
        }
    }
    children.resize(kept);
}

// The merge. Holds the channel's children lock throughout; items removed from the list are
// released only after the lock is dropped.
void MergeItems(CRssChannel& channel, ReadItems& read, const QByteArray& source, FeedOrigin origin,
                ChannelNotice notice)
{
    const bool notify = notice == ChannelNotice::Post;
    CRssNode::Children released;
    std::lock_guard lock(channel.ChildrenLock());
    CRssNode::Children& children = channel.LockedChildren();

    CRssNode::Children fresh;
    bool failed = read.failed;
    try {
        std::unordered_map<RssIdentity, CRssItem*, RssIdentityHash> existing;
        existing.reserve(children.size());
        for (const CRefPtr<CRssNode>& node : children) {
            CRssItem* item = AsItem(node);
            item->inFeed = false;
            item->ResumeJobs(true);
            existing.emplace(item->Identity(), item);
        }

        std::unordered_set<RssIdentity, RssIdentityHash> seen;
        seen.reserve(read.entries.size());
        fresh.reserve(read.entries.size());
        for (ReadEntry& entry : read.entries) {
            CRssItem* item = entry.item.get();
            if (!seen.insert(item->Identity()).second) {
                LogFormat("Skipped dublicate item '%s'\n", qUtf8Printable(item->PlainTitle()));
                continue;
            }
            if (auto it = existing.find(item->Identity()); it != existing.end()) {
                it->second->inFeed = true;
                it->second->SetLink(item->Link());
                continue;
            }
            if (!entry.dated) // known when reading began, gone since
                item->SetPublicationTime(item->publicationTime);
            fresh.push_back(CRefPtr<CRssNode>(item));
        }
    } catch (...) {
        failed = true;
    }
    read.entries.clear();

    // New items go to the top in document order; one pass, however long the list.
    const size_t added = fresh.size();
    if (added > 0) {
        fresh.reserve(added + children.size());
        for (CRefPtr<CRssNode>& node : children)
            fresh.push_back(std::move(node));
        children.swap(fresh);
        fresh.clear();
    }
    channel.Touch();

    try {
        const bool autoConvert = channel.AutoConvert();
        for (size_t i = 0; i < added; ++i) {
            CRssItem* item = AsItem(children[i]);
            if (item->deleted)
                continue;
            item->ResumeJobs(channel.DefersItemJobs());
            if (origin == FeedOrigin::Live) {
                if (autoConvert)
                    item->RequestConversion({.preferPodcast = true});
                item->Notify(RssEvent::NewItem);
            }
        }
        if (failed)
            throw std::runtime_error("item updating");

        RemoveChildren(children, released, [&](size_t i) {
            const CRssItem* item = AsItem(children[i]);
            return !item->inFeed && item->deleted;
        });
        if (children.size() > kMaxKeptItems) {
            size_t excess = children.size() - kMaxKeptItems;
            std::vector<bool> drop(children.size(), false);
            for (size_t i = children.size(); i-- > 0 && excess > 0;) {
                if (!AsItem(children[i])->inFeed) {
                    drop[i] = true;
                    --excess;
                }
            }
            RemoveChildren(children, released, [&](size_t i) { return bool(drop[i]); });
        }

        LogFormat("Updating elements: '%s'", source.constData());
        channel.Recount(notify);

        CPreferences& prefs = channel.Context()->Prefs();
        const int limit = prefs.newsPerChannel;
        if (prefs.limitNewsPerChannel && limit < channel.TotalCount()) {
            int total = channel.TotalCount();
            int unread = channel.UnreadCount();
            std::vector<bool> drop(children.size(), false);
            for (size_t i = children.size(); i-- > 0 && total > limit;) {
                CRssItem* item = AsItem(children[i]);
                if (item->deleted)
                    continue;
                --total;
                if (item->unread)
                    --unread;
                if (item->inFeed)
                    item->deleted = true; // stays hidden, so the feed cannot bring it back
                else
                    drop[i] = true;
            }
            RemoveChildren(children, released, [&](size_t i) { return bool(drop[i]); });
            channel.SetCounts(unread, total);
            if (notify)
                channel.Notify(RssEvent::ChannelChanged);
        }
        return;
    } catch (...) {
    }
    // The rest of the merge is left undone, but the counts must still match the list.
    LogFormat("Exception in channel item updating: '%s'", source.constData());
    channel.Recount(notify);
}

} // namespace

RssResult MergeFeedDocument(CRssChannel& channel, xmlDoc* doc, const QString& source,
                            FeedOrigin origin, ChannelNotice notice, RssFeedKind* kind)
{
    const QByteArray sourceText = source.toUtf8();
    if (kind)
        *kind = RssFeedKind::Unknown;
    try {
        CFeedReader reader;
        if (!reader.IsValid()) {
            LogFormat("*ERROR: Failed to create XML parser %08X", kGenericFailure);
            return kGenericFailure;
        }
        const qint64 now = channel.Context()->Now();
        RssChannelInfo info = channel.Info();
        const RssResult infoResult = reader.ReadChannelInfo(doc, info, now);
        if (kind)
            *kind = reader.Kind();
        if (infoResult != kResultOk) {
            LogFormat("*ERROR: Cannot load channel info: '%s'", sourceText.constData());
            return infoResult;
        }
        channel.SetInfo(info);
        channel.NameIfUnnamed(info.title);
        if (origin == FeedOrigin::Stored) { // a live feed never chooses the voice
            const xmlNode* element = StoredChannelElement(doc);
            channel.SetVoice(StoredChannelVoice(element));
            channel.SetValidators(StoredValidator(element, "etag"),
                                  StoredValidator(element, "lastmodified"));
        }

        const std::optional<std::vector<xmlNode*>> nodes = reader.SelectItems();
        if (!nodes) {
            LogFormat("*ERROR: Cannot found item elements: type:%d, '%s'", int(reader.Kind()),
                      sourceText.constData());
            return kGenericFailure;
        }
        const ItemSyntax syntax =
            reader.Kind() == RssFeedKind::Atom ? ItemSyntax::Atom : ItemSyntax::Rss;
        ReadItems read = ReadAllItems(channel, *nodes, syntax, origin, now);
        MergeItems(channel, read, sourceText, origin, notice);
        LogFormat("Channel downloading done: '%s'", sourceText.constData());
        return kResultOk;
    } catch (const CXmlQueryError& e) {
        LogFormat("_com_error in channel downloading: '%s' %08X '%s'", sourceText.constData(),
                  e.Code(), qUtf8Printable(e.Description()));
    } catch (...) {
        LogFormat("Exception in channel downloading: '%s'", sourceText.constData());
    }
    return kGenericFailure;
}
