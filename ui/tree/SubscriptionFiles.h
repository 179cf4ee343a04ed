#pragma once

class CRssReaderDoc;
class QWidget;

// File > Import subscriptions...: an OPML file from another news reader, merged under the
// selected group (or the whole tree), then saved, with a report of what came in.
void ImportSubscriptions(CRssReaderDoc& doc, QWidget* parent);
// File > Export subscriptions...: the selected group (or the whole tree) as an OPML file
// that other news readers import.
void ExportSubscriptions(CRssReaderDoc& doc, QWidget* parent);
