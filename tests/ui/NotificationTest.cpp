#include "CNotificationDispatcher.h"
#include "INotificationView.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::atomic<int> g_alive{0};

class TrackedNode : public CRefCounted
{
public:
    TrackedNode() { ++g_alive; }

private:
    ~TrackedNode() override { --g_alive; }
};

class RecordingView : public INotificationView
{
public:
    struct Seen {
        RssEvent code;
        CRefCounted* object;
        bool onWindowThread;
        int aliveDuringUpdate;
    };
    std::vector<Seen> seen;
    void OnUpdate(RssEvent hint, CRefCounted* object) override
    {
        seen.push_back({hint, object, QThread::currentThread() == qApp->thread(), g_alive.load()});
    }
};

} // namespace

TEST(Notifications, NodePostedFromAWorkerLivesUntilItsNotificationIsHandled)
{
    CNotificationDispatcher dispatcher;
    RecordingView view;
    dispatcher.AddView(&view);

    CRefCounted* posted = nullptr;
    std::thread worker([&] {
        auto node = CRefPtr<TrackedNode>::Make();
        posted = node.get();
        dispatcher.Post(RssEvent::NewItem, node);
        dispatcher.Post(RssEvent::ChannelReloaded, node);
        // The worker drops its own reference before the window thread gets to it.
    });
    worker.join();
    EXPECT_EQ(g_alive.load(), 1) << "the queued notifications keep the node";
    EXPECT_TRUE(view.seen.empty()) << "posting never dispatches on the caller's thread";

    QCoreApplication::processEvents();
    ASSERT_EQ(view.seen.size(), 2u);
    EXPECT_EQ(view.seen[0].code, RssEvent::NewItem);
    EXPECT_EQ(view.seen[1].code, RssEvent::ChannelReloaded);
    for (const auto& s : view.seen) {
        EXPECT_EQ(s.object, posted);
        EXPECT_TRUE(s.onWindowThread);
        EXPECT_EQ(s.aliveDuringUpdate, 1);
    }
    EXPECT_EQ(g_alive.load(), 0) << "the last reference goes with the dispatched event";
}

TEST(Notifications, ManyThreadsPostingLoseNothing)
{
    CNotificationDispatcher dispatcher;
    RecordingView view;
    dispatcher.AddView(&view);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                dispatcher.Post(RssEvent::ItemChanged, CRefPtr<TrackedNode>::Make());
        });
    for (auto& t : threads)
        t.join();
    for (int turn = 0; turn < 1000 && view.seen.size() < 1000u; ++turn)
        QCoreApplication::processEvents();
    EXPECT_EQ(view.seen.size(), 1000u);
    EXPECT_EQ(g_alive.load(), 0);
}

TEST(Notifications, NullObjectAndDirectDispatchReachEveryView)
{
    CNotificationDispatcher dispatcher;
    RecordingView a, b;
    dispatcher.AddView(&a);
    dispatcher.AddView(&b);
    dispatcher.Dispatch(RssEvent::PreviewChanged, nullptr);
    EXPECT_EQ(a.seen.size(), 1u);
    EXPECT_EQ(b.seen.size(), 1u);
    EXPECT_EQ(a.seen[0].object, nullptr);

    dispatcher.RemoveView(&a);
    dispatcher.Post(RssEvent::StyleChanged, {});
    QCoreApplication::processEvents();
    EXPECT_EQ(a.seen.size(), 1u);
    EXPECT_EQ(b.seen.size(), 2u);
}

TEST(Notifications, ABurstIsHandedOverInSlicesThatLetTheLoopIn)
{
    CNotificationDispatcher dispatcher;
    struct SlowView : INotificationView {
        std::vector<int> seen;
        void OnUpdate(RssEvent hint, CRefCounted*) override
        {
            seen.push_back(int(hint));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } view;
    dispatcher.AddView(&view);
    for (int i = 0; i < 60; ++i)
        dispatcher.Post(i % 2 ? RssEvent::ItemChanged : RssEvent::NewItem, {});

    // One turn of the loop hands over one slice, not the whole burst.
    QCoreApplication::sendPostedEvents(&dispatcher);
    EXPECT_GE(view.seen.size(), 1u);
    EXPECT_LE(view.seen.size(), size_t(CNotificationDispatcher::kSliceMs + 2));
    for (int turn = 0; turn < 200 && view.seen.size() < 60u; ++turn)
        QCoreApplication::sendPostedEvents(&dispatcher);
    ASSERT_EQ(view.seen.size(), 60u);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(view.seen[i], int(i % 2 ? RssEvent::ItemChanged : RssEvent::NewItem)) << i;
}
