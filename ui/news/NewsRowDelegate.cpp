#include "NewsRowDelegate.h"

#include "CThemeColors.h"
#include "NewsColumns.h"
#include "NewsListModel.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace {

// Strip images: 0 unread, 1 read, 2 magnifier, 3 clock, 4 no entry, 5 blue note,
// 6 grey note, 7 and 8 unread and read with a note, 9 download arrow.
int ReadImage(const QModelIndex& cell)
{
    const bool unread = cell.data(NewsListModel::UnreadRole).toBool();
    if (cell.data(NewsListModel::HasAudioRole).toBool())
        return unread ? 7 : 8;
    return unread ? 0 : 1;
}

int StateImage(RssItemState state)
{
    switch (state) {
    case RssItemState::PageCached:
        return 3;
    case RssItemState::DownloadPending:
        return 2;
    case RssItemState::Ready:
        return 5;
    case RssItemState::Failed:
        return 4;
    case RssItemState::FileMissing:
        return 6;
    case RssItemState::PodcastPending:
        return 9;
    default:
        return -1;
    }
}

} // namespace

NewsRowDelegate::NewsRowDelegate(const CThemeColors& theme, QObject* parent)
    : QStyledItemDelegate(parent), m_theme(theme)
{
    SetFont(QFont());
}

void NewsRowDelegate::SetFont(const QFont& font)
{
    m_font = font;
    m_bold = font;
    m_bold.setWeight(QFont::Bold);
}

void NewsRowDelegate::SetPreview(bool on, int lines)
{
    m_preview = on;
    m_lines = std::clamp(lines, 1, 9);
}

int NewsRowDelegate::LineHeight() const
{
    return QFontMetrics(m_font).height();
}

int NewsRowDelegate::RowHeight() const
{
    const int line = LineHeight();
    // The preview lines are spaced by the font's line spacing, so the last one is whole.
    return line + 4 + (m_preview ? m_lines * QFontMetrics(m_font).lineSpacing() + 4 : 0);
}

QSize NewsRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 100, RowHeight()};
}

NewsRowDelegate::Colors NewsRowDelegate::ColorsFor(Highlight highlight) const
{
    Colors colors{Qt::white, Qt::black, m_theme.color(CThemeColors::PreviewText)};
    if (highlight == Highlight::Focused) {
        colors.back = m_theme.color(CThemeColors::FocusSelection);
        colors.text = colors.preview = m_theme.color(CThemeColors::SelectionText);
    } else if (highlight == Highlight::Selected) {
        colors.back = m_theme.color(CThemeColors::InactiveSelection);
    }
    return colors;
}

void NewsRowDelegate::PaintRow(QPainter& painter, const QRect& row, const QModelIndex& index,
                               const QList<Cell>& cells, Highlight highlight) const
{
    const Colors colors = ColorsFor(highlight);
    painter.fillRect(row, colors.back);
    painter.fillRect(QRect(row.left(), row.bottom(), row.width(), 1),
                     m_theme.color(CThemeColors::InactiveSelection));
    for (const Cell& cell : cells)
        PaintCell(painter, cell, index, colors.text);
    if (m_preview) {
        const QRect rect = row.adjusted(40, LineHeight() + 6, -2, -2);
        painter.setPen(colors.preview);
        painter.setFont(m_font);
        PaintPreview(painter, rect, index.data(NewsListModel::PreviewRole).toString());
    }
    if (highlight == Highlight::Focused) {
        QPen pen(colors.text, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(row.adjusted(0, 0, -1, -2));
    }
}

void NewsRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const bool focused = option.state.testFlag(QStyle::State_HasFocus) ||
                         option.state.testFlag(QStyle::State_Active);
    const Highlight highlight = !option.state.testFlag(QStyle::State_Selected) ? Highlight::None
                                : focused ? Highlight::Focused
                                          : Highlight::Selected;
    const Colors colors = ColorsFor(highlight);
    painter->fillRect(option.rect, colors.back);
    PaintCell(*painter, {index.column(), option.rect}, index, colors.text);
}

void NewsRowDelegate::PaintCell(QPainter& painter, const Cell& cell, const QModelIndex& index,
                                const QColor& text) const
{
    QRect rect = cell.rect;
    if (m_preview)
        rect.setTop(rect.top() + 2);
    const int line = LineHeight();
    const QRect firstLine(rect.left(), rect.top(), rect.width(), line + 4 - (m_preview ? 2 : 0));
    painter.save();
    painter.setClipRect(cell.rect);
    const QModelIndex cellIndex = index.siblingAtColumn(cell.kind);
    if (cell.kind == NewsColumnRead || cell.kind == NewsColumnState) {
        const int image =
            cell.kind == NewsColumnRead
                ? ReadImage(cellIndex)
                : StateImage(RssItemState(cellIndex.data(NewsListModel::StateRole).toInt()));
        if (image >= 0 && !m_strip.isNull()) {
            const QSize size = m_strip.imageSize();
            m_strip.draw(painter,
                         QPoint(firstLine.left() + (firstLine.width() - size.width()) / 2,
                                firstLine.top() + (firstLine.height() - size.height()) / 2),
                         image);
        }
    } else {
        const bool unread = cellIndex.data(NewsListModel::UnreadRole).toBool();
        painter.setFont(unread ? m_bold : m_font);
        painter.setPen(text);
        const QRect textRect =
            QRect(rect.left(), rect.top(), rect.width(), line + 4).adjusted(2, 2, -2, -2);
        // Only the start of a very long text can show.
        const QString full = cellIndex.data().toString().left(textRect.width() + 16);
        const QString elided =
            QFontMetrics(painter.font())
                .elidedText(full, Qt::ElideRight, textRect.width(), Qt::TextSingleLine);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    }
    painter.restore();
}

void NewsRowDelegate::PaintPreview(QPainter& painter, const QRect& rect, const QString& text) const
{
    if (text.isEmpty() || rect.width() <= 0 || rect.height() <= 0)
        return;
    const QFontMetrics metrics(m_font);
    // Long descriptions: lay out only about what the lines can hold.
    const int perLine = rect.width() / std::max(1, metrics.averageCharWidth()) + 16;
    const QString shown = text.left(qsizetype(perLine) * 2 * m_lines + 16);
    QTextLayout layout(shown, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const int spacing = metrics.lineSpacing();
    const int lines = std::max(1, std::min(m_lines, rect.height() / std::max(1, spacing)));
    layout.beginLayout();
    QList<QTextLine> made;
    for (int i = 0; i < lines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(rect.width());
        made << line;
    }
    layout.endLayout();
    painter.save();
    painter.setClipRect(rect);
    for (qsizetype i = 0; i < made.size(); ++i) {
        const QTextLine& line = made[i];
        const QPoint at(rect.left(), rect.top() + int(i) * spacing);
        const bool last = i + 1 == made.size();
        const int end = line.textStart() + line.textLength();
        if (last && end < text.size()) {
            const QString rest = text.mid(line.textStart(), qsizetype(perLine) * 2).simplified();
            painter.drawText(QRect(at, QSize(rect.width(), spacing)),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             metrics.elidedText(rest, Qt::ElideRight, rect.width()));
        } else {
            painter.drawText(QRect(at, QSize(rect.width(), spacing)),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             shown.mid(line.textStart(), line.textLength()));
        }
    }
    painter.restore();
}
