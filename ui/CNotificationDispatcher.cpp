#include "CNotificationDispatcher.h"

#include "CNotifyEvent.h"
#include "INotificationView.h"

#include <QCoreApplication>
#include <algorithm>

void CNotificationDispatcher::Post(RssEvent code, CRefPtr<CRefCounted> object)
{
    QCoreApplication::postEvent(this, new CNotifyEvent(code, std::move(object)));
}

void CNotificationDispatcher::Dispatch(RssEvent code, CRefCounted* object)
{
    // The main frame's own codes (the new-item popup) are taken here once the frame has
    // its views; everything else goes to every view as an update hint.
    const std::vector<INotificationView*> views = m_views; // a view may leave while updating
    for (INotificationView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(code, object);
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
    if (event->type() == CNotifyEvent::EventType()) {
        auto* notification = static_cast<CNotifyEvent*>(event);
        Dispatch(notification->Code(), notification->Object());
        return true;
    }
    return QObject::event(event);
}
