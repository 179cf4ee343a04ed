#include "PopupPaint.h"

#include "CThemeColors.h"
#include "ThemePaint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace PopupPaint {

namespace {

constexpr int kInset = 3;

} // namespace

QFont NormalFont()
{
    return QApplication::font();
}

QFont BoldFont()
{
    QFont bold = NormalFont();
    bold.setWeight(QFont::Bold);
    bold.setUnderline(false);
    return bold;
}

void Background(QPainter& painter, QSize size, int boldHeight, const CThemeColors& theme)
{
    const int band = boldHeight + 6;
    ThemePaint::FillGradient(painter, QRectF(0, 0, size.width(), band),
                             theme.color(CThemeColors::HeaderTop),
                             theme.color(CThemeColors::HeaderBottom));
    ThemePaint::FillGradient(painter, QRectF(0, band, size.width(), size.height() - band),
                             theme.color(CThemeColors::BarTop),
                             theme.color(CThemeColors::BarBottom));
    ThemePaint::DrawBorder(painter, QRect(QPoint(0, 0), size),
                           theme.color(CThemeColors::HeaderBottom));
}

void HeaderText(QPainter& painter, QSize size, int boldHeight, const QFont& bold,
                const QString& text, const CThemeColors& theme)
{
    const QRect band(kInset, kInset, size.width() - 2 * kInset, boldHeight + 3);
    painter.setFont(bold);
    painter.setPen(theme.color(CThemeColors::SelectionText));
    painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     ElideAtWord(bold, text, band.width()));
}

void LineText(QPainter& painter, QSize size, int boldHeight, int normalHeight, int index,
              const QFont& normal, const QString& text)
{
    const QRect line(kInset, boldHeight + 9 + index * normalHeight, size.width() - 2 * kInset,
                     normalHeight);
    painter.setFont(normal);
    painter.setPen(Qt::black);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     ElideAtWord(normal, text, line.width()));
}

QString ElideAtWord(const QFont& font, const QString& text, int width)
{
    const QFontMetrics metrics(font);
    const QString simple = text.simplified();
    const QString cut = metrics.elidedText(simple, Qt::ElideRight, width);
    if (cut == simple)
        return simple;
    // Qt cuts anywhere; go back to the end of the last whole word that fits.
    const QString ellipsis(QChar(0x2026));
    QString kept = cut.endsWith(ellipsis) ? cut.chopped(1) : cut;
    const bool wholeWord = kept.size() < simple.size() && simple.at(kept.size()).isSpace();
    if (!wholeWord) {
        const qsizetype space = kept.lastIndexOf(u' ');
        if (space > 0)
            kept.truncate(space);
    }
    return kept.trimmed() + ellipsis;
}

} // namespace PopupPaint
