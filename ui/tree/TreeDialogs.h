#pragma once

#include "CRefCounted.h"

#include <QString>

class CRssChannel;
class CRssGroup;
class CRssReaderDoc;
class IFrameServices;
class QWidget;

// The frame's "new channel in a group" service: runs New Channel on a fresh channel; on OK
// appends it at the end of the group, selects it, starts its first download and saves the
// tree. Null when the person cancelled. With an address the dialog opens on it and
// verifies it at once.
CRefPtr<CRssChannel> RunNewChannel(QWidget* parent, CRssReaderDoc& document, CRssGroup& group,
                                   IFrameServices& frame, const QString& address = {});

// The frame's "new group in a group" service: runs New Group; on OK appends a group of
// that name at the end of the group, selects it and saves the tree.
CRefPtr<CRssGroup> RunNewGroup(QWidget* parent, CRssReaderDoc& document, CRssGroup& group);

// New Channel in properties mode on a subscribed channel; true after OK.
bool RunChannelProperties(QWidget* parent, CRssChannel& channel, IFrameServices& frame);

// Where new channels and groups go, and what import and export work on: the selected group
// when it is part of the feed tree; otherwise (nothing, a special channel, the favourites)
// the tree's root, "My Feeds".
CRssGroup& SelectedFeedGroup(CRssReaderDoc& document);
