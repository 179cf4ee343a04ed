#include "CWorkQueue.h"

#include "CAppLog.h"

using namespace Qt::Literals::StringLiterals;

CWorkQueue::CWorkQueue()
    : CThreadPool(std::make_shared<Lists>()), m_lists(static_cast<Lists&>(*m_shared))
{
}

CWorkQueue::~CWorkQueue()
{
    Stop();
    std::deque<CRefPtr<CWorkJob>> left[kListCount];
    {
        std::lock_guard lock(m_lists.lock);
        for (int k = 0; k < kListCount; ++k) {
            m_lists.pending -= int(m_lists.jobs[k].size());
            left[k].swap(m_lists.jobs[k]);
        }
    }
}

void CWorkQueue::Post(JobFunction function, CRefCounted* argument, int list, bool urgent)
{
    if (list < 0 || list >= kListCount)
        return;
    auto job = CRefPtr<CWorkJob>::Make(function, argument);
    m_lists.pending.fetch_add(1);
    std::lock_guard lock(m_lists.lock);
    if (urgent)
        m_lists.jobs[list].push_front(std::move(job));
    else
        m_lists.jobs[list].push_back(std::move(job));
    m_lists.signalled[list] = true;
    m_lists.wake.notify_all();
}

int CWorkQueue::PendingCount() const
{
    return m_lists.pending.load();
}

int CWorkQueue::RunningCount() const
{
    return m_lists.running.load();
}

bool CWorkQueue::Idle() const
{
    // Pending first: a job is counted as running before it leaves the pending count.
    if (m_lists.pending.load() != 0)
        return false;
    return m_lists.running.load() == 0;
}

std::function<int()> CWorkQueue::Routine(bool restricted) const
{
    std::shared_ptr<Lists> lists = std::static_pointer_cast<Lists>(m_shared);
    return [lists, restricted] { return Run(*lists, restricted); };
}

int CWorkQueue::Run(Lists& lists, bool restricted)
{
    const int served = restricted ? 2 : 3;
    for (;;) {
        CRefPtr<CWorkJob> job;
        {
            std::unique_lock lock(lists.lock);
            int k = -1;
            lists.wake.wait(lock, [&] {
                if (lists.stop)
                    return true;
                for (int i = 0; i < served; ++i)
                    if (lists.signalled[i])
                        return true;
                return false;
            });
            for (int i = 0; i < served && k < 0; ++i)
                if (lists.signalled[i])
                    k = i;
            if (lists.stop)
                return kStopped; // an event consumed here leaves its job in the list
            if (k < 0)
                return kWaitFailed;
            lists.signalled[k] = false;
            try {
                if (!lists.jobs[k].empty()) {
                    // Counted as running before it stops counting as pending, so the two
                    // never read 0 together while a job is in hand.
                    lists.running.fetch_add(1);
                    lists.pending.fetch_sub(1);
                    job = std::move(lists.jobs[k].front());
                    lists.jobs[k].pop_front();
                    if (!lists.jobs[k].empty()) {
                        lists.signalled[k] = true; // one more worker for the next job
                        lists.wake.notify_all();
                    }
                }
            } catch (...) {
                LogMessage(u"Exception during event handling\n"_s);
            }
        }
        if (!job)
            continue; // a wake that found the list empty
        try {
            job->Run();
        } catch (...) {
            LogMessage(u"Exception during event handling\n"_s);
        }
        lists.running.fetch_sub(1);
        job.reset();
    }
}
