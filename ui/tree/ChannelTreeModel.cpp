#include "ChannelTreeModel.h"

#include "ChannelTreeRow.h"

#include "CRssReaderDoc.h"
#include "StringTable.h"

#include <QFont>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kFavoriteChannels = 130;

} // namespace

ChannelTreeModel::ChannelTreeModel(CRssReaderDoc& document, QObject* parent)
    : QAbstractItemModel(parent), m_document(document),
      m_root(MakeRow(RowKind::Favorites, nullptr, nullptr))
{
    m_clock.start();
    m_busyTimer.setInterval(kBusyIntervalMs);
    connect(&m_busyTimer, &QTimer::timeout, this, &ChannelTreeModel::AnimateBusy);

    m_root->children.push_back(MakeRow(RowKind::Favorites, nullptr, m_root.get()));
    m_favorites = m_root->children.back().get();
    m_root->children.push_back(MakeRow(RowKind::Group, &document.RootGroup(), m_root.get()));
    m_rootGroup = m_root->children.back().get();
    m_root->children.push_back(MakeRow(RowKind::SavedNews, &document.SavedNews(), m_root.get()));
    m_savedNews = m_root->children.back().get();
    m_root->children.push_back(
        MakeRow(RowKind::SearchResults, &document.SearchResults(), m_root.get()));
    m_searchResults = m_root->children.back().get();
    FillGroup(m_rootGroup);
    SyncFavorites();
}

ChannelTreeModel::~ChannelTreeModel() = default;

std::unique_ptr<ChannelTreeModel::Row> ChannelTreeModel::MakeRow(RowKind kind, CRssNode* node,
                                                                 Row* parent)
{
    auto row = std::make_unique<Row>();
    row->kind = kind;
    row->node = CRefPtr<CRssNode>(node);
    row->parent = parent;
    if (node && (kind == RowKind::Group || kind == RowKind::Channel))
        m_rows.insert(node, row.get());
    if (kind == RowKind::FavoriteCopy)
        m_copies.insert(row->Channel(), row.get());
    if (CRssChannel* channel = row->Channel(); channel && kind != RowKind::FavoriteCopy &&
                                               channel->DownloadState() == CRssChannel::Downloading)
        NoteBusy(channel);
    return row;
}

void ChannelTreeModel::FillGroup(Row* row)
{
    for (const CRefPtr<CRssNode>& child : row->node->ChildrenSnapshot()) {
        if (child->IsChannel()) {
            row->children.push_back(MakeRow(RowKind::Channel, child.get(), row));
        } else if (child->IsGroup()) {
            row->children.push_back(MakeRow(RowKind::Group, child.get(), row));
            FillGroup(row->children.back().get());
        }
    }
}

void ChannelTreeModel::Unregister(Row* row)
{
    for (const auto& child : row->children)
        Unregister(child.get());
    const CRssNode* node = row->node.get();
    if (row->kind == RowKind::FavoriteCopy) {
        if (m_copies.value(row->Channel()) == row)
            m_copies.remove(row->Channel());
    } else if (node && m_rows.value(node) == row) {
        m_rows.remove(node);
        m_busy.remove(row->Channel());
    }
}

// ---- QAbstractItemModel ----

ChannelTreeModel::Row* ChannelTreeModel::RowAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Row*>(index.internalPointer()) : m_root.get();
}

QModelIndex ChannelTreeModel::IndexOfRow(const Row* row) const
{
    if (!row || row == m_root.get())
        return {};
    return createIndex(row->Position(), 0, const_cast<Row*>(row));
}

QModelIndex ChannelTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const Row* owner = RowAt(parent);
    if (column != 0 || row < 0 || row >= int(owner->children.size()))
        return {};
    return createIndex(row, 0, owner->children[size_t(row)].get());
}

QModelIndex ChannelTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return IndexOfRow(RowAt(child)->parent);
}

int ChannelTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(RowAt(parent)->children.size());
}

int ChannelTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool ChannelTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

int ChannelTreeModel::ImageOf(const Row* row) const
{
    switch (row->kind) {
    case RowKind::Favorites:
        return ImageFavorites;
    case RowKind::Group:
        return ImageGroup;
    case RowKind::SavedNews:
        return ImageSavedNews;
    case RowKind::SearchResults:
        return ImageSearch;
    case RowKind::Channel:
    case RowKind::FavoriteCopy:
        break;
    }
    const CRssChannel* channel = row->Channel();
    if (channel->DownloadState() == CRssChannel::Downloading)
        return 11 - int((m_clock.elapsed() / 300) % 3); // cycles every 300 ms
    return channel->AutoConvert() ? ImageConverting : ImageChannel;
}

