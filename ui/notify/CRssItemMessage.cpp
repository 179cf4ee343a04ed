#include "CRssItemMessage.h"

#include "CThemeColors.h"
#include "PopupPaint.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

CRssItemMessage::CRssItemMessage(CRssChannel* channel, const CThemeColors* theme, QWidget* parent)
    : CTrayMessage(parent), m_channel(channel), m_theme(theme),
      m_normalFont(PopupPaint::NormalFont()), m_boldFont(PopupPaint::BoldFont())
{
    setShowEffect(kShowEffect);
    setHideEffect(kHideEffect);
    const QFontMetrics normal(m_normalFont);
    m_boldHeight = QFontMetrics(m_boldFont).height();
    m_normalHeight = normal.height();
    m_size = QSize(60 * normal.averageCharWidth(), m_boldHeight + kSlots * m_normalHeight + 12);
    connect(theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
    updateAccessibleText();
}

CRssItemMessage::~CRssItemMessage() = default;

bool CRssItemMessage::addItem(CRssItem* item)
{
    for (CRefPtr<CRssItem>& slot : m_items) {
        if (!slot) {
            slot = CRefPtr<CRssItem>(item);
            updateAccessibleText();
            update();
            return true;
        }
    }
    return false;
}

int CRssItemMessage::itemCount() const
{
    int count = 0;
    for (const CRefPtr<CRssItem>& slot : m_items)
        count += slot ? 1 : 0;
    return count;
}

CRssItem* CRssItemMessage::itemAt(int slot) const
{
    return slot >= 0 && slot < kSlots ? m_items[size_t(slot)].get() : nullptr;
}

int CRssItemMessage::hitTest(int contentY) const
{
    if (contentY < m_boldHeight + 6)
        return kHeader;
    // The gap of 3 pixels above the first line counts as the first line.
    const int line = (contentY - m_boldHeight - 9) / m_normalHeight;
    return line >= 0 && line < kSlots && m_items[size_t(line)] ? line : kNothing;
}

void CRssItemMessage::paintContent(QPainter& painter)
{
    PopupPaint::Background(painter, m_size, m_boldHeight, *m_theme);
    PopupPaint::HeaderText(painter, m_size, m_boldHeight, m_boldFont, m_channel->Name(), *m_theme);
    for (int slot = 0; slot < kSlots; ++slot) {
        if (const CRssItem* item = m_items[size_t(slot)].get())
            PopupPaint::LineText(painter, m_size, m_boldHeight, m_normalHeight, slot, m_normalFont,
                                 u"%1. %2"_s.arg(QString::number(slot + 1), item->DisplayTitle()));
    }
}

void CRssItemMessage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isDismissing())
        return;
    const int hit = hitTest(toContent(event->position().toPoint()).y());
    if (hit == kHeader)
        Q_EMIT opened(m_channel.get(), nullptr);
    else if (hit != kNothing)
        Q_EMIT opened(m_channel.get(), m_items[size_t(hit)].get());
    dismiss();
}

void CRssItemMessage::updateAccessibleText()
{
    setAccessibleName(u"News from %1"_s.arg(m_channel->Name()));
    QStringList lines;
    for (int slot = 0; slot < kSlots; ++slot)
        if (const CRssItem* item = m_items[size_t(slot)].get())
            lines.append(u"%1. %2"_s.arg(QString::number(slot + 1), item->DisplayTitle()));
    setAccessibleDescription(lines.join(u'\n'));
}
