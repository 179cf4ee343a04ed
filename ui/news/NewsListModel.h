#pragma once

#include "CRefCounted.h"

#include <QAbstractTableModel>
#include <QHash>
#include <unordered_set>
#include <vector>

class CRssItem;
class CRssNode;

// The rows of the news list: the items of the shown channel, or of every channel of the
// shown group, that are not deleted, in the order of the sort preference. One column per
// column kind; the view hides the kinds it does not show. Each row holds a reference to
// its item. A refresh inserts and removes rows and a sort moves them, so selections and
// the current row follow their items; only showing another node resets the model.
class NewsListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role
    {
        UnreadRole = Qt::UserRole + 1,
        StateRole,    // int of RssItemState
        HasAudioRole, // an "audio/mpeg" enclosure
        PreviewRole,  // the plain description
        LinkRole,
    };

    explicit NewsListModel(QObject* parent = nullptr);
    ~NewsListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Shows a channel or a group (or nothing), sorted by `sortValue`: +(kind + 1)
    // ascending, -(kind + 1) descending.
    void Show(CRssNode* node, int sortValue);
    CRssNode* Shown() const { return m_shown.get(); }
    // Only unread items are listed; one read while listed stays until another node is
    // shown, so that it does not leave from under the pointer. Shows the node anew.
    void SetOnlyUnread(bool onlyUnread);
    bool OnlyUnread() const { return m_onlyUnread; }
    // The shown node, or a channel or group inside the shown group.
    bool Covers(CRssNode* node) const;
    // Follows the items of `scope` (the shown node when null): rows of items that are gone
    // or deleted are removed, new items are inserted where the order puts them.
    void Refresh(CRssNode* scope = nullptr);
    void Sort(int sortValue);
    int SortValue() const { return m_sortValue; }

    CRssItem* ItemAt(int row) const;
    // The row of the item, or -1.
    int RowOf(const CRssItem* item) const;
    // The item's row (if any) changed: tells the views.
    void ItemChanged(const CRssItem* item);
    // Every row's date text changed.
    void DatesChanged();
    void RemoveRow(int row);
    // The row shows `item` of `channel` from now on.
    void ReplaceItem(int row, CRssItem* item, CRssNode* channel);

private:
    struct Row
    {
        CRefPtr<CRssItem> item;
        const CRssNode* channel = nullptr;
    };
    using Rows = std::vector<Row>;

    // Appends the items of node (a channel, or every channel under a group) that are not
    // deleted; notes the channels in `channels` when given.
    static void Collect(CRssNode* node, Rows& rows, std::unordered_set<const CRssNode*>* channels);
    // The row numbers of `rows` in sorted order; ties keep their order.
    static std::vector<int> SortedOrder(const Rows& rows, int sortValue);
    void RemoveRuns(const std::unordered_set<const CRssItem*>& keep,
                    const std::unordered_set<const CRssNode*>* channels);
    void InsertSorted(Rows added);
    void Forget() { m_rowCacheValid = false; }
    // Puts row order[i] at row i in one layout change; persistent indexes follow.
    void Reorder(const std::vector<int>& order);
    // Above this many separate places, an insertion or removal goes as one layout change.
    static constexpr int kManyRuns = 8;

    CRefPtr<CRssNode> m_shown;
    Rows m_rows;
    int m_sortValue = -4;
    bool m_onlyUnread = false;
    std::unordered_set<const CRssItem*> m_present;
    mutable QHash<const CRssItem*, int> m_rowCache;
    mutable bool m_rowCacheValid = false;
};
