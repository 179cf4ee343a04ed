#include "DeviceSync.h"

#include "CDeviceFolder.h"

DeviceSyncResult SyncToDevice(const DeviceSyncRequest& request, const MoveProgress& progress,
                              const std::atomic<bool>* cancel)
{
    DeviceSyncResult result;
    CDeviceFolder folder;
    if (!folder.Open(request.root, request.folder, request.fileSystem,
                     CDeviceFolder::Missing::Make, &result.error))
        return result;
    result.destination = folder.Path();
    if (request.clean)
        result.notCleaned = folder.RemoveMp3Files();
    result.report = MoveFiles(request.files, folder, progress, cancel);
    return result;
}
