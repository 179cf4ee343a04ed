#include "NewsListModel.h"

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "NewsColumns.h"

#include <algorithm>
#include <numeric>

NewsListModel::NewsListModel(QObject* parent) : QAbstractTableModel(parent) {}

NewsListModel::~NewsListModel() = default;

int NewsListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int NewsListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kNewsColumnCount;
}

QVariant NewsListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CRssItem& item = *m_rows[size_t(index.row())].item;
    const int kind = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return NewsColumns::Text(item, kind);
    case Qt::AccessibleTextRole:
        if (kind == NewsColumnRead)
            return NewsColumns::ReadWords(item);
        if (kind == NewsColumnState)
            return NewsColumns::StateWords(NewsColumns::State(item));
        return NewsColumns::Text(item, kind);
    case UnreadRole:
        return NewsColumns::IsUnread(item);
    case StateRole:
        return int(NewsColumns::State(item));
    case HasAudioRole:
        return NewsColumns::HasAudio(item);
    case PreviewRole:
        return NewsColumns::Preview(item);
    case LinkRole:
        return NewsColumns::Link(item);
    default:
        return {};
    }
}

QVariant NewsListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kNewsColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return NewsColumns::Header(section);
    if (role == Qt::AccessibleTextRole) {
        if (section == NewsColumnRead)
            return QStringLiteral("Read");
        if (section == NewsColumnState)
            return QStringLiteral("State");
        return NewsColumns::Header(section);
    }
    return {};
}

Qt::ItemFlags NewsListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void NewsListModel::Collect(CRssNode* node, Rows& rows,
                            std::unordered_set<const CRssNode*>* channels)
{
    if (!node)
        return;
    if (node->IsChannel()) {
        if (channels)
            channels->insert(node);
        std::lock_guard lock(node->ChildrenLock());
        const CRssNode::Children& children = node->LockedChildren();
        rows.reserve(rows.size() + children.size());
        for (const CRefPtr<CRssNode>& child : children) {
            auto* item = NodeCast<CRssItem>(child.get());
            if (item && !NewsColumns::IsDeleted(*item))
                rows.push_back({CRefPtr<CRssItem>(item), node});
        }
    } else if (node->IsGroup()) {
        for (const CRefPtr<CRssNode>& child : node->ChildrenSnapshot())
            Collect(child.get(), rows, channels);
    }
}

std::vector<int> NewsListModel::SortedOrder(const Rows& rows, int sortValue)
{
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    const int kind = SortKindOf(sortValue);
    if (kind < 0 || kind == NewsColumnSource)
        return order;
    // Keys are read once: the state can change on a worker while sorting.
    std::vector<NewsColumns::SortKey> keys;
    keys.reserve(rows.size());
    for (const Row& row : rows)
        keys.push_back(NewsColumns::KeyOf(*row.item, kind));
    const bool descending = sortValue < 0;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = NewsColumns::Compare(keys[size_t(a)], keys[size_t(b)], kind);
        return descending ? c > 0 : c < 0;
    });
    return order;
}

void NewsListModel::Show(CRssNode* node, int sortValue)
{
    beginResetModel();
    m_shown = CRefPtr<CRssNode>(node);
    m_sortValue = sortValue;
    Rows rows;
    Collect(node, rows, nullptr);
    if (m_onlyUnread)
        std::erase_if(rows, [](const Row& row) { return !NewsColumns::IsUnread(*row.item); });
    const std::vector<int> order = SortedOrder(rows, sortValue);
    m_rows.clear();
    m_rows.reserve(rows.size());
    m_present.clear();
    m_present.reserve(rows.size());
    for (int i : order) {
        m_present.insert(rows[size_t(i)].item.get());
        m_rows.push_back(std::move(rows[size_t(i)]));
    }
    Forget();
    endResetModel();
}

void NewsListModel::SetOnlyUnread(bool onlyUnread)
{
    m_onlyUnread = onlyUnread;
    Show(m_shown.get(), m_sortValue);
}

