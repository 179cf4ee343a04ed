#pragma once

#include "RssTypes.h"

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;
class CRssNode;

// How many news a channel or group newspaper holds at most: the newest ones. A page of
// every news of a big channel takes seconds to make and to show, and nobody reads it.
constexpr int kNewspaperNewsLimit = 300;

// Appends the node's newspaper element (itemnewspaper, channelnewspaper or groupnewspaper)
// to parent, from which the reading styles make the reading pane's page. When parent is
// the document itself the element becomes the document element. An item outside a
// channel fails with kGenericFailure and appends nothing.
//
// Channel and group newspapers hold the newest newsLimit news that are not deleted (of
// all the group's channels together), each channel's in the news list's order. A channel
// element that leaves news out tells how many in its attributes "more" and "moreunread".
RssResult BuildNewspaper(CRssNode& node, xmlDoc* doc, xmlNode* parent,
                         int newsLimit = kNewspaperNewsLimit);
