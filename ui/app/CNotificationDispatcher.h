#pragma once

#include "CRefCounted.h"
#include "RssEvent.h"

#include <QObject>
#include <deque>
#include <mutex>
#include <vector>

class INotificationView;

// Lives on the window thread and hands every notification to the views. Post() may be
// called from any thread; the node travels with a counted reference until dispatched.
// Posted notifications wait in one queue that the window thread works through in slices
// of a few milliseconds, so a burst (a refresh bringing 100,000 news) never keeps input
// and painting waiting.
class CNotificationDispatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~CNotificationDispatcher() override;

    void Post(RssEvent code, CRefPtr<CRefCounted> object);
    // Window thread only: dispatches at once, before returning.
    void Dispatch(RssEvent code, CRefCounted* object);

    void AddView(INotificationView* view);
    void RemoveView(INotificationView* view);

    // How long one slice of queued notifications may run before the loop gets its turn.
    static constexpr int kSliceMs = 20;

protected:
    bool event(QEvent* event) override;

private:
    struct Pending {
        RssEvent code;
        CRefPtr<CRefCounted> object;
    };
    void DispatchQueued();

    std::vector<INotificationView*> m_views;
    std::mutex m_lock;
    std::deque<Pending> m_queue; // guarded by m_lock
    bool m_wakePosted = false;   // guarded by m_lock
};
