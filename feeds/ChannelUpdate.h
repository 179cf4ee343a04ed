#pragma once

// One channel's update, the work behind F5 and the update timer: CRssChannel::Download
// (declared in CRssChannel.h, defined in ChannelUpdate.cpp) fetches the feed, or reads the
// channel file, and hands the document to MergeFeedDocument (FeedMerge.h). The update job
// that runs it on a worker is in UpdateSchedule.h.

#include "XmlHelpers.h"

#include <QByteArray>
#include <QString>

class CRssChannel;

// What a live download fetched: a document with the validators it came with, or word
// that the copy held is current.
struct LiveFeed
{
    XmlDocPtr doc;
    bool notModified = false;
    QByteArray etag;
    QByteArray lastModified;
};

// Fetches the feed at url with the channel's validators. Notes a permanent redirect and a
// server's request to wait on the channel. A null document with the reason in error when
// nothing usable came.
LiveFeed FetchLiveFeed(CRssChannel& channel, const QString& url, XmlLoadError& error);
