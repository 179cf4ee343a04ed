#pragma once

#include "RssTypes.h"

#include <QStringList>

class CRssGroup;

// data.opml: the feed tree between runs. Only the root group is written and read.

// Writes the tree as OPML to path (replacing the old file atomically) and saves every
// channel's file on the way. kGenericFailure when the OPML file or any channel file could
// not be written; errors receives each failure's log line.
RssResult WriteOpmlFile(CRssGroup& root, const QString& path, QStringList* errors = nullptr);
// Clears root and rebuilds it from the OPML file at path, loading each channel's stored
// file. Malformed outlines are dropped with their subtree; every failure is logged. A file
// that does not read whole (damaged, or holding subscriptions that cannot be read) is kept
// aside and reported to the context, and what is whole in it is read. mayReplace tells
// whether a save may replace the file: false when a damaged file could not be kept aside
// or the path is not a regular file.
// With ChannelFiles::Later the channels are only marked unread (CRssChannel::FileRead) and
// their files are left to a CChannelFileReader.
enum class ChannelFiles { Read, Later };
RssResult ReadOpmlFile(CRssGroup& root, const QString& path, bool* mayReplace = nullptr,
                       ChannelFiles files = ChannelFiles::Read);
