#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Where news popups go: along the edge of the screen that holds the panel, stacked from
// the panel's corner outward, 5 pixels apart and 5 pixels inside the work area.

enum class PanelEdge
{
    Bottom,
    Top,
    Left,
    Right
};

// A screen and the part of it that windows may use (the screen less its panels).
struct PopupScreen
{
    QRect screen;
    QRect workArea;
};

constexpr int kPopupGap = 5;

// The edge where the work area leaves part of the screen out. Several panels: bottom, then
// top, right, left. No panel at all: the bottom, so popups still rise from a corner.
PanelEdge PanelEdgeOf(const PopupScreen& area);

// The rectangle of a new popup of `size` beyond the `stacked` ones, or nothing when it
// would not lie wholly inside the work area less the gap.
std::optional<QRect> PlaceNewPopup(PanelEdge edge, const QRect& workArea,
                                   const QList<QRect>& stacked, QSize size);

struct PopupMove
{
    int index; // into the list given
    QRect to;
};

// The popups further from the panel than `closing` move toward it by its height and the
// gap, nearest to the panel first.
QList<PopupMove> CloseGap(PanelEdge edge, const QRect& closing, const QList<QRect>& others);

// Which way a popup's content travels as it appears or disappears. Kinds: 1 slide
// straight in from the panel and back, 2 fade, 4 grow from and shrink to the centre,
// 8 slide diagonally; with 0x10 the straight and diagonal kinds roll open in place
// instead of sliding; anything else shows and hides at once.
enum class PopupEffectShape
{
    None,
    Fade,
    Centre,
    Slide,
    Roll
};

struct PopupEffect
{
    PopupEffectShape shape = PopupEffectShape::None;
    // The side the content enters from or leaves through: -1, 0 or 1 on each axis
    // (x: left, right; y: top, bottom).
    QPoint side;
};

PopupEffect AppearEffect(int kind, PanelEdge edge);
PopupEffect DisappearEffect(int kind, PanelEdge edge);

// One frame of an effect: the window's rectangle and where the full-size content sits
// inside it, at `shown` (0 gone, 1 whole).
struct PopupFrame
{
    QRect window;
    QPoint contentOffset;
};

PopupFrame EffectFrame(const PopupEffect& effect, const QRect& home, qreal shown);
