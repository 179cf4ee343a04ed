#include "CRssNode.h"

#include "CAppServices.h"
#include "CFeedContext.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// The parent links are read and written briefly and rarely at the same time: a small set
// of locks shared by address serves them all, where a lock per node would cost every news
// item 40 bytes. Nothing else is locked while one of these is held.
std::mutex& ParentLock(const CRssNode* node)
{
    static std::mutex locks[64];
    return locks[(reinterpret_cast<std::uintptr_t>(node) >> 6) % std::size(locks)];
}

} // namespace

CRssNode::ChildList& CRssNode::LeafList()
{
    static ChildList leaf;
    return leaf;
}

CRssNode::CRssNode(RssNodeKind kind, CFeedContext* context)
    : m_kind(kind), m_context(context),
      m_list(kind == RssNodeKind::Item ? &LeafList() : new ChildList)
{
}

CRssNode::~CRssNode()
{
    if (!HasOwnList())
        return;
    // Children outliving this node (held by a view or a job) must not point back at it.
    // Until a child's link is cleared, Parent() on another thread may still look at our
    // count (it finds 0 and gives nothing), so this must happen before the memory goes.
    for (const CRefPtr<CRssNode>& child : m_list->children)
        child->SetParent(nullptr);
    delete m_list;
}

CRefPtr<CRssNode> CRssNode::Parent() const
{
    // The parent's last reference may be going on another thread right now: its count is
    // then 0 and it is destroyed whatever we do, so take a reference only while the count
    // is above zero. The link itself stays valid while we hold our parent lock, since the
    // dying parent clears it under that lock before its memory goes.
    std::lock_guard lock(ParentLock(this));
    if (m_parent == nullptr || !m_parent->TryAddRef())
        return {};
    return CRefPtr<CRssNode>::Adopt(m_parent);
}

void CRssNode::SetParent(CRssNode* parent)
{
    std::lock_guard lock(ParentLock(this));
    m_parent = parent;
}

void CRssNode::AddChild(CRssNode* child, int index)
{
    Q_ASSERT(HasOwnList());
    if (!HasOwnList())
        return;
    std::lock_guard lock(m_list->lock);
    Children& children = m_list->children;
    child->SetParent(this);
    CRefPtr<CRssNode> ref(child);
    if (index < 0 || size_t(index) >= children.size())
        children.push_back(std::move(ref));
    else
        children.insert(children.begin() + index, std::move(ref));
}

bool CRssNode::RemoveChild(CRssNode* child)
{
    if (!HasOwnList())
        return false;
    CRefPtr<CRssNode> removed; // released after the lock is dropped
    {
        std::lock_guard lock(m_list->lock);
        Children& children = m_list->children;
        auto it = std::find_if(children.begin(), children.end(),
                               [child](const CRefPtr<CRssNode>& c) { return c.get() == child; });
        if (it == children.end())
            return false;
        child->SetParent(nullptr);
        removed = std::move(*it);
        children.erase(it);
    }
    return true;
}

void CRssNode::Clear()
{
    if (!HasOwnList())
        return;
    Children removed;
    {
        std::lock_guard lock(m_list->lock);
        for (const CRefPtr<CRssNode>& child : m_list->children)
            child->SetParent(nullptr);
        removed.swap(m_list->children);
    }
}

CRssNode::Children CRssNode::ChildrenSnapshot() const
{
    if (!HasOwnList())
        return {};
    std::lock_guard lock(m_list->lock);
    return m_list->children;
}

int CRssNode::ChildCount() const
{
    if (!HasOwnList())
        return 0;
    std::lock_guard lock(m_list->lock);
    return int(m_list->children.size());
}

void CRssNode::Notify(RssEvent code)
{
    if (m_context)
        m_context->App().NotifyAll(code, this);
}
