#include "RemoteContentPolicy.h"

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"

namespace {

bool ChannelAllows(const CRssChannel& channel, bool loadRemote)
{
    switch (channel.RemoteImagesChoice()) {
    case CRssChannel::RemoteImages::Always:
        return true;
    case CRssChannel::RemoteImages::Never:
        return false;
    case CRssChannel::RemoteImages::FollowOption:
        break;
    }
    return loadRemote;
}

} // namespace

bool PageMayLoadRemoteContent(CRssNode& node, bool loadRemote)
{
    if (auto* item = NodeCast<CRssItem>(&node)) {
        const CRefPtr<CRssChannel> channel = item->Channel();
        return channel ? ChannelAllows(*channel, loadRemote) : loadRemote;
    }
    if (auto* channel = NodeCast<CRssChannel>(&node))
        return ChannelAllows(*channel, loadRemote);
    // A group's page holds the news of its own channels, not those of its sub-groups.
    bool anyChannel = false;
    bool everyChannel = true;
    std::lock_guard lock(node.ChildrenLock());
    for (const CRefPtr<CRssNode>& child : node.LockedChildren()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            anyChannel = true;
            everyChannel = everyChannel && ChannelAllows(*channel, loadRemote);
        }
    }
    return anyChannel ? everyChannel : loadRemote;
}
