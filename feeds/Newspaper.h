#pragma once

#include "RssTypes.h"

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;
class CRssNode;

// Appends the node's newspaper element (itemnewspaper, channelnewspaper or groupnewspaper)
// to parent, from which the reading styles make the reading pane's page. When parent is
// the document itself the element becomes the document element. An item outside a
// channel fails with kGenericFailure and appends nothing.
RssResult BuildNewspaper(CRssNode& node, xmlDoc* doc, xmlNode* parent);
