#include "CNotifyEvent.h"

QEvent::Type CNotifyEvent::EventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

CNotifyEvent::CNotifyEvent(RssEvent code, CRefPtr<CRefCounted> object)
    : QEvent(EventType()), m_code(code), m_object(std::move(object))
{
}
