#pragma once

#include "RssEvent.h"

#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <mutex>

class CAppServices;
class CPreferences;
class IJobQueue;
class IItemJobs;

// What the feed tree needs from the application: the preferences and data folders, the
// HTTP session, notifications to the window thread, the clock, and the voice work.
class CFeedContext
{
public:
    explicit CFeedContext(CAppServices& app);

    CAppServices& App() const { return m_app; }
    CPreferences& Prefs() const;

    // Seconds since 1970 UTC; tests fix it.
    qint64 Now() const;
    void SetClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // The queue that runs channel downloads; none in tools that read without fetching.
    IJobQueue* DownloadQueue() const { return m_downloadQueue; }
    void SetDownloadQueue(IJobQueue* queue) { m_downloadQueue = queue; }

    // The voice work that items hand their jobs to; none until the voice queues exist.
    IItemJobs* ItemJobs() const { return m_itemJobs; }
    void SetItemJobs(IItemJobs* jobs) { m_itemJobs = jobs; }

    // Stored files that could not be read whole, in words for the person; the document
    // takes them after its load to show them.
    void ReportStoredFileProblem(const QString& text);
    QStringList TakeStoredFileProblems();

private:
    CAppServices& m_app;
    std::mutex m_problemsLock;
    QStringList m_problems;
    std::function<qint64()> m_clock;
    IJobQueue* m_downloadQueue = nullptr;
    IItemJobs* m_itemJobs = nullptr;
};
