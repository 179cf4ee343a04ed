#include "CNewsPopups.h"

#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssItemMessage.h"
#include "CSummaryMessage.h"

#include <QGuiApplication>
#include <QScreen>

CNewsPopups::CNewsPopups(const CThemeColors* theme, QObject* parent)
    : QObject(parent), m_theme(theme), m_displayMs([] { return 15000; }),
      m_effectMs(CTrayMessage::kDefaultEffectMs)
{
    m_screen = [] {
        const QScreen* primary = QGuiApplication::primaryScreen();
        return primary ? PopupScreen{primary->geometry(), primary->availableGeometry()}
                       : PopupScreen{};
    };
}

CNewsPopups::~CNewsPopups()
{
    for (const QPointer<CTrayMessage>& message : std::as_const(m_stack))
        delete message.data();
}

CTrayMessage* CNewsPopups::showPopup(CRssItem* item)
{
    const CRefPtr<CRssChannel> channel = item ? item->Channel() : nullptr;
    if (!channel)
        return nullptr;
    if (CRssItemMessage* open = m_byChannel.value(channel.get())) {
        open->addItem(item); // a fifth news is not shown
        return open;
    }
    if (m_summary && !m_summary->isDismissing()) {
        m_summary->add(channel.get(), 1);
        return m_summary;
    }
    const PopupScreen area = screen();
    const PanelEdge edge = PanelEdgeOf(area);
    auto* popup = new CRssItemMessage(channel.get(), m_theme);
    const std::optional<QRect> place =
        PlaceNewPopup(edge, area.workArea, stackedRects(), popup->contentSize());
    if (!place) {
        delete popup;
        return openSummary(channel.get(), edge, area.workArea);
    }
    popup->addItem(item);
    setUp(popup, edge);
    m_byChannel.insert(channel.get(), popup);
    connect(popup, &CRssItemMessage::opened, this, &CNewsPopups::opened);
    popup->popUp(*place);
    return popup;
}

CTrayMessage* CNewsPopups::openSummary(CRssChannel* channel, PanelEdge edge, const QRect& workArea)
{
    auto* summary = new CSummaryMessage(m_theme);
    std::optional<QRect> place =
        PlaceNewPopup(edge, workArea, stackedRects(), summary->contentSize());
    // The farthest channel popups make way, one at a time: their channels and news are
    // counted instead.
    while (!place) {
        CRssItemMessage* last = farthestChannelPopup();
        if (!last)
            break;
        summary->add(last->channel(), last->itemCount());
        m_byChannel.remove(last->channel());
        last->disconnect(this);
        closeGap(last);
        last->hide();
        last->deleteLater();
        place = PlaceNewPopup(edge, workArea, stackedRects(), summary->contentSize());
    }
    if (!place) {
        delete summary;
        return nullptr;
    }
    summary->add(channel, 1);
    setUp(summary, edge);
    m_summary = summary;
    connect(summary, &CSummaryMessage::opened, this, [this] { Q_EMIT opened(nullptr, nullptr); });
    summary->popUp(*place);
    return summary;
}

void CNewsPopups::setUp(CTrayMessage* message, PanelEdge edge)
{
    message->setPanelEdge(edge);
    message->setDisplayTime(m_displayMs());
    message->setEffectDuration(m_effectMs);
    m_stack.append(message);
    connect(message, &CTrayMessage::dismissing, this, &CNewsPopups::forget);
    connect(message, &CTrayMessage::hidden, this, &CNewsPopups::closeGap);
}

void CNewsPopups::forget(CTrayMessage* message)
{
    if (auto* channelPopup = qobject_cast<CRssItemMessage*>(message))
        m_byChannel.remove(channelPopup->channel());
    if (message == m_summary)
        m_summary.clear();
}

void CNewsPopups::closeGap(CTrayMessage* message)
{
    const QRect gone = message->target();
    m_stack.removeAll(message);
    m_stack.removeAll(nullptr); // windows already gone are skipped
    const PopupScreen area = screen();
    const QList<PopupMove> moves = CloseGap(PanelEdgeOf(area), gone, stackedRects());
    for (const PopupMove& move : moves)
        m_stack[move.index]->moveHome(move.to.topLeft(), move.to.intersects(area.workArea));
}

CRssItemMessage* CNewsPopups::popupOf(const CRssChannel* channel) const
{
    return m_byChannel.value(channel);
}

CRssItemMessage* CNewsPopups::farthestChannelPopup() const
{
    const QList<CTrayMessage*> open = stack();
    for (auto it = open.crbegin(); it != open.crend(); ++it) {
        auto* popup = qobject_cast<CRssItemMessage*>(*it);
        if (popup && !popup->isDismissing())
            return popup;
    }
    return nullptr;
}

CSummaryMessage* CNewsPopups::summary() const
{
    return m_summary;
}

QList<CTrayMessage*> CNewsPopups::stack() const
{
    QList<CTrayMessage*> open;
    for (const QPointer<CTrayMessage>& message : m_stack)
        if (message)
            open.append(message.data());
    return open;
}

PopupScreen CNewsPopups::screen() const
{
    return m_screen();
}

QList<QRect> CNewsPopups::stackedRects() const
{
    QList<QRect> rects;
    for (const CTrayMessage* message : stack())
        rects.append(message->target());
    return rects;
}