QVariant ChannelTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Row* row = RowAt(index);
    const CRssChannel* channel = row->Channel();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (row->kind == RowKind::Favorites)
            return LoadString(kFavoriteChannels);
        if (const CRssGroup* group = row->Group())
            return group->Name();
        return channel->Label();
    case Qt::EditRole:
        if (const CRssGroup* group = row->Group())
            return group->Name();
        return data(index, Qt::DisplayRole);
    case Qt::ToolTipRole:
        if (channel && row->kind != RowKind::SavedNews && row->kind != RowKind::SearchResults)
            return channel->Url();
        return {};
    case Qt::AccessibleDescriptionRole: {
        if (!channel)
            return row->kind == RowKind::Favorites ? u"Favourites"_s : u"Group"_s;
        QString text =
            u"Channel, %1 unread of %2"_s.arg(channel->UnreadCount()).arg(channel->TotalCount());
        if (channel->DownloadState() == CRssChannel::Downloading)
            text += u", downloading"_s;
        return text;
    }
    case Qt::FontRole:
        if (channel && channel->UnreadCount() > 0) {
            QFont bold;
            bold.setWeight(QFont::Bold);
            return bold;
        }
        return {};
    case ImageRole:
        return ImageOf(row);
    case KindRole:
        return int(row->kind);
    default:
        return {};
    }
}

bool ChannelTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    // An emptied label is still a rename: the person asked for it.
    RowAt(index)->Group()->Rename(value.toString());
    Q_EMIT dataChanged(index, index);
    return true;
}

Qt::ItemFlags ChannelTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Row* row = RowAt(index);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (row->kind == RowKind::Group) {
        flags |= Qt::ItemIsDropEnabled;
        if (!row->Group()->IsRoot())
            flags |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    } else if (row->kind == RowKind::Channel) {
        flags |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    }
    return flags;
}

// ---- lookups ----

QModelIndex ChannelTreeModel::FavoritesIndex() const
{
    return IndexOfRow(m_favorites);
}

QModelIndex ChannelTreeModel::RootGroupIndex() const
{
    return IndexOfRow(m_rootGroup);
}

QModelIndex ChannelTreeModel::SavedNewsIndex() const
{
    return IndexOfRow(m_savedNews);
}

QModelIndex ChannelTreeModel::SearchResultsIndex() const
{
    return IndexOfRow(m_searchResults);
}

QModelIndex ChannelTreeModel::IndexOf(const CRssNode* node) const
{
    if (!node)
        return {};
    if (node == m_savedNews->node.get())
        return SavedNewsIndex();
    if (node == m_searchResults->node.get())
        return SearchResultsIndex();
    return IndexOfRow(m_rows.value(node));
}

QModelIndex ChannelTreeModel::FavoriteCopyOf(const CRssChannel* channel) const
{
    return IndexOfRow(m_copies.value(channel));
}

CRssNode* ChannelTreeModel::NodeAt(const QModelIndex& index) const
{
    return index.isValid() ? RowAt(index)->node.get() : nullptr;
}

ChannelTreeModel::RowKind ChannelTreeModel::KindAt(const QModelIndex& index) const
{
    return index.isValid() ? RowAt(index)->kind : RowKind::Favorites;
}

CRssGroup* ChannelTreeModel::GroupAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    const Row* row = RowAt(index);
    if (row->kind == RowKind::Group)
        return row->Group();
    if (row->kind == RowKind::Channel)
        return row->parent->Group();
    if (row->kind == RowKind::FavoriteCopy)
        if (const Row* original = m_rows.value(row->node.get()))
            return original->parent->Group();
    return nullptr;
}

bool ChannelTreeModel::IsUserChannel(const QModelIndex& index) const
{
    const RowKind kind = KindAt(index);
    return index.isValid() && (kind == RowKind::Channel || kind == RowKind::FavoriteCopy);
}

// ---- following the feed tree ----

void ChannelTreeModel::OnUpdate(RssEvent code, CRefCounted* object)
{
    switch (code) {
    case RssEvent::ChannelReloaded:
    case RssEvent::ChannelChanged:
        if (auto* node = dynamic_cast<CRssNode*>(object))
            RefreshChannel(NodeCast<CRssChannel>(node));
        break;
    case RssEvent::TreeChanged:
        SyncTree();
        break;
    case RssEvent::FavoriteChanged:
        SyncFavorites();
        break;
    default:
        break;
    }
}

void ChannelTreeModel::SyncTree()
{
    SyncGroup(m_rootGroup);
    SyncFavorites();
    if (m_busy.isEmpty())
        m_busyTimer.stop();
}

