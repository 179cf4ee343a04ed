#include "CNewsAnnouncer.h"

#include "CDesktopNotifier.h"
#include "CNewsGathering.h"
#include "CNewsPopups.h"

CNewsAnnouncer::CNewsAnnouncer(CNewsPopups& popups, std::function<bool()> useDesktop,
                               std::function<bool()> downloading, QObject* parent)
    : QObject(parent), m_popups(popups), m_useDesktop(std::move(useDesktop)),
      m_gathering(new CNewsGathering(std::move(downloading), this))
{
    connect(m_gathering, &CNewsGathering::gathered, this,
            [this](const NewsRound& round) { Desktop().Announce(round); });
    connect(&m_popups, &CNewsPopups::opened, this, &CNewsAnnouncer::opened);
}

CNewsAnnouncer::~CNewsAnnouncer() = default;

CDesktopNotifier& CNewsAnnouncer::Desktop()
{
    if (!m_desktop) {
        m_desktop = new CDesktopNotifier(QDBusConnection::sessionBus(), this);
        m_desktop->setDisplayTime([this] { return m_displayMs ? m_displayMs() : -1; });
        connect(m_desktop, &CDesktopNotifier::undelivered, this, &CNewsAnnouncer::ShowInPopups);
        connect(m_desktop, &CDesktopNotifier::opened, this, &CNewsAnnouncer::opened);
    }
    return *m_desktop;
}

void CNewsAnnouncer::Announce(CRssItem* item)
{
    if (m_useDesktop && m_useDesktop())
        m_gathering->Add(item);
    else
        m_popups.showPopup(item);
}

void CNewsAnnouncer::ShowInPopups(const NewsRound& round)
{
    for (const CRefPtr<CRssItem>& item : round.Items())
        m_popups.showPopup(item.get());
}
