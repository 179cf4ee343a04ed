#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A pool of worker threads. Start(n, m) runs n restricted and m unrestricted workers;
// Stop() ends them, waiting at most ten seconds. A worker still busy after that is left to
// finish on its own: it keeps the pool's shared state alive by its own reference and never
// touches the pool object, which may be gone by then.
class CThreadPool
{
public:
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;
    virtual ~CThreadPool();

    // False when the pool runs already or no thread could be made.
    bool Start(int n, int m, bool normalPriority);
    // Harmless on a pool that is not started. False when a worker was still busy after
    // the wait.
    bool Stop();
    int ThreadCount() const { return m_threadCount; }

    // How long Stop waits for busy workers; ten seconds unless a test shortens it.
    void SetStopWaitMs(int ms) { m_stopWaitMs = ms; }

protected:
    // What the workers share with the pool; guarded by lock.
    struct Shared {
        virtual ~Shared() = default;
        std::mutex lock;
        std::condition_variable wake; // a list event or the stop event was signalled
        bool stop = false;            // the stop event: stays set until the next Start
        std::condition_variable exited;
        int running = 0; // workers not yet ended
    };

    explicit CThreadPool(std::shared_ptr<Shared> shared);

    // The routine of one worker; its result is the thread's exit code. It may use only
    // what it captures from the shared state.
    virtual std::function<int()> Routine(bool restricted) const = 0;

    const std::shared_ptr<Shared> m_shared;

private:
    std::vector<std::thread> m_threads;
    int m_threadCount = 0;
    int m_stopWaitMs = 10000;
};
