#include "CSummaryMessage.h"

#include "CRssItemMessage.h"
#include "CThemeColors.h"
#include "PopupPaint.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

CSummaryMessage::CSummaryMessage(const CThemeColors* theme, QWidget* parent)
    : CTrayMessage(parent), m_theme(theme), m_normalFont(PopupPaint::NormalFont()),
      m_boldFont(PopupPaint::BoldFont())
{
    setShowEffect(CRssItemMessage::kShowEffect);
    setHideEffect(CRssItemMessage::kHideEffect);
    const QFontMetrics normal(m_normalFont);
    m_boldHeight = QFontMetrics(m_boldFont).height();
    m_normalHeight = normal.height();
    // As wide as the channel popups, with one line.
    m_size = QSize(60 * normal.averageCharWidth(), m_boldHeight + m_normalHeight + 12);
    connect(theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
    setAccessibleName(u"More news"_s);
}

CSummaryMessage::~CSummaryMessage() = default;

void CSummaryMessage::add(const CRssChannel* channel, int news)
{
    m_channels.insert(channel);
    m_news += news;
    setAccessibleDescription(text());
    update();
}

QString CSummaryMessage::text() const
{
    const int channels = channelCount();
    return u"and %1 more %2 with %3 new news"_s.arg(QString::number(channels),
                                                    channels == 1 ? u"channel"_s : u"channels"_s,
                                                    QString::number(m_news));
}

void CSummaryMessage::paintContent(QPainter& painter)
{
    PopupPaint::Background(painter, m_size, m_boldHeight, *m_theme);
    PopupPaint::HeaderText(painter, m_size, m_boldHeight, m_boldFont, u"Calvoria"_s, *m_theme);
    PopupPaint::LineText(painter, m_size, m_boldHeight, m_normalHeight, 0, m_normalFont, text());
}

void CSummaryMessage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isDismissing())
        return;
    Q_EMIT opened();
    dismiss();
}
