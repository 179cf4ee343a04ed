#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

// Replaces many stored files at the cost of a single flush, as safely as one at a time:
// every file first goes to a temporary file beside it; Commit brings all of them to the
// disk together, only then renames each over its old version, and flushes each folder
// once. A crash at any point leaves every file either old or new, never half written.
// Files are added and committed from one thread.
class CStoredFileBatch
{
public:
    CStoredFileBatch() = default;
    CStoredFileBatch(const CStoredFileBatch&) = delete;
    CStoredFileBatch& operator=(const CStoredFileBatch&) = delete;
    // Temporary files never committed are removed.
    ~CStoredFileBatch();

    // Called by Commit for each file: saved, or kept as it was for reason.
    using Done = std::function<void(bool saved, const QString& reason)>;

    // Writes bytes to a temporary file beside path. On failure nothing is left, the old
    // file stays, error receives the reason and done is never called.
    bool Add(const QString& path, const QByteArray& bytes, QString* error = nullptr,
             Done done = {});
    // Replaces every added file; false when some kept their old version.
    bool Commit();

private:
    struct Entry {
        QString path;
        QByteArray temporary;
        Done done;
        QString error; // why it cannot replace the old version
    };
    // Brings every temporary file to the disk, noting failures in the entries.
    void Flush();

    std::vector<Entry> m_entries;
};
