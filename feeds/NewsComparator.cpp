#include "NewsComparator.h"

#include "CRssItem.h"

#include <algorithm>

namespace {

enum Column
{
    Unread = 0,
    State,
    Title,
    Date,
    Author,
    Category,
    Source,
    ColumnCount
};

// -1 when the value names no column.
int ColumnOf(int sortValue)
{
    const int column = sortValue > 0 ? sortValue - 1 : -(sortValue + 1);
    return sortValue != 0 && column < ColumnCount ? column : -1;
}

template <class T> int Order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareColumn(const CRssItem& a, const CRssItem& b, int column)
{
    switch (column) {
    case Unread:
        return Order(!a.unread, !b.unread);
    case State:
        return Order(int(a.State()), int(b.State()));
    case Title:
        return a.DisplayTitle().compare(b.DisplayTitle(), Qt::CaseSensitive);
    case Date:
        return Order(a.publicationTime, b.publicationTime);
    case Author:
        return a.Author().compare(b.Author(), Qt::CaseSensitive);
    case Category:
        return a.Category().compare(b.Category(), Qt::CaseSensitive);
    default:
        return 0;
    }
}

} // namespace

int CompareItems(const CRssItem& a, const CRssItem& b, int sortValue)
{
    const int column = ColumnOf(sortValue);
    if (column < 0)
        return 0;
    const int result = CompareColumn(a, b, column);
    return sortValue < 0 ? -result : result;
}

void SortItems(std::vector<CRssItem*>& items, int sortValue)
{
    const int column = ColumnOf(sortValue);
    if (column < 0 || column == Source)
        return;
    // The state may change on a worker while sorting; reading it once per item keeps the
    // order strict, so the sort can never run past the ends.
    if (column == State) {
        std::vector<std::pair<int, CRssItem*>> keyed;
        keyed.reserve(items.size());
        for (CRssItem* item : items)
            keyed.emplace_back(int(item->State()), item);
        const bool descending = sortValue < 0;
        std::sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            return descending ? b.first < a.first : a.first < b.first;
        });
        std::transform(keyed.begin(), keyed.end(), items.begin(),
                       [](const auto& k) { return k.second; });
        return;
    }
    // The shown titles are made once per item, not at every comparison.
    if (column == Title) {
        std::vector<std::pair<QString, CRssItem*>> keyed;
        keyed.reserve(items.size());
        for (CRssItem* item : items)
            keyed.emplace_back(item->DisplayTitle(), item);
        const bool descending = sortValue < 0;
        std::sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            const int order = a.first.compare(b.first, Qt::CaseSensitive);
            return descending ? order > 0 : order < 0;
        });
        std::transform(keyed.begin(), keyed.end(), items.begin(),
                       [](const auto& k) { return k.second; });
        return;
    }
    std::sort(items.begin(), items.end(), [sortValue](const CRssItem* a, const CRssItem* b) {
        return CompareItems(*a, *b, sortValue) < 0;
    });
}
