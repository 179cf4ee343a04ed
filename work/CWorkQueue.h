#pragma once

#include "CThreadPool.h"
#include "CWorkJob.h"

#include <atomic>
#include <deque>

// A thread pool with three lists of waiting jobs. List 0 is served before 1 before 2;
// restricted workers never take list 2, so those jobs cannot occupy the whole pool.
class CWorkQueue : public CThreadPool, public IJobQueue
{
public:
    static constexpr int kListCount = 3;

    CWorkQueue();
    // Stops the workers and releases every job left waiting without running it.
    ~CWorkQueue() override;

    // Callable from any thread, before Start too. An urgent job goes to the head of its list.
    void Post(JobFunction function, CRefCounted* argument, int list, bool urgent = false) override;

    int PendingCount() const override;
    int RunningCount() const override;
    // No job waiting and none running. A job moves from pending to running without a
    // moment in which it counts as neither, so this never reports idle too early.
    bool Idle() const;

    // Exit codes of a worker.
    static constexpr int kStopped = 124;
    static constexpr int kWaitFailed = 123;

protected:
    std::function<int()> Routine(bool restricted) const override;

private:
    struct Lists : Shared {
        std::deque<CRefPtr<CWorkJob>> jobs[kListCount];
        bool signalled[kListCount] = {}; // auto-reset: a waking worker consumes it
        std::atomic<int> pending{0};
        std::atomic<int> running{0};
    };
    static int Run(Lists& lists, bool restricted);

    Lists& m_lists;
};
