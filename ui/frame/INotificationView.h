#pragma once

#include "RssEvent.h"

class CRefCounted;

// A view that follows the document: every notification the main frame does not consume
// reaches it as an update hint.
class INotificationView
{
public:
    virtual ~INotificationView() = default;
    virtual void OnUpdate(RssEvent hint, CRefCounted* object) = 0;
};
