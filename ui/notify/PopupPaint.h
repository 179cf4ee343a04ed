#pragma once

#include <QFont>
#include <QSize>
#include <QString>

class CThemeColors;
class QPainter;

// The look every news popup shares: a header band in the header colours over a body in
// the bar colours, a one-pixel border, the header text and the lines below it.
namespace PopupPaint {

// The fonts of a popup: the desktop's normal font, and the same in bold without underline.
QFont NormalFont();
QFont BoldFont();

// Header band (bold line height + 6 high), body, border.
void Background(QPainter& painter, QSize size, int boldHeight, const CThemeColors& theme);
// The header text in the bold font, single line, cut at a word with an ellipsis.
void HeaderText(QPainter& painter, QSize size, int boldHeight, const QFont& bold,
                const QString& text, const CThemeColors& theme);
// Line `index` below the header band, black in the normal font, cut like the header.
void LineText(QPainter& painter, QSize size, int boldHeight, int normalHeight, int index,
              const QFont& normal, const QString& text);

// `text` as it fits in `width` pixels: whole, or cut after the last word that fits
// (within the word when a single word is too long) and ended with an ellipsis.
QString ElideAtWord(const QFont& font, const QString& text, int width);

} // namespace PopupPaint
