#pragma once

#include <QByteArray>
#include <QRect>

// The window's stored placement, kept as the 44-byte record `Position/Info`: eleven signed
// 32-bit little-endian integers (length, flags, show command, minimised position,
// maximised position, normal rectangle with exclusive right and bottom).
struct WindowPlacement
{
    static constexpr int kSize = 44;
    enum ShowCommand { Normal = 1, Minimized = 2, Maximized = 3 };

    qint32 flags = 0;
    qint32 showCommand = Normal;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    QRect normal; // Qt's rectangle; right and bottom are inclusive here

    QByteArray ToBytes() const;
    // False, leaving `placement` alone, unless `bytes` is exactly one record.
    static bool FromBytes(const QByteArray& bytes, WindowPlacement& placement);
};

// The pane sizes stored as `Position/LayoutInfo`: tree width, news-list height (reading
// pane at the bottom), news-list width (reading pane at the right), in pixels; 0 for
// "use the default".
struct PaneLayout
{
    static constexpr int kSize = 12;

    qint32 treeWidth = 0;
    qint32 listHeight = 0;
    qint32 listWidth = 0;

    QByteArray ToBytes() const;
    static bool FromBytes(const QByteArray& bytes, PaneLayout& layout);
    // Replaces the sizes that do not fit a window of `windowSize` by their defaults: a
    // third of the width for the tree, half the height for the list above the reading
    // pane, half of what the tree leaves for the list beside it.
    PaneLayout FittedTo(const QSize& windowSize) const;
};
