#pragma once

#include "CRefCounted.h"
#include "RssEvent.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <memory>

class CRssChannel;
class CRssGroup;
class CRssNode;
class CRssReaderDoc;

// The rows of the channel tree: "Favorite Channels" with a copy of every favourite
// channel, the root group's subtree, "Saved News" and "Search Result". Each row holds a
// reference to its node. Changes of the feed tree reach the rows as inserts, removes and
// moves of only the rows concerned, and changes of a channel as dataChanged of its rows,
// so the view keeps its current row and scroll position. Window thread only.
class ChannelTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum class RowKind
    {
        Favorites,
        Group,
        Channel,
        FavoriteCopy,
        SavedNews,
        SearchResults
    };
    enum Role
    {
        ImageRole = Qt::UserRole + 1, // index into the tree image strip
        KindRole,                     // RowKind as int
    };
    // Images of the tree strip.
    enum Image
    {
        ImageExpanded = 0,
        ImageCollapsed = 1,
        ImageSavedNews = 3,
        ImageFavorites = 4,
        ImageGroup = 5,
        ImageChannel = 6,
        ImageConverting = 7,
        ImageSearch = 8,
        ImageBusyFirst = 9,
    };
    static constexpr int kBusyIntervalMs = 250;
    static constexpr const char* kNodeMimeType = "application/x-calvoria-tree-node";

    explicit ChannelTreeModel(CRssReaderDoc& document, QObject* parent = nullptr);
    ~ChannelTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // A notification from the document or the feed model.
    void OnUpdate(RssEvent code, CRefCounted* object);
    // Brings the rows in line with the feed tree and the favourite flags.
    void SyncTree();
    // Shows the channel's label, image and busy state again.
    void RefreshChannel(CRssChannel* channel);

    QModelIndex FavoritesIndex() const;
    QModelIndex RootGroupIndex() const;
    QModelIndex SavedNewsIndex() const;
    QModelIndex SearchResultsIndex() const;
    // The row of a group or channel in the tree (the special channels: their own rows).
    QModelIndex IndexOf(const CRssNode* node) const;
    // The channel's row under "Favorite Channels", or invalid.
    QModelIndex FavoriteCopyOf(const CRssChannel* channel) const;

    CRssNode* NodeAt(const QModelIndex& index) const;
    RowKind KindAt(const QModelIndex& index) const;
    // The group of a group row, or the group holding a channel of the tree.
    CRssGroup* GroupAt(const QModelIndex& index) const;
    bool IsUserChannel(const QModelIndex& index) const; // a channel of the feed tree or its copy

    // Moves a channel or a group (not the root) into `target` at `position` (-1: at the
    // end) and saves the tree. Refuses a group into itself or its own subtree.
    bool MoveNode(CRssNode* node, CRssGroup* target, int position);
    bool CanMoveNode(const CRssNode* node, const CRssGroup* target) const;

    bool IsAnimating() const { return m_busyTimer.isActive(); }
    int BusyCount() const { return int(m_busy.size()); }

Q_SIGNALS:
    // A node changed its place in the tree through a drop.
    void nodeMoved(CRssNode* node);

private:
    struct Row;

    std::unique_ptr<Row> MakeRow(RowKind kind, CRssNode* node, Row* parent);
    void FillGroup(Row* row);
    void Unregister(Row* row);
    QModelIndex IndexOfRow(const Row* row) const;
    Row* RowAt(const QModelIndex& index) const;
    void SyncGroup(Row* row);
    void SyncFavorites();
    void CollectFavorites(const Row* row, QList<CRssChannel*>& out) const;
    void EmitRowChanged(Row* row);
    void NoteBusy(CRssChannel* channel);
    void AnimateBusy();
    int ImageOf(const Row* row) const;
    bool DropTarget(const QMimeData* data, int row, const QModelIndex& parent, CRssNode*& node,
                    CRssGroup*& target, int& position) const;

    CRssReaderDoc& m_document;
    std::unique_ptr<Row> m_root; // invisible; its children are the four top-level rows
    Row* m_favorites = nullptr;
    Row* m_rootGroup = nullptr;
    Row* m_savedNews = nullptr;
    Row* m_searchResults = nullptr;
    QHash<const CRssNode*, Row*> m_rows;      // groups and channels of the tree
    QHash<const CRssChannel*, Row*> m_copies; // favourite copies
    QSet<CRssChannel*> m_busy;                // channels shown downloading
    QTimer m_busyTimer;
    QElapsedTimer m_clock;
};
