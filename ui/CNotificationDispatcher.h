#pragma once

#include "CRefCounted.h"
#include "RssEvent.h"

#include <QObject>
#include <vector>

class INotificationView;

// Lives on the window thread and hands every notification to the views. Post() may be
// called from any thread; the node travels with a counted reference until dispatched.
class CNotificationDispatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void Post(RssEvent code, CRefPtr<CRefCounted> object);
    // Window thread only: dispatches at once, before returning.
    void Dispatch(RssEvent code, CRefCounted* object);

    void AddView(INotificationView* view);
    void RemoveView(INotificationView* view);

protected:
    bool event(QEvent* event) override;

private:
    std::vector<INotificationView*> m_views;
};
