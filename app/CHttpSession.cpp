#include "CHttpSession.h"

#include <QElapsedTimer>
#include <curl/curl.h>

namespace {

// gzip and deflate always; brotli where this curl build decodes it.
const char* AcceptedEncodings()
{
    static const bool brotli =
        (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_BROTLI) != 0;
    return brotli ? "gzip, deflate, br" : "gzip, deflate";
}

int AbortWhenAsked(void* session, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const CHttpSession*>(session)->Aborted() ? 1 : 0;
}

} // namespace

bool CHttpSession::GlobalInit()
{
    return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
}

void CHttpSession::GlobalCleanup()
{
    curl_global_cleanup();
}

CHttpSession::CHttpSession(const QByteArray& userAgent) : m_userAgent(userAgent)
{
    m_share = curl_share_init();
    if (!m_share)
        return;
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CHttpSession::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CHttpSession::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
}

CHttpSession::~CHttpSession()
{
    if (m_share)
        curl_share_cleanup(m_share);
}

void CHttpSession::Lock(CURL*, int data, int, void* self)
{
    static_cast<CHttpSession*>(self)->m_locks[size_t(data) % 8].lock();
}

void CHttpSession::Unlock(CURL*, int data, void* self)
{
    static_cast<CHttpSession*>(self)->m_locks[size_t(data) % 8].unlock();
}

CURL* CHttpSession::NewRequest(const QByteArray& url, const TransferLimits& limits) const
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_SHARE, m_share);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, m_userAgent.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, AcceptedEncodings());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.totalSeconds);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortWhenAsked);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<CHttpSession*>(this));
    return curl;
}

int CHttpSession::Perform(CURL* curl, const TransferLimits& limits, bool& timedOut)
{
    // The connect and low-speed time-outs end with the same code, sooner; curl's own
    // timer may fire a millisecond or so before the limit.
    constexpr qint64 kTimerSlackMs = 50;
    QElapsedTimer timer;
    timer.start();
    const CURLcode code = curl_easy_perform(curl);
    timedOut = code == CURLE_OPERATION_TIMEDOUT && limits.totalSeconds > 0 &&
               timer.elapsed() + kTimerSlackMs >= qint64(limits.totalSeconds) * 1000;
    return code;
}
