#pragma once

#include <QByteArray>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;
class CRssChannel;
class CRssItem;

// Which items a channel element holds.
enum class ChannelItems {
    All,               // the channel file: every item in list order, deleted ones too
    SortedNotDeleted,  // newspapers: items not deleted, in the news list's order
    None,              // only the channel info
};

// The whole channel file as it is stored.
QByteArray SerializeChannelFile(CRssChannel& channel);

// Appends the channel element (info children, then items) to parent at the given indent.
xmlNode* AppendChannelElement(xmlDoc* doc, xmlNode* parent, CRssChannel& channel,
                              ChannelItems items, int indent);
// Writes the item's attributes and children into itemElement, with the title as shown (for
// newspapers).
void WriteItemElement(xmlDoc* doc, xmlNode* itemElement, const CRssItem& item, int indent);
