#pragma once

#include "RssTypes.h"

#include <QString>
#include <QtGlobal>

class CRssItem;

// The seven kinds of column of the news list, in their fixed order.
enum NewsColumn
{
    NewsColumnRead = 0,
    NewsColumnState = 1,
    NewsColumnTitle = 2,
    NewsColumnDate = 3,
    NewsColumnAuthor = 4,
    NewsColumnCategory = 5,
    NewsColumnSource = 6,
};
constexpr int kNewsColumnCount = 7;

// The column kind a sort preference names: +(kind + 1) ascending, -(kind + 1) descending;
// -1 for a value that names none (0, or out of range in a damaged settings record).
constexpr int SortKindOf(int sortValue)
{
    if (sortValue == 0 || sortValue > kNewsColumnCount || sortValue < -kNewsColumnCount)
        return -1;
    return sortValue > 0 ? sortValue - 1 : -sortValue - 1;
}

// Everything the news list reads from an item goes through these functions, so a change
// in how items keep their texts touches this file only.
namespace NewsColumns {

QString Header(int kind);
// The text a column shows for the item; the Read and State columns show none.
QString Text(const CRssItem& item, int kind);
// The plain description drawn under the title when the preview is on.
QString Preview(const CRssItem& item);
QString Link(const CRssItem& item);
bool IsUnread(const CRssItem& item);
bool IsDeleted(const CRssItem& item);
bool HasAudio(const CRssItem& item);
RssItemState State(const CRssItem& item);
// Words for screen readers: "Unread", "Read, podcast", "Voice ready"...
QString ReadWords(const CRssItem& item);
QString StateWords(RssItemState state);

// The value a row is sorted by in one column, read once per row before a sort.
struct SortKey
{
    qint64 number = 0;
    QString text;
};
SortKey KeyOf(const CRssItem& item, int kind);
// Negative, zero or positive as a sorts before, with or after b in ascending order.
int Compare(const SortKey& a, const SortKey& b, int kind);

} // namespace NewsColumns
