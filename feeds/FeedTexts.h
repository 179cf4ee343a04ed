#pragma once

#include <QString>

typedef struct _xmlNode xmlNode;

// The trimmed text of a title, description or content element as an item keeps it. Base64
// content (mode="base64" in Atom 0.3; in Atom 1.0 a type that is a media type neither text
// nor XML) gives the text it encodes, when that is UTF-8 text; everything else gives the
// element's text.
QString FeedElementText(const xmlNode* element);

// A channel title as text: an HTML title (type "html", or a title that looks like HTML)
// without its markup and with its references decoded, an XHTML title on one line, a plain
// title as written.
QString ChannelTitleText(const xmlNode* title);
