#pragma once

#include "CImageStrip.h"

#include <QFont>
#include <QList>
#include <QStyledItemDelegate>

class CThemeColors;

// Paints the news list's rows: white rows with a line in theme colour 0 under each,
// unread items in bold, the read and state icons, and with the preview on the item's
// plain description in theme colour 3 under the title. Every row is equally tall.
class NewsRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    NewsRowDelegate(const CThemeColors& theme, QObject* parent = nullptr);

    void SetStrip(CImageStrip strip) { m_strip = std::move(strip); }
    const CImageStrip& Strip() const { return m_strip; }
    int IconWidth() const { return m_strip.isNull() ? 16 : m_strip.imageSize().width(); }
    // The list's font; unread items use it with weight 700.
    void SetFont(const QFont& font);
    // lines: 1 to 9, used while the preview is on.
    void SetPreview(bool on, int lines);
    bool PreviewOn() const { return m_preview; }
    int RowHeight() const;

    struct Cell
    {
        int kind;
        QRect rect;
    };
    // A selected row of the list that has the focus is Focused: focus colours and a dotted
    // frame. Selected rows elsewhere take the inactive selection colour.
    enum class Highlight { None, Selected, Focused };
    // One whole row: background, the cells, the preview and the focus frame.
    void PaintRow(QPainter& painter, const QRect& row, const QModelIndex& index,
                  const QList<Cell>& cells, Highlight highlight) const;

    // One cell on its own, for callers that draw cell by cell.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct Colors
    {
        QColor back, text, preview;
    };
    Colors ColorsFor(Highlight highlight) const;
    void PaintCell(QPainter& painter, const Cell& cell, const QModelIndex& index,
                   const QColor& text) const;
    void PaintPreview(QPainter& painter, const QRect& rect, const QString& text) const;
    int LineHeight() const;

    const CThemeColors& m_theme;
    CImageStrip m_strip;
    QFont m_font;
    QFont m_bold;
    bool m_preview = true;
    int m_lines = 2;
};
