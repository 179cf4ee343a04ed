#pragma once

class CRssGroup;
class CRssReaderDoc;
class QString;
class QWidget;

// File > Import subscriptions...: an OPML file from another news reader, merged under the
// selected group (or the whole tree), then saved, with a report of what came in.
void ImportSubscriptions(CRssReaderDoc& doc, QWidget* parent);
// File > Export subscriptions...: the selected group (or the whole tree) as an OPML file
// that other news readers import.
void ExportSubscriptions(CRssReaderDoc& doc, QWidget* parent);

// The file of example feeds shipped beside the reading styles ("Examples.opml" in the
// styles folder); the environment variable CALVORIA_EXAMPLE_FEEDS may name another.
QString ExampleFeedsFile(const QString& stylesFolder);
// The welcome page's example feeds: the file's group "Examples" merged into the tree like
// an import (feeds already there are left out), saved, selected and updated. Deleting the
// group removes them again. Null, after telling the person why, when the file is unusable.
CRssGroup* AddExampleFeeds(CRssReaderDoc& doc, const QString& file, QWidget* parent);
