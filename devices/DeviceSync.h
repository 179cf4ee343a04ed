#pragma once

#include "DeviceCopy.h"

#include <QString>
#include <QStringList>
#include <atomic>

// The files the person chose, and where on the device they go.
struct DeviceSyncRequest
{
    QString root;   // the device's mount point
    QString folder; // as typed, relative to the root
    // The device number the root had when the device was chosen: a device unmounted since
    // leaves a bare folder of the computer's own disk there, which nothing is written to.
    quint64 fileSystem = 0;
    bool clean = false; // delete the MP3 files already in the folder first
    QStringList files;
};

struct DeviceSyncResult
{
    QString error;       // why nothing was moved: the folder is off the device or not made
    QString destination; // the device folder
    QStringList notCleaned;
    MoveReport report;
};

// The copy step: opens (making what is missing) the folder on the device, deletes its MP3
// files when asked, and moves the files there.
DeviceSyncResult SyncToDevice(const DeviceSyncRequest& request, const MoveProgress& progress = {},
                              const std::atomic<bool>* cancel = nullptr);
