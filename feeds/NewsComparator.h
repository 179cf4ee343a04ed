#pragma once

#include <vector>

class CRssItem;

// The news list's order, also used by the newspapers. sortValue is the preference: +(column
// + 1) ascending, -(column + 1) descending, with the columns 0 unread first, 1 state,
// 2 title, 3 publication time, 4 author, 5 category, 6 source (all equal). Texts compare
// by code units, case-sensitively.

// Negative, zero or positive as a sorts before, with or after b.
int CompareItems(const CRssItem& a, const CRssItem& b, int sortValue);
// Sorts in place; equal items keep no defined order. A value naming no column (0 or out
// of range) leaves the list as it is.
void SortItems(std::vector<CRssItem*>& items, int sortValue);
