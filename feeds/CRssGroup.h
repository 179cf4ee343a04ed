#pragma once

#include "CRssNode.h"

#include <QString>

class CRssChannel;

// A group of channels and further groups. The document's root group is named "My Feeds".
class CRssGroup : public CRssNode
{
public:
    static constexpr RssNodeKind StaticKind = RssNodeKind::Group;
    static CRefPtr<CRssGroup> Create(CFeedContext* context, bool root = false);

    // Window thread only, like every change of the tree's shape.
    QString Name() const { return m_name; }
    void Rename(const QString& name) { m_name = name; }
    bool IsRoot() const { return m_root; }
    bool Expanded() const { return m_expanded; }
    void SetExpanded(bool expanded) { m_expanded = expanded; }
    // Set while the group reads its children from the OPML file: no TreeChanged then.
    bool Loading() const { return m_loading; }
    void SetLoading(bool loading) { m_loading = loading; }

    // Both post TreeChanged (adding: unless loading; removing: when something went).
    void AddChild(CRssNode* child, int index = -1) override;
    bool RemoveChild(CRssNode* child) override;

    // Every channel marks all its items read or unread; child groups recurse.
    void MarkRead(bool read);
    // The unread news of every channel, child groups included, from the channels' counts:
    // as cheap as the tree is wide, whatever the number of news.
    int UnreadCount() const;
    // Every channel adds copies of its items matching lowerText to result; groups recurse.
    void Search(const QString& lowerText, CRssChannel& result);

private:
    CRssGroup(CFeedContext* context, bool root);

    QString m_name;
    const bool m_root;
    bool m_expanded = true;
    bool m_loading = false;
};
