#include "SyncStatus.h"

#include "StringTable.h"

bool SyncFits(const SyncSpace& space)
{
    const qint64 room = space.available + (space.clean ? space.existing : 0);
    return space.required <= room;
}

QString SyncStatusText(const SyncSpace& space)
{
    if (space.entries == 0)
        return LoadString(161);
    if (space.devices == 0)
        return LoadString(162);
    if (!space.deviceSelected)
        return LoadString(135);
    if (!space.folderError.isEmpty())
        return space.folderError;
    if (space.required == 0)
        return LoadString(163);
    if (!SyncFits(space))
        return LoadString(164);
    return {};
}
