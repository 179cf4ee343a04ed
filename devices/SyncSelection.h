#pragma once

#include "CRssItem.h"

#include <QString>
#include <vector>

class CRssChannel;
class CRssGroup;

// One line of the synchronisation list: a channel's heading, or a news item whose MP3
// file is ready, with that file and its size.
struct SyncRow
{
    bool heading = false;
    QString title;   // the channel's name on a heading
    qint64 time = 0; // publication time, seconds since 1970 UTC
    qint64 size = 0;
    QString mp3;
    CRefPtr<CRssItem> item;
    bool ticked = true;
};

// The news whose MP3 file is ready, channel by channel through the whole tree, each
// channel's rows under a heading with its name. Deleted items and missing files are left
// out, as are channels that give no row.
std::vector<SyncRow> CollectSyncRows(CRssGroup& root);
// The same for the channels given, in their order.
std::vector<SyncRow> CollectSyncRows(const std::vector<CRefPtr<CRssChannel>>& channels);
