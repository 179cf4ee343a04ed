#pragma once

#include "CRssItem.h"

#include <QString>
#include <vector>

class CFeedContext;

// The news of a channel file as stored, read without building the channel: for commands
// that only look. The program's own channel files escape every '<' in text and hold no
// CDATA, so a plain scan reads them exactly; any file that is not plainly such a file is
// refused (false), and the caller loads it the usual way instead.

struct StoredCounts {
    int unread = 0; // not deleted and unread
    int total = 0;  // not deleted
};
bool CountStoredNews(const QString& path, StoredCounts& counts);

// The items not deleted, as the loader makes them, each with the channel as its parent only
// for naming its files; unreadOnly leaves the read ones out. Their times and flags are set;
// their identities and voice states only once CompleteStoredItem is called, since most
// lists show only a few of them.
bool ReadStoredNews(const QString& path, CFeedContext& context, CRssNode& channel,
                    bool unreadOnly, std::vector<CRefPtr<CRssItem>>& items);
void CompleteStoredItem(CRssItem& item);
