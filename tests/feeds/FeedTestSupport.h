#pragma once

#include "CAppServices.h"
#include "CFeedContext.h"
#include "RssEvent.h"
#include "TestSupport.h"

#include <mutex>
#include <vector>

// A feed tree's world for one test: a temporary home and data root, the log, the
// services with their preferences, a fixed clock and a record of every notification.
class FeedEnvironment
{
public:
    FeedEnvironment();
    ~FeedEnvironment();

    ScopedHome home;
    ScopedLog log;
    CAppServices app;
    CFeedContext context;

    // Fixes "now" for the feed code (seconds since 1970 UTC).
    void SetNow(qint64 now) { m_now = now; }
    qint64 Now() const { return m_now; }

    struct Notification {
        RssEvent code;
        CRefPtr<CRefCounted> object;
    };
    std::vector<Notification> Notifications() const;
    int Count(RssEvent code) const;
    void ClearNotifications();

    QString DataRoot() const;
    // Path of a file in tests/feeds/data.
    static QString TestData(const QString& name);

private:
    qint64 m_now = 1700000000; // 2023-11-14 22:13:20 UTC
    mutable std::mutex m_lock;
    std::vector<Notification> m_notifications;
};
