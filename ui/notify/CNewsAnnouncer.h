#pragma once

#include <QObject>

#include <functional>

class CDesktopNotifier;
class CNewsGathering;
class CNewsPopups;
class CRssChannel;
class CRssItem;
class NewsRound;

// Tells the person of new news the way they chose: each item at once in the popups, or
// one desktop notification per refresh, with the popups again where no notification
// server answers.
class CNewsAnnouncer : public QObject
{
    Q_OBJECT
public:
    // useDesktop: the person's choice, asked for each new item; downloading: whether a
    // refresh is still under way.
    CNewsAnnouncer(CNewsPopups& popups, std::function<bool()> useDesktop,
                   std::function<bool()> downloading, QObject* parent = nullptr);
    ~CNewsAnnouncer() override;

    void Announce(CRssItem* item);
    // How long a desktop notification stays, in milliseconds.
    void setDisplayTime(std::function<int()> ms) { m_displayMs = std::move(ms); }

    // Made at the first notification: a person who keeps the popups never has the program
    // reach for the session bus.
    CDesktopNotifier& Desktop();

Q_SIGNALS:
    // A click on a popup or "Open" on a notification: the window with the channel and,
    // when given, the item selected.
    void opened(CRssChannel* channel, CRssItem* item);

private:
    void ShowInPopups(const NewsRound& round);

    CNewsPopups& m_popups;
    std::function<bool()> m_useDesktop;
    std::function<int()> m_displayMs;
    CNewsGathering* m_gathering;
    CDesktopNotifier* m_desktop = nullptr;
};
