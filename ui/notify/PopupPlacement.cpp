#include "PopupPlacement.h"

#include <algorithm>
#include <cmath>

PanelEdge PanelEdgeOf(const PopupScreen& area)
{
    const QRect& s = area.screen;
    const QRect& w = area.workArea;
    if (w.bottom() < s.bottom())
        return PanelEdge::Bottom;
    if (w.top() > s.top())
        return PanelEdge::Top;
    if (w.right() < s.right())
        return PanelEdge::Right;
    if (w.left() > s.left())
        return PanelEdge::Left;
    return PanelEdge::Bottom;
}

std::optional<QRect> PlaceNewPopup(PanelEdge edge, const QRect& workArea,
                                   const QList<QRect>& stacked, QSize size)
{
    // Exclusive edges: a popup's bottom is top + height.
    const int workTop = workArea.y();
    const int workBottom = workArea.y() + workArea.height();
    const int workLeft = workArea.x();
    const int workRight = workArea.x() + workArea.width();
    const int w = size.width();
    const int h = size.height();

    QRect placed;
    if (edge == PanelEdge::Top) {
        int stackEdge = workTop;
        for (const QRect& r : stacked)
            stackEdge = std::max(stackEdge, r.y() + r.height());
        placed = QRect(workRight - kPopupGap - w, stackEdge + kPopupGap, w, h);
    } else {
        int stackEdge = workBottom;
        for (const QRect& r : stacked)
            stackEdge = std::min(stackEdge, r.y());
        const int left = edge == PanelEdge::Left ? workLeft + kPopupGap : workRight - kPopupGap - w;
        placed = QRect(left, stackEdge - kPopupGap - h, w, h);
    }
    const QRect room = workArea.adjusted(kPopupGap, kPopupGap, -kPopupGap, -kPopupGap);
    if (!room.contains(placed))
        return std::nullopt;
    return placed;
}

QList<PopupMove> CloseGap(PanelEdge edge, const QRect& closing, const QList<QRect>& others)
{
    const bool fromTop = edge == PanelEdge::Top;
    const int step = closing.height() + kPopupGap;
    QList<PopupMove> moves;
    for (int i = 0; i < others.size(); ++i) {
        const QRect& r = others[i];
        const bool beyond =
            fromTop ? r.y() >= closing.y() + closing.height() : r.y() + r.height() <= closing.y();
        if (beyond)
            moves.append({i, r.translated(0, fromTop ? -step : step)});
    }
    std::sort(moves.begin(), moves.end(), [&](const PopupMove& a, const PopupMove& b) {
        return fromTop ? a.to.y() < b.to.y() : a.to.y() > b.to.y();
    });
    return moves;
}

namespace {

// The direction the content moves in, by edge: bottom, top, left, right.
QPoint Toward(PanelEdge edge, const QPoint (&byEdge)[4])
{
    return byEdge[int(edge)];
}

PopupEffect Effect(int kind, PanelEdge edge, bool appear)
{
    const bool roll = kind & 0x10;
    const int base = kind & ~0x10;
    if (base == 2)
        return {PopupEffectShape::Fade, {}};
    if (base == 4)
        return {PopupEffectShape::Centre, {}};
    static const QPoint straightIn[4] = {{0, -1}, {0, 1}, {1, 0}, {-1, 0}};
    static const QPoint straightOut[4] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};
    static const QPoint diagonalIn[4] = {{-1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
    static const QPoint diagonalOut[4] = {{1, 1}, {1, -1}, {-1, 1}, {1, 1}};
    QPoint motion;
    if (base == 1)
        motion = Toward(edge, appear ? straightIn : straightOut);
    else if (base == 8)
        motion = Toward(edge, appear ? diagonalIn : diagonalOut);
    else
        return {};
    // Content that moves left enters through the right side and leaves through the left.
    return {roll ? PopupEffectShape::Roll : PopupEffectShape::Slide, appear ? -motion : motion};
}

// One axis: the window's span [start, start + length) of the home span, and the content's
// offset inside it.
void Axis(PopupEffectShape shape, int side, int homeStart, int full, qreal shown, int& start,
          int& length, int& offset)
{
    length = side == 0 && shape != PopupEffectShape::Centre
                 ? full
                 : std::max(1, int(std::lround(full * shown)));
    if (shape == PopupEffectShape::Centre) {
        start = homeStart + (full - length) / 2;
        offset = -(full - length) / 2;
        return;
    }
    start = side > 0 ? homeStart + full - length : homeStart;
    // A slide shows the content's leading part at the opening side; a roll keeps the
    // content still and uncovers it.
    const bool shiftContent = shape == PopupEffectShape::Slide ? side < 0 : side > 0;
    offset = shiftContent ? length - full : 0;
}

} // namespace

PopupEffect AppearEffect(int kind, PanelEdge edge)
{
    return Effect(kind, edge, true);
}

PopupEffect DisappearEffect(int kind, PanelEdge edge)
{
    return Effect(kind, edge, false);
}

PopupFrame EffectFrame(const PopupEffect& effect, const QRect& home, qreal shown)
{
    if (effect.shape == PopupEffectShape::None || effect.shape == PopupEffectShape::Fade)
        return {home, {}};
    shown = std::clamp(shown, 0.0, 1.0);
    int x, width, offsetX, y, height, offsetY;
    Axis(effect.shape, effect.side.x(), home.x(), home.width(), shown, x, width, offsetX);
    Axis(effect.shape, effect.side.y(), home.y(), home.height(), shown, y, height, offsetY);
    return {QRect(x, y, width, height), QPoint(offsetX, offsetY)};
}