void ChannelTreeModel::SyncGroup(Row* row)
{
    std::vector<CRefPtr<CRssNode>> wanted;
    QSet<const CRssNode*> wantedSet;
    for (CRefPtr<CRssNode>& child : row->node->ChildrenSnapshot()) {
        if (child->IsChannel() || child->IsGroup()) {
            wantedSet.insert(child.get());
            wanted.push_back(std::move(child));
        }
    }
    const QModelIndex parentIndex = IndexOfRow(row);
    auto& children = row->children;

    for (int i = int(children.size()) - 1; i >= 0; --i) {
        if (wantedSet.contains(children[size_t(i)]->node.get()))
            continue;
        beginRemoveRows(parentIndex, i, i);
        Unregister(children[size_t(i)].get());
        children.erase(children.begin() + i);
        endRemoveRows();
    }

    for (size_t i = 0; i < wanted.size(); ++i) {
        CRssNode* node = wanted[i].get();
        if (i < children.size() && children[i]->node.get() == node)
            continue;
        const auto here = std::find_if(children.begin() + qsizetype(i), children.end(),
                                       [node](const auto& r) { return r->node.get() == node; });
        if (here != children.end()) {
            const int from = int(here - children.begin());
            beginMoveRows(parentIndex, from, from, parentIndex, int(i));
            std::unique_ptr<Row> moving = std::move(*here);
            children.erase(here);
            children.insert(children.begin() + qsizetype(i), std::move(moving));
            endMoveRows();
            continue;
        }
        // A node that left another group keeps its row (and the view its selection).
        Row* elsewhere = m_rows.value(node);
        if (elsewhere && elsewhere->parent && elsewhere->parent != row) {
            Row* oldParent = elsewhere->parent;
            const int from = elsewhere->Position();
            if (beginMoveRows(IndexOfRow(oldParent), from, from, parentIndex, int(i))) {
                std::unique_ptr<Row> moving = std::move(oldParent->children[size_t(from)]);
                oldParent->children.erase(oldParent->children.begin() + from);
                moving->parent = row;
                children.insert(children.begin() + qsizetype(i), std::move(moving));
                endMoveRows();
                continue;
            }
        }
        std::unique_ptr<Row> fresh =
            MakeRow(node->IsGroup() ? RowKind::Group : RowKind::Channel, node, row);
        if (node->IsGroup())
            FillGroup(fresh.get());
        beginInsertRows(parentIndex, int(i), int(i));
        children.insert(children.begin() + qsizetype(i), std::move(fresh));
        endInsertRows();
    }

    for (const auto& child : children)
        if (child->kind == RowKind::Group)
            SyncGroup(child.get());
    if (!m_busy.isEmpty() && !m_busyTimer.isActive())
        m_busyTimer.start();
}

void ChannelTreeModel::CollectFavorites(const Row* row, QList<CRssChannel*>& out) const
{
    for (const auto& child : row->children) {
        if (child->kind == RowKind::Group)
            CollectFavorites(child.get(), out);
        else if (child->kind == RowKind::Channel && child->Channel()->Favorite())
            out << child->Channel();
    }
}

void ChannelTreeModel::SyncFavorites()
{
    QList<CRssChannel*> wanted;
    CollectFavorites(m_rootGroup, wanted);
    const QModelIndex parentIndex = FavoritesIndex();
    auto& copies = m_favorites->children;
    for (int i = int(copies.size()) - 1; i >= 0; --i) {
        if (wanted.contains(copies[size_t(i)]->Channel()))
            continue;
        beginRemoveRows(parentIndex, i, i);
        Unregister(copies[size_t(i)].get());
        copies.erase(copies.begin() + i);
        endRemoveRows();
    }
    for (CRssChannel* channel : wanted) {
        if (m_copies.contains(channel))
            continue;
        const int at = int(copies.size());
        beginInsertRows(parentIndex, at, at);
        copies.push_back(MakeRow(RowKind::FavoriteCopy, channel, m_favorites));
        endInsertRows();
    }
}

void ChannelTreeModel::EmitRowChanged(Row* row)
{
    if (!row)
        return;
    const QModelIndex index = IndexOfRow(row);
    Q_EMIT dataChanged(index, index);
}

void ChannelTreeModel::RefreshChannel(CRssChannel* channel)
{
    if (!channel)
        return;
    Row* row = m_rows.value(channel);
    if (channel == m_savedNews->node.get())
        row = m_savedNews;
    else if (channel == m_searchResults->node.get())
        row = m_searchResults;
    if (!row && NodeCast<CRssGroup>(channel->Parent())) {
        // A channel of a group read while its TreeChanged was held back (the group was
        // loading): its row comes with the rest of what the tree gained.
        SyncTree();
        row = m_rows.value(channel);
    }
    if (!row)
        return;
    EmitRowChanged(row);
    EmitRowChanged(m_copies.value(channel));
    if (channel->DownloadState() == CRssChannel::Downloading)
        NoteBusy(channel);
}

void ChannelTreeModel::NoteBusy(CRssChannel* channel)
{
    m_busy.insert(channel);
    // During the first build the timer starts once the rows exist.
    if (m_rootGroup && !m_busyTimer.isActive())
        m_busyTimer.start();
}

void ChannelTreeModel::AnimateBusy()
{
    QSet<CRssChannel*> still;
    for (CRssChannel* channel : std::as_const(m_busy)) {
        Row* row = channel == m_savedNews->node.get()       ? m_savedNews
                   : channel == m_searchResults->node.get() ? m_searchResults
                                                            : m_rows.value(channel);
        if (!row)
            continue;
        const QModelIndex index = IndexOfRow(row);
        Q_EMIT dataChanged(index, index, {ImageRole});
        if (const QModelIndex copy = FavoriteCopyOf(channel); copy.isValid())
            Q_EMIT dataChanged(copy, copy, {ImageRole});
        if (channel->DownloadState() == CRssChannel::Downloading)
            still.insert(channel);
    }
    m_busy = still;
    if (m_busy.isEmpty())
        m_busyTimer.stop();
}
