#include "ChannelTreeModel.h"

#include "CRssReaderDoc.h"
#include "ChannelTreeRow.h"

#include <QMimeData>

// Moving channels and groups by drag and drop. Only a node that has a row in this model
// is ever taken from the dragged data, so foreign or stale data moves nothing.

bool ChannelTreeModel::CanMoveNode(const CRssNode* node, const CRssGroup* target) const
{
    const Row* row = m_rows.value(node);
    if (!row || !target || !m_rows.contains(target) || row == m_rootGroup)
        return false;
    // Never into itself or its own subtree.
    for (const Row* up = m_rows.value(target); up; up = up->parent)
        if (up == row)
            return false;
    return true;
}

bool ChannelTreeModel::MoveNode(CRssNode* node, CRssGroup* target, int position)
{
    if (!CanMoveNode(node, target))
        return false;
    Row* row = m_rows.value(node);
    CRssGroup* from = row->parent->Group();
    const int oldPosition = row->Position();
    if (from == target) {
        if (position < 0 || position > int(row->parent->children.size()))
            position = int(row->parent->children.size());
        if (position == oldPosition || position == oldPosition + 1)
            return false;
        if (position > oldPosition)
            --position;
    }
    CRefPtr<CRssNode> keep(node);
    from->RemoveChild(node);
    target->AddChild(node, position);
    SyncTree();
    if (m_document.IsLoaded())
        m_document.SaveNews();
    Q_EMIT nodeMoved(node);
    return true;
}

Qt::DropActions ChannelTreeModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions ChannelTreeModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QStringList ChannelTreeModel::mimeTypes() const
{
    return {QString::fromLatin1(kNodeMimeType)};
}

QMimeData* ChannelTreeModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.size() != 1 || !(flags(indexes.first()) & Qt::ItemIsDragEnabled))
        return nullptr;
    auto* data = new QMimeData;
    const auto address = quintptr(NodeAt(indexes.first()));
    data->setData(QString::fromLatin1(kNodeMimeType), QByteArray::number(quint64(address), 16));
    data->setText(indexes.first().data().toString());
    return data;
}

bool ChannelTreeModel::DropTarget(const QMimeData* data, int row, const QModelIndex& parent,
                                  CRssNode*& node, CRssGroup*& target, int& position) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(kNodeMimeType)) || !parent.isValid())
        return false;
    bool ok = false;
    const quint64 address = data->data(QString::fromLatin1(kNodeMimeType)).toULongLong(&ok, 16);
    // Only a node that has a row here is ever dereferenced.
    const Row* dragged =
        ok ? m_rows.value(reinterpret_cast<const CRssNode*>(quintptr(address))) : nullptr;
    if (!dragged)
        return false;
    node = dragged->node.get();
    const Row* onto = RowAt(parent);
    if (onto->kind == RowKind::Group) {
        target = onto->Group();
        position = row;
    } else if (onto->kind == RowKind::Channel) {
        // Dropped on a channel: after it, in its group.
        target = onto->parent->Group();
        position = onto->Position() + 1;
    } else {
        return false;
    }
    return CanMoveNode(node, target);
}

bool ChannelTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                       const QModelIndex& parent) const
{
    CRssNode* node = nullptr;
    CRssGroup* target = nullptr;
    int position = -1;
    return action == Qt::MoveAction && DropTarget(data, row, parent, node, target, position);
}

bool ChannelTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                    const QModelIndex& parent)
{
    CRssNode* node = nullptr;
    CRssGroup* target = nullptr;
    int position = -1;
    if (action != Qt::MoveAction || !DropTarget(data, row, parent, node, target, position))
        return false;
    MoveNode(node, target, position);
    // The move is done here; the view must not remove a source row afterwards.
    return false;
}
