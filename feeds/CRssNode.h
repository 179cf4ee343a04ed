#pragma once

#include "CRefCounted.h"
#include "RssEvent.h"
#include "RssTypes.h"

#include <mutex>
#include <vector>

class CFeedContext;

// A node of the feed tree: a group, a channel or a news item. Children are held by
// counted references under the children lock; every walk of the children holds that lock
// for the whole walk. A thread holding a node's children lock may take a child's children
// lock, never the reverse. The lock is recursive: operations called during a walk (a
// recount, a notification) may take it again.
class CRssNode : public CRefCounted
{
public:
    using Children = std::vector<CRefPtr<CRssNode>>;

    RssNodeKind Kind() const { return m_kind; }
    bool IsItem() const { return m_kind == RssNodeKind::Item; }
    bool IsChannel() const { return m_kind == RssNodeKind::Channel; }
    bool IsGroup() const { return m_kind == RssNodeKind::Group; }

    CFeedContext* Context() const { return m_context; }

    // All zero until computed; groups never compute one.
    const RssIdentity& Identity() const { return m_identity; }
    void SetIdentity(const RssIdentity& id) { m_identity = id; }

    // The containing node, with a reference; null when there is none or when it is being
    // destroyed on another thread.
    CRefPtr<CRssNode> Parent() const;
    void SetParent(CRssNode* parent);

    // Adds a reference to child, makes this node its parent, inserts it at index (appends
    // when index is negative or past the end).
    virtual void AddChild(CRssNode* child, int index = -1);
    // False when child is not a child of this node.
    virtual bool RemoveChild(CRssNode* child);
    // Releases and removes all children.
    virtual void Clear();

    std::recursive_mutex& ChildrenLock() const { return m_list->lock; }
    // The children array; the caller holds ChildrenLock(). An item's stays empty.
    Children& LockedChildren() { return m_list->children; }
    const Children& LockedChildren() const { return m_list->children; }
    // A copy of the children array taken under the lock.
    Children ChildrenSnapshot() const;
    int ChildCount() const;

    // Posts a notification about this node to the window thread.
    void Notify(RssEvent code);

protected:
    CRssNode(RssNodeKind kind, CFeedContext* context);
    ~CRssNode() override;

private:
    struct ChildList
    {
        std::recursive_mutex lock;
        Children children;
    };
    // A channel holds tens of thousands of items, which never have children: they all
    // share one empty list instead of carrying a lock and an array each.
    static ChildList& LeafList();
    bool HasOwnList() const { return m_list != &LeafList(); }

    const RssNodeKind m_kind;
    CFeedContext* const m_context;
    RssIdentity m_identity{};
    CRssNode* m_parent = nullptr; // under a lock of a shared set, picked by address
    ChildList* const m_list;
};

// A counted reference of a node cast to one of its kinds (null when it is another kind).
template <class T> CRefPtr<T> NodeCast(const CRefPtr<CRssNode>& node)
{
    if (!node || node->Kind() != T::StaticKind)
        return {};
    return CRefPtr<T>(static_cast<T*>(node.get()));
}

template <class T> T* NodeCast(CRssNode* node)
{
    return node && node->Kind() == T::StaticKind ? static_cast<T*>(node) : nullptr;
}
