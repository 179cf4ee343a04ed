#pragma once

class CRefCounted;
class CRssChannel;
class CRssGroup;

// Queues a download of the channel on list 0 of the download queue, unless one is queued
// or running already. Posts ChannelChanged so the tree shows the channel busy. A channel
// whose file is not read yet is updated once it is.
void RequestUpdate(CRssChannel& channel, bool urgent);
// Requests an update of every channel of the group and its sub-groups; autoUpdateOnly
// skips the channels that take no part in the timed update.
void UpdateGroup(CRssGroup& group, bool autoUpdateOnly);
// The download job of a channel (runs on a download worker).
void ChannelDownloadJob(CRefCounted* channel);
