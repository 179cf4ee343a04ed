#include "CRssHeader.h"

#include "CThemeColors.h"
#include "ThemePaint.h"

#include <QEvent>
#include <QPainter>

CRssHeader::CRssHeader(const CThemeColors* theme, QWidget* parent) : QWidget(parent), m_theme(theme)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
}

void CRssHeader::setText(const QString& text)
{
    m_text = text;
    setAccessibleName(text);
    update();
}

QSize CRssHeader::sizeHint() const
{
    return QSize(5 + fontMetrics().horizontalAdvance(m_text), fontMetrics().height() + 6);
}

QSize CRssHeader::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height() + 6);
}

void CRssHeader::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}

void CRssHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    ThemePaint::FillGradient(painter, rect(), m_theme->color(CThemeColors::HeaderTop),
                             m_theme->color(CThemeColors::HeaderBottom));
    painter.setPen(m_theme->color(CThemeColors::SelectionText));
    painter.drawText(rect().adjusted(5, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
}
