#include "UpdateSchedule.h"

#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "IJobQueue.h"

namespace {

constexpr int kRefreshList = 0;

} // namespace

void RequestUpdate(CRssChannel& channel, bool urgent)
{
    IJobQueue* queue = channel.Context()->DownloadQueue();
    if (!queue || channel.HoldUpdate(urgent))
        return;
    const int state = channel.DownloadState();
    if (state == CRssChannel::Downloading ||
        !channel.TrySetDownloadState(state, CRssChannel::Downloading))
        return;
    // No download of the channel runs now: its URL may change.
    channel.ApplyPendingMove();
    channel.Notify(RssEvent::ChannelChanged);
    queue->Post(ChannelDownloadJob, &channel, kRefreshList, urgent);
}

void UpdateGroup(CRssGroup& group, bool autoUpdateOnly)
{
    const qint64 now = group.Context()->Now();
    std::lock_guard lock(group.ChildrenLock());
    for (const CRefPtr<CRssNode>& child : group.LockedChildren()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            // A server that asked to wait is left alone until then; the user's own
            // update of the channel still goes.
            if (channel->RetryAfter() > now)
                continue;
            if (!autoUpdateOnly || channel->AutoUpdate())
                RequestUpdate(*channel, false);
        } else if (auto* sub = NodeCast<CRssGroup>(child.get())) {
            UpdateGroup(*sub, autoUpdateOnly);
        }
    }
}

void ChannelDownloadJob(CRefCounted* argument)
{
    auto* channel = static_cast<CRssChannel*>(argument);
    if (channel->DownloadState() != CRssChannel::Downloading)
        return;
    const RssResult result =
        channel->Download(channel->Url(), FeedOrigin::Live, ChannelNotice::Post);
    channel->Notify(RssEvent::ChannelReloaded);
    channel->SetDownloadState(result == kResultOk ? CRssChannel::Downloaded
                                                  : CRssChannel::DownloadFailed);
    channel->Notify(RssEvent::ChannelChanged);
}
