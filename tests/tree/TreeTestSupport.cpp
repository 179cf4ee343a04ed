#include "TreeTestSupport.h"

using namespace Qt::Literals::StringLiterals;

TreeWorld::TreeWorld()
{
    doc.LoadNews();
    env.ClearNotifications();
}

CRssChannel* TreeWorld::AddChannel(CRssGroup& group, const QString& name, int unread)
{
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(name, u"http://127.0.0.1:9/"_s + name);
    channel->SetDownloadState(CRssChannel::Downloaded);
    channel->SetCounts(unread, unread + 2);
    group.AddChild(channel.get());
    return channel.get();
}

CRssGroup* TreeWorld::AddGroup(CRssGroup& parent, const QString& name)
{
    CRefPtr<CRssGroup> group = CRssGroup::Create(&env.context);
    group->Rename(name);
    parent.AddChild(group.get());
    return group.get();
}

QStringList ChildNames(const CRssNode& group)
{
    QStringList names;
    for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get()))
            names << channel->Name();
        else if (auto* sub = NodeCast<CRssGroup>(child.get()))
            names << sub->Name();
    }
    return names;
}