bool NewsListModel::Covers(CRssNode* node) const
{
    if (!node || !m_shown)
        return false;
    if (node == m_shown.get())
        return true;
    if (!m_shown->IsGroup())
        return false;
    for (CRefPtr<CRssNode> up = node->Parent(); up; up = up->Parent())
        if (up.get() == m_shown.get())
            return true;
    return false;
}

void NewsListModel::Refresh(CRssNode* scope)
{
    if (!m_shown)
        return;
    if (!scope)
        scope = m_shown.get();
    const bool whole = scope == m_shown.get();
    Rows fresh;
    std::unordered_set<const CRssNode*> channels;
    Collect(scope, fresh, &channels);
    // Rows already listed stay while their items do, read or not.
    const auto listed = [this](const Row& row) {
        return m_present.contains(row.item.get()) || !m_onlyUnread ||
               NewsColumns::IsUnread(*row.item);
    };
    std::unordered_set<const CRssItem*> keep;
    keep.reserve(fresh.size());
    for (const Row& row : fresh)
        if (listed(row))
            keep.insert(row.item.get());
    RemoveRuns(keep, whole ? nullptr : &channels);
    Rows added;
    for (Row& row : fresh)
        if (!m_present.contains(row.item.get()) && listed(row))
            added.push_back(std::move(row));
    InsertSorted(std::move(added));
}

void NewsListModel::RemoveRuns(const std::unordered_set<const CRssItem*>& keep,
                               const std::unordered_set<const CRssNode*>* channels)
{
    const auto goes = [&](const Row& row) {
        return (!channels || channels->contains(row.channel)) && !keep.contains(row.item.get());
    };
    std::vector<char> going(m_rows.size());
    int runs = 0;
    int count = 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        going[row] = goes(m_rows[row]);
        count += going[row];
        runs += going[row] && (row == 0 || !going[row - 1]);
    }
    if (runs > kManyRuns) {
        // Scattered rows (a refresh trimming a channel inside a long group list): gather
        // them at the end in one layout change, then remove them in one step, instead of
        // one pass of the view over every row for each run.
        std::vector<int> order;
        order.reserve(m_rows.size());
        for (int keepPass = 1; keepPass >= 0; --keepPass)
            for (size_t row = 0; row < m_rows.size(); ++row)
                if (!going[row] == bool(keepPass))
                    order.push_back(int(row));
        Reorder(order);
        const int first = int(m_rows.size()) - count;
        beginRemoveRows({}, first, int(m_rows.size()) - 1);
        for (size_t row = size_t(first); row < m_rows.size(); ++row)
            m_present.erase(m_rows[row].item.get());
        m_rows.erase(m_rows.begin() + first, m_rows.end());
        Forget();
        endRemoveRows();
        return;
    }
    for (int last = int(m_rows.size()) - 1; last >= 0; --last) {
        if (!going[size_t(last)])
            continue;
        int first = last;
        while (first > 0 && going[size_t(first - 1)])
            --first;
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row)
            m_present.erase(m_rows[size_t(row)].item.get());
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        Forget();
        endRemoveRows();
        last = first;
    }
}

