#include "CRssNode.h"

#include "CAppServices.h"
#include "CFeedContext.h"

#include <algorithm>

CRssNode::CRssNode(RssNodeKind kind, CFeedContext* context) : m_kind(kind), m_context(context) {}

CRssNode::~CRssNode()
{
    // Children outliving this node (held by a view or a job) must not point back at it.
    // Until a child's link is cleared, Parent() on another thread may still look at our
    // count (it finds 0 and gives nothing), so this must happen before the memory goes.
    for (const CRefPtr<CRssNode>& child : m_children)
        child->SetParent(nullptr);
}

CRefPtr<CRssNode> CRssNode::Parent() const
{
    // The parent's last reference may be going on another thread right now: its count is
    // then 0 and it is destroyed whatever we do, so take a reference only while the count
    // is above zero. The link itself stays valid while we hold our parent lock, since the
    // dying parent clears it under that lock before its memory goes.
    std::lock_guard lock(m_parentLock);
    if (m_parent == nullptr || !m_parent->TryAddRef())
        return {};
    return CRefPtr<CRssNode>::Adopt(m_parent);
}

void CRssNode::SetParent(CRssNode* parent)
{
    std::lock_guard lock(m_parentLock);
    m_parent = parent;
}

void CRssNode::AddChild(CRssNode* child, int index)
{
    std::lock_guard lock(m_childrenLock);
    child->SetParent(this);
    CRefPtr<CRssNode> ref(child);
    if (index < 0 || size_t(index) >= m_children.size())
        m_children.push_back(std::move(ref));
    else
        m_children.insert(m_children.begin() + index, std::move(ref));
}

bool CRssNode::RemoveChild(CRssNode* child)
{
    CRefPtr<CRssNode> removed; // released after the lock is dropped
    {
        std::lock_guard lock(m_childrenLock);
        auto it = std::find_if(m_children.begin(), m_children.end(),
                               [child](const CRefPtr<CRssNode>& c) { return c.get() == child; });
        if (it == m_children.end())
            return false;
        child->SetParent(nullptr);
        removed = std::move(*it);
        m_children.erase(it);
    }
    return true;
}

void CRssNode::Clear()
{
    Children removed;
    {
        std::lock_guard lock(m_childrenLock);
        for (const CRefPtr<CRssNode>& child : m_children)
            child->SetParent(nullptr);
        removed.swap(m_children);
    }
}

CRssNode::Children CRssNode::ChildrenSnapshot() const
{
    std::lock_guard lock(m_childrenLock);
    return m_children;
}

int CRssNode::ChildCount() const
{
    std::lock_guard lock(m_childrenLock);
    return int(m_children.size());
}

void CRssNode::Notify(RssEvent code)
{
    if (m_context)
        m_context->App().NotifyAll(code, this);
}
