#include "CChannelTreeDelegate.h"

#include "CImageStrip.h"
#include "CThemeColors.h"
#include "ChannelTreeModel.h"

#include <QPainter>

namespace {

constexpr int kTextMargin = 2; // between the image and the label, and inside the label
constexpr int kTextPadding = 6;

} // namespace

CChannelTreeDelegate::CChannelTreeDelegate(const CThemeColors& theme, const CImageStrip& strip,
                                           QObject* parent)
    : QStyledItemDelegate(parent), m_theme(theme), m_strip(strip)
{
}

int CChannelTreeDelegate::ImageWidth() const
{
    return m_strip.isNull() ? 16 : m_strip.imageSize().width();
}

void CChannelTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QRect rect = option.rect;
    painter->save();

    const int image = index.data(ChannelTreeModel::ImageRole).toInt();
    if (image > 0 && !m_strip.isNull()) {
        const int top = rect.top() + (rect.height() - m_strip.imageSize().height()) / 2;
        m_strip.draw(*painter, QPoint(rect.left(), top), image);
    }

    const QFontMetrics metrics(opt.font);
    QRect textRect = rect.adjusted(ImageWidth() + kTextMargin, 0, 0, 0);
    textRect.setWidth(qMin(textRect.width(), metrics.horizontalAdvance(opt.text) + kTextPadding));

    const bool selected = opt.state & QStyle::State_Selected;
    const bool viewFocused = option.widget && option.widget->hasFocus();
    QColor text = opt.palette.color(QPalette::Text);
    if (selected) {
        const bool focused = viewFocused;
        painter->fillRect(textRect, m_theme.color(focused ? CThemeColors::FocusSelection
                                                          : CThemeColors::InactiveSelection));
        if (focused)
            text = m_theme.color(CThemeColors::SelectionText);
    }
    if (viewFocused && (opt.state & QStyle::State_HasFocus)) {
        QPen dotted(text, 1, Qt::DotLine);
        dotted.setCosmetic(true);
        painter->setPen(dotted);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(textRect.adjusted(0, 0, -1, -1));
    }

    painter->setFont(opt.font);
    painter->setPen(text);
    const QRect labelRect = textRect.adjusted(kTextMargin, 0, 0, 0);
    painter->drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      metrics.elidedText(opt.text, Qt::ElideRight, labelRect.width()));
    painter->restore();
}

QSize CChannelTreeDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QFontMetrics metrics(opt.font);
    const int imageHeight = m_strip.isNull() ? 16 : m_strip.imageSize().height();
    return {ImageWidth() + kTextMargin + metrics.horizontalAdvance(opt.text) + kTextPadding,
            qMax(imageHeight, metrics.height()) + 2};
}

void CChannelTreeDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                const QModelIndex&) const
{
    editor->setGeometry(option.rect.adjusted(ImageWidth() + kTextMargin, 0, 0, 0));
}
