#pragma once

#include "RssTypes.h"

class CRssGroup;
class QString;

// data.opml: the feed tree between runs. Only the root group is written and read.

// Writes the tree as OPML to path (replacing the old file atomically) and saves every
// channel's file on the way. kGenericFailure when the OPML file cannot be written.
RssResult WriteOpmlFile(CRssGroup& root, const QString& path);
// Clears root and rebuilds it from the OPML file at path, loading each channel's stored
// file. Malformed outlines are dropped with their subtree; every failure is logged.
RssResult ReadOpmlFile(CRssGroup& root, const QString& path);