void NewsListModel::Reorder(const std::vector<int>& order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    Rows rows;
    rows.reserve(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[size_t(order[i])] = int(i);
        rows.push_back(std::move(m_rows[size_t(order[i])]));
    }
    m_rows = std::move(rows);
    Forget();
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to << this->index(newRowOf[size_t(index.row())], index.column());
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void NewsListModel::InsertSorted(Rows added)
{
    if (added.empty())
        return;
    const std::vector<int> order = SortedOrder(added, m_sortValue);
    const int kind = SortKindOf(m_sortValue);
    const bool sorted = kind >= 0 && kind != NewsColumnSource;
    const bool descending = m_sortValue < 0;
    // Where each new row goes among the present rows, after the rows it ties with.
    struct Run
    {
        int at;
        Rows rows;
    };
    std::vector<Run> runs;
    for (int i : order) {
        Row& row = added[size_t(i)];
        int at = int(m_rows.size());
        if (sorted) {
            const NewsColumns::SortKey key = NewsColumns::KeyOf(*row.item, kind);
            const auto it = std::upper_bound(m_rows.begin(), m_rows.end(), key,
                                             [&](const NewsColumns::SortKey& k, const Row& r) {
                                                 const int c = NewsColumns::Compare(
                                                     k, NewsColumns::KeyOf(*r.item, kind), kind);
                                                 return descending ? c > 0 : c < 0;
                                             });
            at = int(it - m_rows.begin());
        }
        if (runs.empty() || runs.back().at != at)
            runs.push_back({at, {}});
        runs.back().rows.push_back(std::move(row));
    }
    if (runs.size() > size_t(kManyRuns)) {
        // Scattered places (a channel's new news across a long group list sorted by date):
        // append them in one step, then move them to their places in one layout change.
        const int before = int(m_rows.size());
        int total = 0;
        for (const Run& run : runs)
            total += int(run.rows.size());
        beginInsertRows({}, before, before + total - 1);
        for (Run& run : runs)
            for (Row& row : run.rows) {
                m_present.insert(row.item.get());
                m_rows.push_back(std::move(row));
            }
        Forget();
        endInsertRows();
        std::vector<int> order;
        order.reserve(m_rows.size());
        int old = 0;
        int appended = before;
        for (const Run& run : runs) {
            for (; old < run.at; ++old)
                order.push_back(old);
            for (size_t k = 0; k < run.rows.size(); ++k)
                order.push_back(appended++);
        }
        for (; old < before; ++old)
            order.push_back(old);
        Reorder(order);
        return;
    }
    // From the bottom up, so the places found above stay right.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const int count = int(run->rows.size());
        beginInsertRows({}, run->at, run->at + count - 1);
        for (const Row& row : run->rows)
            m_present.insert(row.item.get());
        m_rows.insert(m_rows.begin() + run->at, std::make_move_iterator(run->rows.begin()),
                      std::make_move_iterator(run->rows.end()));
        Forget();
        endInsertRows();
    }
}

void NewsListModel::Sort(int sortValue)
{
    m_sortValue = sortValue;
    const std::vector<int> order = SortedOrder(m_rows, sortValue);
    if (std::is_sorted(order.begin(), order.end()))
        return;
    Reorder(order);
}

CRssItem* NewsListModel::ItemAt(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].item.get() : nullptr;
}

int NewsListModel::RowOf(const CRssItem* item) const
{
    if (!item || !m_present.contains(item))
        return -1;
    if (!m_rowCacheValid) {
        m_rowCache.clear();
        m_rowCache.reserve(qsizetype(m_rows.size()));
        for (size_t row = 0; row < m_rows.size(); ++row)
            m_rowCache.insert(m_rows[row].item.get(), int(row));
        m_rowCacheValid = true;
    }
    return m_rowCache.value(item, -1);
}

void NewsListModel::ItemChanged(const CRssItem* item)
{
    const int row = RowOf(item);
    if (row >= 0)
        Q_EMIT dataChanged(index(row, 0), index(row, kNewsColumnCount - 1));
}

void NewsListModel::DatesChanged()
{
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, NewsColumnDate), index(rowCount() - 1, NewsColumnDate),
                           {Qt::DisplayRole});
}

void NewsListModel::RemoveRow(int row)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    beginRemoveRows({}, row, row);
    m_present.erase(m_rows[size_t(row)].item.get());
    m_rows.erase(m_rows.begin() + row);
    Forget();
    endRemoveRows();
}

void NewsListModel::ReplaceItem(int row, CRssItem* item, CRssNode* channel)
{
    if (row < 0 || row >= int(m_rows.size()) || !item)
        return;
    m_present.erase(m_rows[size_t(row)].item.get());
    m_rows[size_t(row)] = {CRefPtr<CRssItem>(item), channel};
    m_present.insert(item);
    Forget();
    Q_EMIT dataChanged(index(row, 0), index(row, kNewsColumnCount - 1));
}
