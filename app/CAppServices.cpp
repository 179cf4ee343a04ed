#include "CAppServices.h"

#include "CPreferences.h"

#include <QDir>

CAppServices::CAppServices(const QString& programFolder) : m_programFolder(programFolder)
{
    if (!m_programFolder.endsWith(u'/'))
        m_programFolder += u'/';
}

CAppServices::~CAppServices() = default;

void CAppServices::SetPrefs(std::unique_ptr<CPreferences> prefs)
{
    m_prefs = std::move(prefs);
}

void CAppServices::NotifyAll(RssEvent code, CRefCounted* object)
{
    if (m_notifier)
        m_notifier(code, CRefPtr<CRefCounted>(object));
}

void CAppServices::DispatchNotification(RssEvent code, CRefCounted* object)
{
    if (m_dispatcher)
        m_dispatcher(code, object);
}

CRefPtr<CHttpSession> CAppServices::Session() const
{
    std::lock_guard lock(m_sessionLock);
    return m_session;
}

void CAppServices::SetSession(CRefPtr<CHttpSession> session)
{
    CRefPtr<CHttpSession> old;
    std::lock_guard lock(m_sessionLock);
    old = std::exchange(m_session, std::move(session));
}
