#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The files that hold what a person keeps (the feed tree, channel files, saved news). They
// are read and replaced only when they are regular files, and a save either replaces the
// whole file or leaves the old one as it was.

enum class StoredRead {
    Ok,
    Missing,  // no file at the path
    Refused,  // a directory, FIFO, device or socket; or larger than allowed
    Failed,   // the file exists but could not be read
};

// Reads the regular file at path (a symlink is followed for reading only), refusing FIFOs
// and devices without blocking on them and files over maxBytes. error receives the reason.
StoredRead ReadStoredFile(const QString& path, qint64 maxBytes, QByteArray& bytes,
                          QString* error = nullptr);

// Replaces the file at path: the bytes go to a temporary file in the same folder whose
// every write, fsync and close is checked, then it is renamed over the old one. A symlink
// at path is replaced itself, never the file it leads to; a directory or special file
// there is refused. On failure the old file stays, the temporary file is removed, and
// error receives the reason.
bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The two halves of a save, for saving many files at the cost of one flush
// (CStoredFileBatch). WriteTemporaryFile writes bytes to a new temporary file beside path
// (flushed to the disk when flush is set) and names it in temporary; nothing is left on
// failure. ReplaceWithTemporaryFile renames it over path, or removes it on failure.
bool WriteTemporaryFile(const QString& path, const QByteArray& bytes, bool flush,
                        QByteArray& temporary, QString* error = nullptr);
bool ReplaceWithTemporaryFile(const QByteArray& temporary, const QString& path,
                              QString* error = nullptr);
// A rename is only durable once the folder itself reaches the disk.
void SyncFolder(const QByteArray& folder);

// Keeps a damaged stored file: a copy beside it named path + ".bad-" + the local time
// ("data.opml.bad-20261207-104500"), never replacing an existing one. Returns the copy's
// name, or an empty string when it could not be kept.
QString KeepFileAside(const QString& path);

// Removes the temporary files of saves that were killed before they finished, in folder.
// Call only while holding the data folder's lock. Returns how many were removed.
int RemoveStaleSaveFiles(const QString& folder);
