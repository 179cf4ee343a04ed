#pragma once

#include "CRefCounted.h"
#include "DeviceSync.h"

#include <vector>

class CRssItem;
class QWidget;

// The files the person chose, and where they go.
struct DeviceCopyRequest
{
    DeviceSyncRequest sync;
    std::vector<CRefPtr<CRssItem>> items; // whose files these are, to look at them again
};

// Opens the folder on the device, removes its MP3 files when asked, and moves the files
// there behind a progress dialog, the window thread staying free. The moved items are looked at
// again, so they show that their file is gone; the person is told of every file that stayed.
// Returns how many files were moved.
int RunDeviceCopy(QWidget* parent, const DeviceCopyRequest& request);
