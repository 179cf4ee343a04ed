#pragma once

#include "CTrayMessage.h"

#include <QFont>
#include <QSet>

class CRssChannel;
class CThemeColors;

// Stands for the channels whose popups found no room on the screen: "and 37 more
// channels with 412 new news". A click asks for the main window; any click closes it.
class CSummaryMessage : public CTrayMessage
{
    Q_OBJECT
public:
    explicit CSummaryMessage(const CThemeColors* theme, QWidget* parent = nullptr);
    ~CSummaryMessage() override;

    // Counts `news` more news of `channel` (a channel is counted once).
    void add(const CRssChannel* channel, int news);
    int channelCount() const { return int(m_channels.size()); }
    int newsCount() const { return m_news; }
    QString text() const;
    QSize contentSize() const override { return m_size; }

Q_SIGNALS:
    void opened();

protected:
    void paintContent(QPainter& painter) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const CThemeColors* m_theme;
    QFont m_normalFont;
    QFont m_boldFont;
    int m_boldHeight;
    int m_normalHeight;
    QSize m_size;
    // Only compared, never followed: a channel gone meanwhile is still one counted.
    QSet<const CRssChannel*> m_channels;
    int m_news = 0;
};
