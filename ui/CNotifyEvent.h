#pragma once

#include "CRefCounted.h"
#include "RssEvent.h"

#include <QEvent>

// A notification on its way to the window thread. It holds a counted reference to its
// node, taken when posted and dropped after the dispatch, so the node cannot die while
// the event waits in the queue.
class CNotifyEvent : public QEvent
{
public:
    static QEvent::Type EventType();

    CNotifyEvent(RssEvent code, CRefPtr<CRefCounted> object);

    RssEvent Code() const { return m_code; }
    CRefCounted* Object() const { return m_object.get(); }

private:
    RssEvent m_code;
    CRefPtr<CRefCounted> m_object;
};
