#include "FeedTestSupport.h"

#include "CPreferences.h"

#include <QSettings>

using namespace Qt::Literals::StringLiterals;

FeedEnvironment::FeedEnvironment() : app(home.File(u"bin"_s)), context(app)
{
    app.SetPrefs(std::make_unique<CPreferences>(
        std::make_unique<QSettings>(home.File(u"settings.ini"_s), QSettings::IniFormat),
        app.ProgramFolder()));
    app.Prefs()->ChangeRoot(home.File(u"data"_s));
    app.SetNotifier([this](RssEvent code, CRefPtr<CRefCounted> object) {
        std::lock_guard lock(m_lock);
        m_notifications.push_back({code, std::move(object)});
    });
    context.SetClock([this] { return m_now; });
}

FeedEnvironment::~FeedEnvironment()
{
    app.SetNotifier({});
    ClearNotifications();
}

std::vector<FeedEnvironment::Notification> FeedEnvironment::Notifications() const
{
    std::lock_guard lock(m_lock);
    return m_notifications;
}

int FeedEnvironment::Count(RssEvent code) const
{
    std::lock_guard lock(m_lock);
    int n = 0;
    for (const Notification& note : m_notifications)
        n += note.code == code;
    return n;
}

void FeedEnvironment::ClearNotifications()
{
    std::vector<Notification> old;
    std::lock_guard lock(m_lock);
    old.swap(m_notifications);
}

QString FeedEnvironment::DataRoot() const
{
    return app.Prefs()->DataRoot();
}

QString FeedEnvironment::TestData(const QString& name)
{
    return SourceDir() + u"/tests/feeds/data/"_s + name;
}
