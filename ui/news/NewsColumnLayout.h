#pragma once

#include "NewsColumns.h"

#include <QList>
#include <array>

class QSettings;

// Which columns the news list shows, in which order, and how the proportional columns
// share the width. Kept in the settings store's "Items" section between runs.
class NewsColumnLayout
{
public:
    static constexpr int kWhole = 10000; // shares are in units of 1/10000 of the width
    using PerKind = std::array<int, kNewsColumnCount>;

    // Shares by kind; column kinds in display order, -1 for an empty slot.
    PerKind shares{0, 0, 6600, 3400, 2000, 2000, 2000};
    PerKind order{NewsColumnRead, NewsColumnState, NewsColumnTitle, NewsColumnDate, -1, -1, -1};

    // The stored layout when both entries are there with 28 bytes each and make sense;
    // the defaults otherwise.
    static NewsColumnLayout Load(QSettings& store);
    void Save(QSettings& store) const;

    static bool IsIconColumn(int kind) { return kind == NewsColumnRead || kind == NewsColumnState; }
    bool IsShown(int kind) const;
    QList<int> Visible() const; // kinds in display order
    // Keeps the shown kinds in ascending order; the Title column is always shown.
    void Show(int kind);
    void Hide(int kind);

    // Column widths by kind (0 for hidden columns) for a client `width` pixels wide. Shares
    // of the shown proportional columns that do not add up to the whole are rescaled so
    // they do, the last one taking what rounding leaves.
    PerKind Widths(int width, int iconWidth);

    // The divider right of column `kind` is dragged until the column is `width` pixels
    // wide; the next column gives up what this one gains, so the total stays. Returns
    // false, changing nothing, for a column whose divider does not move (an icon column or
    // the last one). `widths` are the current widths by kind and are updated.
    bool DragDivider(int kind, int width, int clientWidth, PerKind& widths);
};
