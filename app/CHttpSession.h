#pragma once

#include "CRefCounted.h"

#include <QByteArray>
#include <array>
#include <atomic>
#include <mutex>

typedef void CURL;
typedef void CURLSH;

// The time limits of one transfer, so that no worker can be held for ever.
struct TransferLimits
{
    long connectSeconds = 30;
    // The transfer is aborted when it moves less than 1 byte/s for this long.
    long lowSpeedSeconds = 60;
    // The whole transfer, redirects included, however steadily the bytes come.
    long totalSeconds = 120;
};

// The one HTTP session of the application: a libcurl share (DNS cache, TLS sessions,
// connections) that every request on any worker thread uses. Jobs hold a counted
// reference, so a request still running at exit never outlives its session.
class CHttpSession : public CRefCounted
{
public:
    // The process-wide libcurl set-up; call once before any session exists.
    static bool GlobalInit();
    static void GlobalCleanup();

    explicit CHttpSession(const QByteArray& userAgent = QByteArrayLiteral("Calvoria"));
    bool IsValid() const { return m_share != nullptr; }

    // A new request for url, set up with the session's rules: the user agent, at most 10
    // redirects over http/https only, gzip, deflate and brotli (where curl has it)
    // accepted, proxies from the environment, and the time limits. Free it with
    // curl_easy_cleanup.
    CURL* NewRequest(const QByteArray& url, const TransferLimits& limits) const;
    // Runs a request made with limits to its end and returns curl's result code;
    // timedOut tells whether it failed by running into its total time limit.
    static int Perform(CURL* curl, const TransferLimits& limits, bool& timedOut);

    // Makes every transfer of the session fail at once, now and from now on (exit).
    void AbortTransfers() { m_aborted.store(true); }
    bool Aborted() const { return m_aborted.load(); }

private:
    ~CHttpSession() override;
    static void Lock(CURL*, int data, int access, void* self);
    static void Unlock(CURL*, int data, void* self);

    QByteArray m_userAgent;
    CURLSH* m_share = nullptr;
    std::array<std::mutex, 8> m_locks; // one per kind of shared data
    std::atomic<bool> m_aborted{false};
};
