#include "CThreadPool.h"

#include <chrono>
#include <system_error>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

void LowerThreadPriority()
{
#if defined(__linux__)
    // On Linux the nice value is per thread.
    const pid_t tid = pid_t(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, id_t(tid));
    ::setpriority(PRIO_PROCESS, id_t(tid), current + 1);
#endif
}

} // namespace

CThreadPool::CThreadPool(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

CThreadPool::~CThreadPool()
{
    Stop();
}

bool CThreadPool::Start(int n, int m, bool normalPriority)
{
    if (m_threadCount != 0)
        return false;
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->stop = false;
    }
    for (int i = 0; i < n + m; ++i) {
        std::function<int()> routine = Routine(i < n);
        std::shared_ptr<Shared> shared = m_shared;
        {
            std::lock_guard lock(shared->lock);
            ++shared->running;
        }
        try {
            m_threads.emplace_back([routine = std::move(routine), shared, normalPriority] {
                if (!normalPriority)
                    LowerThreadPriority();
                routine();
                std::lock_guard lock(shared->lock);
                --shared->running;
                shared->exited.notify_all();
            });
        } catch (const std::system_error&) {
            std::lock_guard lock(shared->lock);
            --shared->running;
        }
    }
    if (m_threads.empty())
        return false;
    m_threadCount = n + m;
    return true;
}

bool CThreadPool::Stop()
{
    if (m_threadCount == 0)
        return true;
    std::unique_lock lock(m_shared->lock);
    m_shared->stop = true;
    m_shared->wake.notify_all();
    const bool allEnded = m_shared->exited.wait_for(lock, std::chrono::milliseconds(m_stopWaitMs),
                                                     [this] { return m_shared->running == 0; });
    lock.unlock();
    for (std::thread& thread : m_threads) {
        if (allEnded)
            thread.join();
        else
            thread.detach(); // it owns what it uses; see the class comment
    }
    m_threads.clear();
    m_threadCount = 0;
    return allEnded;
}
