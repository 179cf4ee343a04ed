#include "CWorkQueue.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// The argument of the test jobs: counts its runs and its life.
std::atomic<int> g_alive{0};

class Token : public CRefCounted
{
public:
    explicit Token(int id = 0) : id(id) { ++g_alive; }
    const int id;
    std::atomic<int> runs{0};

private:
    ~Token() override { --g_alive; }
};

// Records the order in which jobs ran.
std::mutex g_orderLock;
std::vector<int> g_order;

void CountRun(CRefCounted* arg)
{
    ++static_cast<Token*>(arg)->runs;
}

void RecordOrder(CRefCounted* arg)
{
    std::lock_guard lock(g_orderLock);
    g_order.push_back(static_cast<Token*>(arg)->id);
}

void Throw(CRefCounted*)
{
    throw std::runtime_error("job failed");
}

// A gate that blocking jobs wait at until the test opens it.
struct Gate {
    std::mutex lock;
    std::condition_variable cv;
    bool open = false;
    int waiting = 0;
    void Wait()
    {
        std::unique_lock l(lock);
        ++waiting;
        cv.notify_all();
        cv.wait(l, [&] { return open; });
        --waiting;
    }
    bool WaitForWaiting(int n)
    {
        std::unique_lock l(lock);
        return cv.wait_for(l, std::chrono::seconds(10), [&] { return waiting >= n; });
    }
    void Open()
    {
        std::lock_guard l(lock);
        open = true;
        cv.notify_all();
    }
};
Gate* g_gate = nullptr;

void Block(CRefCounted* arg)
{
    g_gate->Wait();
    CountRun(arg);
}

bool WaitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Drain(CWorkQueue& queue)
{
    ASSERT_TRUE(WaitUntil([&] { return queue.Idle(); }));
}

} // namespace

TEST(WorkQueue, EveryJobPostedFromManyThreadsRunsExactlyOnce)
{
    CWorkQueue queue;
    ASSERT_TRUE(queue.Start(3, 2, true));
    std::vector<CRefPtr<Token>> tokens;
    for (int i = 0; i < 2000; ++i)
        tokens.push_back(CRefPtr<Token>::Make(i));
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&, t] {
            for (int i = t; i < 2000; i += 4)
                queue.Post(CountRun, tokens[i].get(), i % 3, i % 7 == 0);
        });
    for (auto& p : posters)
        p.join();
    Drain(queue);
    for (const auto& token : tokens)
        EXPECT_EQ(token->runs.load(), 1) << token->id;
}

TEST(WorkQueue, UrgentJobsRunFirstInReverseOrderOfPosting)
{
    g_order.clear();
    CWorkQueue queue;
    auto a = CRefPtr<Token>::Make(1), b = CRefPtr<Token>::Make(2);
    auto u1 = CRefPtr<Token>::Make(3), u2 = CRefPtr<Token>::Make(4);
    queue.Post(RecordOrder, a.get(), 1);
    queue.Post(RecordOrder, b.get(), 1);
    queue.Post(RecordOrder, u1.get(), 1, true);
    queue.Post(RecordOrder, u2.get(), 1, true);
    EXPECT_EQ(queue.PendingCount(), 4);
    ASSERT_TRUE(queue.Start(1, 0, false));
    Drain(queue);
    EXPECT_EQ(g_order, (std::vector<int>{4, 3, 1, 2}));
}

TEST(WorkQueue, ListZeroGoesBeforeListOneBeforeListTwo)
{
    g_order.clear();
    CWorkQueue queue;
    auto two = CRefPtr<Token>::Make(2), one = CRefPtr<Token>::Make(1), zero = CRefPtr<Token>::Make(0);
    queue.Post(RecordOrder, two.get(), 2);
    queue.Post(RecordOrder, one.get(), 1);
    queue.Post(RecordOrder, zero.get(), 0);
    ASSERT_TRUE(queue.Start(0, 1, true));
    Drain(queue);
    EXPECT_EQ(g_order, (std::vector<int>{0, 1, 2}));
}

