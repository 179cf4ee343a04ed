#include "StoredFileBatch.h"

#include "StoredFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Up to this many files are flushed one by one; above it, one flush of the whole file
// system is cheaper than a flush per file. Small saves keep to their own files, so that
// they never wait for what other programs are writing to the same disk.
constexpr size_t kFilesFlushedOneByOne = 8;

void FlushFile(const QByteArray& name, bool wholeFileSystem)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (wholeFileSystem)
        ::syncfs(fd);
    else
        ::fsync(fd);
    ::close(fd);
}

QByteArray FolderOf(const QString& path)
{
    return QFile::encodeName(QFileInfo(path).absolutePath());
}

} // namespace

CStoredFileBatch::~CStoredFileBatch()
{
    for (const Entry& entry : m_entries)
        ::unlink(entry.temporary.constData());
}

bool CStoredFileBatch::Add(const QString& path, const QByteArray& bytes, QString* error,
                           Done done)
{
    QByteArray temporary;
    if (!WriteTemporaryFile(path, bytes, false, temporary, error))
        return false;
    m_entries.push_back({path, std::move(temporary), std::move(done)});
    return true;
}

void CStoredFileBatch::Flush() const
{
    if (m_entries.size() <= kFilesFlushedOneByOne) {
        for (const Entry& entry : m_entries)
            FlushFile(entry.temporary, false);
        return;
    }
    QSet<QByteArray> folders;
    for (const Entry& entry : m_entries) {
        const QByteArray folder = FolderOf(entry.path);
        if (!folders.contains(folder)) {
            folders.insert(folder);
            FlushFile(folder, true);
        }
    }
}

bool CStoredFileBatch::Commit()
{
    Flush();
    bool allSaved = true;
    QSet<QByteArray> folders;
    for (const Entry& entry : m_entries) {
        QString error;
        const bool saved = ReplaceWithTemporaryFile(entry.temporary, entry.path, &error);
        if (saved)
            folders.insert(FolderOf(entry.path));
        allSaved = allSaved && saved;
        if (entry.done)
            entry.done(saved, error);
    }
    m_entries.clear();
    for (const QByteArray& folder : folders)
        SyncFolder(folder);
    return allSaved;
}
