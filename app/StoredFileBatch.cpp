#include "StoredFileBatch.h"

#include "StoredFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Up to this many files are flushed one by one; above it, one flush of the whole file
// system is cheaper than a flush per file. Small saves keep to their own files, so that
// they never wait for what other programs are writing to the same disk.
constexpr size_t kFilesFlushedOneByOne = 8;

// fsync of the file, or syncfs of the whole file system it is on; "" or the failure.
QString FlushFile(const QByteArray& name, bool wholeFileSystem)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    int result = fd < 0 ? -1 : wholeFileSystem ? ::syncfs(fd) : ::fsync(fd);
    const int e = errno;
    if (fd >= 0)
        ::close(fd);
    if (result == 0)
        return {};
    return u"%1: %2"_s.arg(QLatin1StringView(wholeFileSystem ? "syncfs" : "fsync"),
                           QString::fromLocal8Bit(std::strerror(e)));
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
    m_entries.push_back({path, std::move(temporary), std::move(done), {}});
    return true;
}

void CStoredFileBatch::Flush()
{
    if (m_entries.size() <= kFilesFlushedOneByOne) {
        for (Entry& entry : m_entries)
            entry.error = FlushFile(entry.temporary, false);
        return;
    }
    QHash<QByteArray, QString> folders; // each folder's file system, flushed once
    for (Entry& entry : m_entries) {
        const QByteArray folder = FolderOf(entry.path);
        if (!folders.contains(folder))
            folders.insert(folder, FlushFile(folder, true));
        entry.error = folders.value(folder);
    }
}

bool CStoredFileBatch::Commit()
{
    Flush();
    bool allSaved = true;
    QSet<QByteArray> folders;
    for (Entry& entry : m_entries) {
        // Only what surely reached the disk may replace the old version.
        bool saved = false;
        if (entry.error.isEmpty())
            saved = ReplaceWithTemporaryFile(entry.temporary, entry.path, &entry.error);
        else
            ::unlink(entry.temporary.constData());
        if (saved)
            folders.insert(FolderOf(entry.path));
        allSaved = allSaved && saved;
        if (entry.done)
            entry.done(saved, entry.error);
    }
    m_entries.clear();
    for (const QByteArray& folder : folders)
        SyncFolder(folder);
    return allSaved;
}