TEST(WorkQueue, PodcastListNeverTakesMoreThanTheUnrestrictedWorkers)
{
    Gate gate;
    g_gate = &gate;
    CWorkQueue queue;
    ASSERT_TRUE(queue.Start(3, 2, true));
    std::vector<CRefPtr<Token>> podcasts;
    for (int i = 0; i < 3; ++i) {
        podcasts.push_back(CRefPtr<Token>::Make(i));
        queue.Post(Block, podcasts.back().get(), 2);
    }
    ASSERT_TRUE(gate.WaitForWaiting(2));
    // Give a third worker every chance to pick the third podcast up, wrongly.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(queue.RunningCount(), 2);
    EXPECT_EQ(queue.PendingCount(), 1);

    auto refresh = CRefPtr<Token>::Make(10), page = CRefPtr<Token>::Make(11);
    queue.Post(CountRun, refresh.get(), 0);
    queue.Post(CountRun, page.get(), 1);
    EXPECT_TRUE(WaitUntil([&] { return refresh->runs == 1 && page->runs == 1; }));
    EXPECT_EQ(queue.PendingCount(), 1) << "the third podcast still waits";

    gate.Open();
    Drain(queue);
    for (const auto& p : podcasts)
        EXPECT_EQ(p->runs.load(), 1);
    g_gate = nullptr;
}

TEST(WorkQueue, StopLeavesWaitingJobsUnrunAndDestructionReleasesThem)
{
    auto token = CRefPtr<Token>::Make();
    {
        CWorkQueue queue;
        ASSERT_TRUE(queue.Start(1, 1, true));
        queue.Stop();
        EXPECT_EQ(queue.ThreadCount(), 0);
        for (int k = 0; k < 3; ++k)
            queue.Post(CountRun, token.get(), k);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(token->RefCount(), 4) << "each waiting job holds its argument";
    }
    EXPECT_EQ(token->runs.load(), 0);
    EXPECT_EQ(token->RefCount(), 1);
}

TEST(WorkQueue, JobsPostedBeforeAStartRunOnceItStartsAgain)
{
    CWorkQueue queue;
    auto token = CRefPtr<Token>::Make();
    queue.Post(CountRun, token.get(), 0);
    ASSERT_TRUE(queue.Start(1, 0, true));
    EXPECT_FALSE(queue.Start(1, 0, true)) << "a started pool cannot start again";
    Drain(queue);
    queue.Stop();
    queue.Post(CountRun, token.get(), 1);
    ASSERT_TRUE(queue.Start(2, 0, true));
    Drain(queue);
    EXPECT_EQ(token->runs.load(), 2);
}

TEST(WorkQueue, ThrowingJobIsLoggedOnceAndTheWorkerGoesOn)
{
    ScopedLog log;
    CWorkQueue queue;
    ASSERT_TRUE(queue.Start(1, 0, true));
    auto bad = CRefPtr<Token>::Make(), good = CRefPtr<Token>::Make();
    queue.Post(Throw, bad.get(), 0);
    queue.Post(CountRun, good.get(), 0);
    Drain(queue);
    EXPECT_EQ(good->runs.load(), 1);
    EXPECT_EQ(queue.RunningCount(), 0);
    EXPECT_EQ(log.Lines().count(u"Exception during event handling"_s), 1);
    EXPECT_EQ(bad->RefCount(), 1) << "the failed job was released";
}

TEST(WorkQueue, ManyPoolsStartAndStopCleanly)
{
    for (int i = 0; i < 20; ++i) {
        CWorkQueue queue;
        ASSERT_TRUE(queue.Start(3, 2, i % 2 == 0));
        auto token = CRefPtr<Token>::Make();
        for (int k = 0; k < 3; ++k)
            queue.Post(CountRun, token.get(), k);
        Drain(queue);
        EXPECT_EQ(token->runs.load(), 3);
    }
    EXPECT_EQ(g_alive.load(), 0);
}
