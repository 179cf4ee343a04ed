#include "CRssBarButton.h"

#include "CImageStrip.h"
#include "CThemeColors.h"
#include "ThemePaint.h"

#include <QAction>
#include <QKeyEvent>
#include <QPainter>

CRssBarButton::CRssBarButton(QAction* action, const CThemeColors* theme, QWidget* parent)
    : QAbstractButton(parent), m_action(action), m_theme(theme)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action && m_action->isEnabled())
            m_action->trigger();
    });
    if (m_action)
        connect(m_action, &QAction::changed, this, &CRssBarButton::followAction);
    connect(m_theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
    followAction();
}

void CRssBarButton::followAction()
{
    if (!m_action)
        return;
    setEnabled(m_action->isEnabled());
    QString name = m_action->text();
    name.remove(QLatin1Char('&'));
    setAccessibleName(name);
    setToolTip(m_action->toolTip());
    setStatusTip(m_action->statusTip());
    update();
}

void CRssBarButton::setImage(const CImageStrip* strip, int index)
{
    m_strip = strip;
    m_image = index;
    updateGeometry();
    update();
}

void CRssBarButton::setLabel(const QString& label)
{
    m_label = label;
    updateGeometry();
    update();
}

void CRssBarButton::setHostedControl(QWidget* control)
{
    m_hosted = control;
    if (control) {
        control->setParent(this);
        QPalette palette = control->palette();
        palette.setColor(QPalette::Window, Qt::white);
        control->setPalette(palette);
        control->setAutoFillBackground(true);
        control->show();
    }
    updateGeometry();
}

QSize CRssBarButton::sizeHint() const
{
    if (m_hosted)
        return QSize(m_hosted->sizeHint().width() + 2 * kGap, m_hosted->sizeHint().height());
    QSize size = m_strip ? m_strip->imageSize() : QSize(0, 0);
    if (!m_label.isEmpty()) {
        const QFontMetrics metrics(font());
        size.setWidth(size.width() + kGap + metrics.horizontalAdvance(m_label));
        size.setHeight(qMax(size.height(), metrics.height()));
    }
    return size + QSize(4, 4);
}

bool CRssBarButton::isHot() const
{
    return isEnabled() &&
           (underMouse() || isDown() || (hasFocus() && focusPolicy() != Qt::NoFocus));
}

void CRssBarButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    if (m_hosted)
        m_hosted->setGeometry(rect().adjusted(kGap, 0, -kGap, 0));
}

void CRssBarButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isEnabled())
            animateClick();
        return;
    }
    const bool back = event->key() == Qt::Key_Left || event->key() == Qt::Key_Up;
    const bool forward = event->key() == Qt::Key_Right || event->key() == Qt::Key_Down;
    if ((back || forward) && parentWidget()) {
        moveFocusAlong(forward);
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void CRssBarButton::moveFocusAlong(bool forward)
{
    // Arrow keys walk the bar's enabled buttons, wrapping at the ends.
    const QList<CRssBarButton*> buttons =
        parentWidget()->findChildren<CRssBarButton*>(Qt::FindDirectChildrenOnly);
    const qsizetype count = buttons.size();
    const qsizetype here = buttons.indexOf(this);
    for (qsizetype step = 1; step < count; ++step) {
        CRssBarButton* next = buttons[((here + (forward ? step : -step)) % count + count) % count];
        if (next->isEnabled() && next->isVisible()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CRssBarButton::paintEvent(QPaintEvent*)
{
    if (m_hosted)
        return;
    QPainter painter(this);
    const bool enabled = isEnabled();
    const bool checked = m_action && m_action->isChecked();
    const bool hot = isHot();
    if (hot || checked) {
        int top = CThemeColors::PressedTop, bottom = CThemeColors::HotTop;
        if (enabled && isDown())
            bottom = CThemeColors::PressedBottom;
        else if (hot)
            top = CThemeColors::HotTop, bottom = CThemeColors::HotBottom;
        ThemePaint::FillGradient(painter, rect(), m_theme->color(top), m_theme->color(bottom));
        ThemePaint::DrawBorder(painter, rect(), m_theme->color(CThemeColors::HeaderBottom));
    }

    const QSize image = m_strip ? m_strip->imageSize() : QSize(0, 0);
    const QFontMetrics metrics(font());
    const int labelWidth = m_label.isEmpty() ? 0 : kGap + metrics.horizontalAdvance(m_label);
    const int left = (width() - image.width() - labelWidth) / 2;
    if (m_strip)
        m_strip->draw(painter, QPoint(left, (height() - image.height()) / 2), m_image, !enabled);
    if (!m_label.isEmpty()) {
        painter.setPen(m_theme->barText(enabled));
        const QRect text(left + image.width() + kGap, 0, labelWidth - kGap, height());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_label);
    }
}
