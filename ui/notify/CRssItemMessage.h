#pragma once

#include "CRssChannel.h"
#include "CRssItem.h"
#include "CTrayMessage.h"

#include <QFont>
#include <array>

class CThemeColors;

// The popup of one channel: its name in a header band and up to four new headlines. A
// click on the header or on a headline asks for the main window with the channel (and
// that news) selected; any click then closes the popup.
class CRssItemMessage : public CTrayMessage
{
    Q_OBJECT
public:
    static constexpr int kSlots = 4;
    static constexpr int kShowEffect = 8;
    static constexpr int kHideEffect = 1;
    // What a click hit: the header, a line 0 to 3, or nothing.
    static constexpr int kHeader = -1;
    static constexpr int kNothing = -2;

    CRssItemMessage(CRssChannel* channel, const CThemeColors* theme, QWidget* parent = nullptr);
    ~CRssItemMessage() override;

    CRssChannel* channel() const { return m_channel.get(); }
    // Keeps the item in the first empty slot and repaints; false, keeping nothing, when
    // all four slots are taken.
    bool addItem(CRssItem* item);
    int itemCount() const;
    CRssItem* itemAt(int slot) const;

    int boldLineHeight() const { return m_boldHeight; }
    int normalLineHeight() const { return m_normalHeight; }
    int hitTest(int contentY) const;
    QSize contentSize() const override { return m_size; }

Q_SIGNALS:
    // The person wants to read it: the channel, and the item when a headline was clicked.
    void opened(CRssChannel* channel, CRssItem* item);

protected:
    void paintContent(QPainter& painter) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateAccessibleText();

    CRefPtr<CRssChannel> m_channel;
    std::array<CRefPtr<CRssItem>, kSlots> m_items;
    const CThemeColors* m_theme;
    QFont m_normalFont;
    QFont m_boldFont;
    int m_boldHeight;
    int m_normalHeight;
    QSize m_size;
};
