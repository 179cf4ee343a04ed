#pragma once

#include <QString>

class CRssNode;
typedef struct _xmlDoc xmlDoc;

// Makes the reading pane's page of a node: its newspaper XML transformed by a reading
// style into HTML, written to pageFile as UTF-16LE text behind the byte-order mark FF FE.
// False when the style does not load or apply, or the page file cannot be written; the
// node failing to write its newspaper is not an error (the style then sees an empty
// document).
bool WriteNewspaperPage(CRssNode& node, const QString& styleFile, const QString& pageFile);

// The same for a newspaper document already made (the welcome page's, for one).
bool WriteStyledPage(xmlDoc* newspaper, const QString& styleFile, const QString& pageFile);
