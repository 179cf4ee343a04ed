#include "CFeedContext.h"

#include "CAppServices.h"

#include <QDateTime>

CFeedContext::CFeedContext(CAppServices& app) : m_app(app) {}

CPreferences& CFeedContext::Prefs() const
{
    return *m_app.Prefs();
}

qint64 CFeedContext::Now() const
{
    return m_clock ? m_clock() : QDateTime::currentSecsSinceEpoch();
}

void CFeedContext::ReportStoredFileProblem(const QString& text)
{
    std::lock_guard lock(m_problemsLock);
    m_problems << text;
}

QStringList CFeedContext::TakeStoredFileProblems()
{
    std::lock_guard lock(m_problemsLock);
    return std::exchange(m_problems, {});
}
