#pragma once

#include "RssTypes.h"

#include <QString>

typedef struct _xmlDoc xmlDoc;
class CRssChannel;

// Reads a loaded document into the channel: the channel info, then the items merged into
// its list under its children lock. Logs as a download does, from the channel info on, and
// ends with "Channel downloading done" on success. kind receives what the document was
// recognised as.
RssResult MergeFeedDocument(CRssChannel& channel, xmlDoc* doc, const QString& source,
                            FeedOrigin origin, ChannelNotice notice, RssFeedKind* kind = nullptr);
