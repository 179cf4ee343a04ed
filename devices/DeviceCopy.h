#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <vector>

class CDeviceFolder;

// Moving the prepared voice files to a device so that none is ever lost: a file leaves
// its folder only once its copy on the device is whole, the same size and flushed.

struct MoveFailure
{
    QString file;   // the source path, still in place
    QString reason; // why it stayed
};

struct MoveReport
{
    QStringList moved; // source paths now on the device (gone from their folder)
    std::vector<MoveFailure> failed;
    bool cancelled = false;
};

// bytes copied so far of total, and the file being copied.
using MoveProgress = std::function<void(qint64 done, qint64 total, const QString& file)>;

// Moves each source file into the open device folder under its own name, overwriting a
// file of that name. Each copy is written under a temporary name made anew (never through a
// link), flushed, checked for size and for lying on the device, and only then renamed and
// its source deleted. A source that cannot be read is skipped; a
// failure on the device side (full, unplugged, read-only) stops the move and leaves every
// file not yet moved in place. `cancel` is polled between blocks.
MoveReport MoveFiles(const QStringList& sources, const CDeviceFolder& folder,
                     const MoveProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);
