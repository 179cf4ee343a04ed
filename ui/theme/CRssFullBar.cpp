#include "CRssFullBar.h"

#include "CRssBarButton.h"
#include "CThemeColors.h"
#include "StringTable.h"
#include "StripCatalog.h"
#include "ThemePaint.h"

#include <QAction>
#include <QPainter>

CRssFullBar::CRssFullBar(const CThemeColors* theme, QWidget* parent)
    : QWidget(parent), m_theme(theme)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(tr("Tool bar"));
    connect(m_theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
}

bool CRssFullBar::loadToolBar(const QList<RssToolBarEntry>& layout,
                              const QHash<int, QAction*>& actions, int stripResource)
{
    for (const Slot& slot : std::as_const(m_slots))
        delete slot.button;
    m_slots.clear();
    if (!reloadImages(stripResource))
        return false;
    for (const RssToolBarEntry& entry : layout) {
        Slot slot;
        slot.command = entry.command;
        if (entry.command != 0) {
            QAction* action = actions.value(entry.command);
            if (!action)
                continue;
            slot.button = new CRssBarButton(action, m_theme, this);
            slot.button->setObjectName(QStringLiteral("command%1").arg(entry.command));
            slot.button->setImage(&m_strip, entry.image);
            slot.button->show();
        }
        m_slots.append(slot);
    }
    layoutButtons();
    return true;
}

bool CRssFullBar::reloadImages(int stripResource)
{
    CImageStrip strip = LoadStrip(stripResource, devicePixelRatioF());
    if (strip.isNull())
        return false;
    m_strip = strip;
    m_stripResource = stripResource;
    for (const Slot& slot : std::as_const(m_slots))
        if (slot.button)
            slot.button->setImage(&m_strip, slot.button->imageIndex());
    layoutButtons();
    return true;
}

CRssBarButton* CRssFullBar::button(int command) const
{
    for (const Slot& slot : m_slots)
        if (slot.command == command && slot.button)
            return slot.button;
    return nullptr;
}

void CRssFullBar::setButtonLabel(int command, int stringId)
{
    if (CRssBarButton* b = button(command)) {
        b->setLabel(stringId == 0 ? QString() : LoadString(stringId));
        layoutButtons();
    }
}

void CRssFullBar::removeButton(int command)
{
    for (qsizetype i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].command == command && m_slots[i].button) {
            delete m_slots[i].button;
            m_slots.removeAt(i);
            layoutButtons();
            return;
        }
    }
}

void CRssFullBar::setHostedControl(int command, QWidget* control)
{
    if (CRssBarButton* b = button(command)) {
        b->setHostedControl(control);
        layoutButtons();
    }
}

void CRssFullBar::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    setSizePolicy(orientation == Qt::Horizontal ? QSizePolicy::Preferred : QSizePolicy::Fixed,
                  orientation == Qt::Horizontal ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    layoutButtons();
}

int CRssFullBar::commandAt(QPoint point) const
{
    for (const Slot& slot : m_slots)
        if (slot.button && slot.button->geometry().contains(point))
            return slot.command;
    return 0;
}

QSize CRssFullBar::slotSize(const Slot& slot) const
{
    if (slot.button)
        return slot.button->sizeHint();
    return m_strip.imageSize() / 2;
}

QSize CRssFullBar::sizeHint() const
{
    int along = 0, across = 0;
    for (const Slot& slot : m_slots) {
        const QSize size = slotSize(slot);
        along += m_orientation == Qt::Horizontal ? size.width() : size.height();
        across = qMax(across, m_orientation == Qt::Horizontal ? size.height() : size.width());
    }
    if (m_slots.isEmpty())
        across = m_strip.imageSize().height() + 4;
    const int horizontal = kBorders.left() + kBorders.right();
    const int vertical = kBorders.top() + kBorders.bottom();
    return m_orientation == Qt::Horizontal ? QSize(along + horizontal, across + vertical)
                                           : QSize(across + horizontal, along + vertical);
}

QSize CRssFullBar::minimumSizeHint() const
{
    QSize size = sizeHint();
    const QSize first = m_slots.isEmpty() ? QSize() : slotSize(m_slots.first());
    if (m_orientation == Qt::Horizontal)
        size.setWidth(first.width() + kBorders.left() + kBorders.right());
    else
        size.setHeight(first.height() + kBorders.top() + kBorders.bottom());
    return size;
}

void CRssFullBar::layoutButtons()
{
    const QRect inside = rect().marginsRemoved(kBorders);
    int position = m_orientation == Qt::Horizontal ? inside.left() : inside.top();
    for (const Slot& slot : std::as_const(m_slots)) {
        const QSize size = slotSize(slot);
        if (m_orientation == Qt::Horizontal) {
            if (slot.button)
                slot.button->setGeometry(position, inside.top(), size.width(), inside.height());
            position += size.width();
        } else {
            if (slot.button)
                slot.button->setGeometry(inside.left(), position, inside.width(), size.height());
            position += size.height();
        }
    }
    updateGeometry();
    update();
}

void CRssFullBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

void CRssFullBar::paintEvent(QPaintEvent*)
{
    // Moved to a screen of another pixel density: draw the images afresh for it.
    if (m_stripResource && !qFuzzyCompare(devicePixelRatioF(), m_strip.devicePixelRatio()))
        reloadImages(m_stripResource);
    QPainter painter(this);
    const QRect area = rect().adjusted(0, -1, 0, 1);
    ThemePaint::FillGradient(painter, area, m_theme->color(CThemeColors::BarTop),
                             m_theme->color(CThemeColors::BarBottom));
    painter.fillRect(QRect(0, height() - 1, width(), 1),
                     m_theme->color(CThemeColors::HeaderBottom));
}
