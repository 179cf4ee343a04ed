#pragma once

#include "CAppLog.h"
#include "CHttpSession.h"
#include "CRefCounted.h"
#include "RssEvent.h"

#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class CPreferences;

// The process-wide services that core code is handed: the log, the preferences and data
// folders, the HTTP session, the notification channel to the window thread and the flags
// of the components found at start-up. The window program builds one at start; tests and
// the command-line tool build their own.
class CAppServices
{
public:
    // Delivers a notification to the window thread; the reference keeps the node alive
    // until the notification has been handled.
    using Notifier = std::function<void(RssEvent, CRefPtr<CRefCounted>)>;

    explicit CAppServices(const QString& programFolder);
    ~CAppServices();
    CAppServices(const CAppServices&) = delete;
    CAppServices& operator=(const CAppServices&) = delete;

    QString ProgramFolder() const { return m_programFolder; }
    CAppLog& Log() { return m_log; }

    CPreferences* Prefs() const { return m_prefs.get(); }
    void SetPrefs(std::unique_ptr<CPreferences> prefs);

    // A reference of the caller's own: a transfer keeps the session alive while it runs,
    // even when the application lets go of it at exit.
    CRefPtr<CHttpSession> Session() const;
    void SetSession(CRefPtr<CHttpSession> session);

    void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }
    // Callable from any thread; returns at once.
    void NotifyAll(RssEvent code, CRefCounted* object);

    // Window thread only: the views are updated before the call returns.
    using Dispatcher = std::function<void(RssEvent, CRefCounted*)>;
    void SetDispatcher(Dispatcher dispatcher) { m_dispatcher = std::move(dispatcher); }
    void DispatchNotification(RssEvent code, CRefCounted* object);

    // Components found at start-up.
    bool hasIe6 = false;
    bool hasMozillaControl = false;
    bool isXpOrLater = false;
    bool hasVoice = false;
    // 1 normal, 2 hidden in the tray, 3 maximised.
    int startShowState = 1;

private:
    QString m_programFolder;
    CAppLog m_log;
    std::unique_ptr<CPreferences> m_prefs;
    mutable std::mutex m_sessionLock;
    CRefPtr<CHttpSession> m_session;
    Notifier m_notifier;
    Dispatcher m_dispatcher;
};
