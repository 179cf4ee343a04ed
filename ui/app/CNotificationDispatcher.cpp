#include "CNotificationDispatcher.h"

#include "INotificationView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>

namespace {

QEvent::Type WakeEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

CNotificationDispatcher::~CNotificationDispatcher() = default;

void CNotificationDispatcher::Post(RssEvent code, CRefPtr<CRefCounted> object)
{
    bool wake = false;
    {
        std::lock_guard guard(m_lock);
        m_queue.push_back({code, std::move(object)});
        wake = !m_wakePosted;
        m_wakePosted = true;
    }
    if (wake)
        QCoreApplication::postEvent(this, new QEvent(WakeEventType()));
}

void CNotificationDispatcher::Dispatch(RssEvent code, CRefCounted* object)
{
    const std::vector<INotificationView*> views = m_views; // a view may leave while updating
    for (INotificationView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(code, object);
}

void CNotificationDispatcher::DispatchQueued()
{
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        Pending next;
        {
            std::lock_guard guard(m_lock);
            if (m_queue.empty()) {
                m_wakePosted = false;
                return;
            }
            if (slice.elapsed() >= kSliceMs) {
                // The rest after input, timers and painting had their turn.
                QCoreApplication::postEvent(this, new QEvent(WakeEventType()));
                return;
            }
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Dispatch(next.code, next.object.get());
    }
}

void CNotificationDispatcher::AddView(INotificationView* view)
{
    m_views.push_back(view);
}

void CNotificationDispatcher::RemoveView(INotificationView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

bool CNotificationDispatcher::event(QEvent* event)
{
    if (event->type() == WakeEventType()) {
        DispatchQueued();
        return true;
    }
    return QObject::event(event);
}
