#pragma once

#include "CRssChannel.h"
#include "CRssItem.h"
#include "PopupPlacement.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class CRssItemMessage;
class CSummaryMessage;
class CThemeColors;
class CTrayMessage;

// The news popups on the screen: one per channel with its first four new headlines,
// stacked along the panel's edge, the gap closing up when one goes. When the screen has no
// room for another channel, one summary popup counts the channels and news left over.
class CNewsPopups : public QObject
{
    Q_OBJECT
public:
    explicit CNewsPopups(const CThemeColors* theme, QObject* parent = nullptr);
    // Takes every popup off the screen at once.
    ~CNewsPopups() override;

    // The screen the popups go on, asked for each new popup and each gap; by default the
    // primary screen.
    void setScreenSource(std::function<PopupScreen()> source) { m_screen = std::move(source); }
    // How long a new popup stays, in milliseconds.
    void setDisplayTime(std::function<int()> ms) { m_displayMs = std::move(ms); }
    // Of every appear, disappear and slide; 0 for none.
    void setEffectDuration(int ms) { m_effectMs = ms; }

    // A new item: it goes into its channel's open popup (a fifth is dropped), or opens a
    // popup for its channel, or, without room for one, is counted in the summary. Returns
    // the popup that took it, or null when nothing could be shown.
    CTrayMessage* showPopup(CRssItem* item);

    CRssItemMessage* popupOf(const CRssChannel* channel) const;
    CSummaryMessage* summary() const;
    // The popups on the screen, nearest the panel first, with those on their way out.
    QList<CTrayMessage*> stack() const;

Q_SIGNALS:
    // A click asks for the main window with the channel and, when given, the item selected;
    // from the summary both are null.
    void opened(CRssChannel* channel, CRssItem* item);

private:
    PopupScreen screen() const;
    // Where the popups stand once their slides have ended.
    QList<QRect> stackedRects() const;
    void setUp(CTrayMessage* message, PanelEdge edge);
    CTrayMessage* openSummary(CRssChannel* channel, PanelEdge edge, const QRect& workArea);
    CRssItemMessage* farthestChannelPopup() const;
    // A closing popup takes no more news; its channel's next news opens a new one.
    void forget(CTrayMessage* message);
    // Takes a popup off the stack; those beyond it move up to the panel by its height.
    void closeGap(CTrayMessage* message);

    const CThemeColors* m_theme;
    std::function<PopupScreen()> m_screen;
    std::function<int()> m_displayMs;
    int m_effectMs;
    QList<QPointer<CTrayMessage>> m_stack;
    QHash<const CRssChannel*, CRssItemMessage*> m_byChannel;
    QPointer<CSummaryMessage> m_summary;
};
