#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace ThemePaint {

// A vertical linear gradient over rect: top colour at the top edge, bottom at the bottom.
void FillGradient(QPainter& painter, const QRectF& rect, const QColor& top, const QColor& bottom);

// A one-pixel frame drawn on the outermost pixels of rect (integer device-independent pixels).
void DrawBorder(QPainter& painter, const QRect& rect, const QColor& color);

} // namespace ThemePaint
