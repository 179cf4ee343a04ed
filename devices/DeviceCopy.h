#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <vector>

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

// The folder on the device: root joined with the folder the person typed (backslashes
// read as slashes, empty meaning the root itself). A folder that climbs out of the root
// with ".." gives an empty result and the reason in *error.
QString DeviceDestination(const QString& root, const QString& folder, QString* error);

// Total size of the "*.mp3" files (not folders) directly in folder; 0 when it cannot be read.
qint64 Mp3BytesIn(const QString& folder);

// Deletes the "*.mp3" files directly in folder, leaving other files and sub-folders;
// returns the names of those that could not be deleted.
QStringList RemoveMp3Files(const QString& folder);

// Moves each source file into the existing folder under its own name, overwriting a file
// of that name. Each copy is written under a temporary name, flushed, checked for size and
// only then renamed and its source deleted. A source that cannot be read is skipped; a
// failure on the device side (full, unplugged, read-only) stops the move and leaves every
// file not yet moved in place. `cancel` is polled between blocks.
MoveReport MoveFiles(const QStringList& sources, const QString& folder,
                     const MoveProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);
