#pragma once

#include <QStyledItemDelegate>

class CImageStrip;
class CThemeColors;

// Paints a row of the channel tree: its image from the tree strip, then its label on one
// line with an ellipsis, bold when the channel has unread news, in the theme's selection
// colours (focused or not).
class CChannelTreeDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    CChannelTreeDelegate(const CThemeColors& theme, const CImageStrip& strip,
                         QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    int ImageWidth() const;

    const CThemeColors& m_theme;
    const CImageStrip& m_strip;
};
