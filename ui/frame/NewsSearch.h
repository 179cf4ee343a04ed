#pragma once

#include <QString>

class CRssReaderDoc;

// Replaces the document's "Search Result" channel with copies of every item of the feed
// tree whose title or text holds `text`, in any case; an empty text matches every item.
// Without a match the channel holds one read item that says so. Returns the matches.
int RunNewsSearch(CRssReaderDoc& document, const QString& text);
