#include "CRssGroup.h"

#include "CRssChannel.h"

CRefPtr<CRssGroup> CRssGroup::Create(CFeedContext* context, bool root)
{
    return CRefPtr<CRssGroup>::Adopt(new CRssGroup(context, root));
}

CRssGroup::CRssGroup(CFeedContext* context, bool root)
    : CRssNode(RssNodeKind::Group, context), m_root(root)
{
}

void CRssGroup::AddChild(CRssNode* child, int index)
{
    CRssNode::AddChild(child, index);
    if (!m_loading)
        Notify(RssEvent::TreeChanged);
}

bool CRssGroup::RemoveChild(CRssNode* child)
{
    if (!CRssNode::RemoveChild(child))
        return false;
    Notify(RssEvent::TreeChanged);
    return true;
}

void CRssGroup::MarkRead(bool read)
{
    std::lock_guard lock(ChildrenLock());
    for (const CRefPtr<CRssNode>& node : LockedChildren()) {
        if (auto* channel = NodeCast<CRssChannel>(node.get()))
            channel->MarkAll(read);
        else if (auto* group = NodeCast<CRssGroup>(node.get()))
            group->MarkRead(read);
    }
}

int CRssGroup::UnreadCount() const
{
    int unread = 0;
    std::lock_guard lock(ChildrenLock());
    for (const CRefPtr<CRssNode>& node : LockedChildren()) {
        if (const auto* channel = NodeCast<CRssChannel>(node.get()))
            unread += channel->UnreadCount();
        else if (const auto* group = NodeCast<CRssGroup>(node.get()))
            unread += group->UnreadCount();
    }
    return unread;
}

void CRssGroup::Search(const QString& lowerText, CRssChannel& result)
{
    std::lock_guard lock(ChildrenLock());
    for (const CRefPtr<CRssNode>& node : LockedChildren()) {
        if (auto* channel = NodeCast<CRssChannel>(node.get()))
            channel->Search(lowerText, result);
        else if (auto* group = NodeCast<CRssGroup>(node.get()))
            group->Search(lowerText, result);
    }
}
