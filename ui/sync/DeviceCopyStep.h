#pragma once

#include "CRefCounted.h"

#include <QString>
#include <QStringList>
#include <vector>

class CRssItem;
class QWidget;

// The files the person chose, and where they go.
struct DeviceCopyRequest
{
    QString root;   // the device's mount point
    QString folder; // as typed, relative to the root
    bool clean = false;
    QStringList files;
    std::vector<CRefPtr<CRssItem>> items; // whose files these are, to look at them again
};

// Makes the destination folder, removes its MP3 files when asked, and moves the files there
// behind a progress dialog, the window thread staying free. The moved items are looked at
// again, so they show that their file is gone; the person is told of every file that stayed.
// Returns how many files were moved.
int RunDeviceCopy(QWidget* parent, const DeviceCopyRequest& request);
