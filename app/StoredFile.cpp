#include "StoredFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Temporary files are named after the file they replace: "data.opml.saving-Ab12Cd".
constexpr char kSaveSuffix[] = ".saving-XXXXXX";

QString ErrnoText(const char* step, int error)
{
    return u"%1: %2"_s.arg(QLatin1StringView(step), QString::fromLocal8Bit(std::strerror(error)));
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool WriteAll(int fd, const char* data, qint64 size, int& error)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 20)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        if (written == 0) {
            error = ENOSPC;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

void SyncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

StoredRead ReadStoredFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString* error)
{
    bytes.clear();
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that opening a FIFO returns at once; the type is checked before any
    // read.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int e = errno;
        SetError(error, ErrnoText("open", e));
        return e == ENOENT ? StoredRead::Missing : StoredRead::Failed;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetError(error, u"not a regular file"_s);
        return StoredRead::Refused;
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        SetError(error, u"file larger than %1 MB"_s.arg(maxBytes / (1024 * 1024)));
        return StoredRead::Refused;
    }
    bytes.resize(qsizetype(st.st_size));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int e = errno;
            ::close(fd);
            bytes.clear();
            SetError(error, ErrnoText("read", e));
            return StoredRead::Failed;
        }
        if (got == 0)
            break; // the file shrank while it was read
        done += got;
    }
    bytes.resize(qsizetype(done));
    ::close(fd);
    return StoredRead::Ok;
}

bool WriteTemporaryFile(const QString& path, const QByteArray& bytes, bool flush,
                        QByteArray& temporary, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    mode_t mode = 0644;
    struct stat st{};
    if (::lstat(target.constData(), &st) == 0) {
        // A symlink is replaced by the rename itself; anything else but a regular file is
        // left alone.
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            SetError(error, u"not a regular file"_s);
            return false;
        }
        if (S_ISREG(st.st_mode))
            mode = st.st_mode & 07777;
    }

    temporary = target + kSaveSuffix;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, ErrnoText("create", errno));
        return false;
    }
    int e = 0;
    const char* step = "write";
    bool ok = WriteAll(fd, bytes.constData(), bytes.size(), e);
    if (ok && ::fchmod(fd, mode) != 0) {
        // Not worth failing the save for: the file keeps the temporary file's mode.
    }
    if (ok && flush && ::fsync(fd) != 0) {
        e = errno;
        step = "fsync";
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        e = errno;
        step = "close";
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        SetError(error, ErrnoText(step, e));
        return false;
    }
    return true;
}

bool ReplaceWithTemporaryFile(const QByteArray& temporary, const QString& path, QString* error)
{
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    const int e = errno;
    ::unlink(temporary.constData());
    SetError(error, ErrnoText("rename", e));
    return false;
}

bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QByteArray temporary;
    if (!WriteTemporaryFile(path, bytes, true, temporary, error) ||
        !ReplaceWithTemporaryFile(temporary, path, error))
        return false;
    SyncFolder(QFile::encodeName(QFileInfo(path).absolutePath()));
    return true;
}

QString KeepFileAside(const QString& path)
{
    // A copy, not a second name: whoever writes the file in place later must not change
    // what was kept.
    QByteArray bytes;
    if (ReadStoredFile(path, qint64(1) << 40, bytes) != StoredRead::Ok)
        return {};
    const QString stem =
        path + u".bad-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    for (int n = 0; n < 1000; ++n) {
        const QString aside = n == 0 ? stem : stem + u'-' + QString::number(n);
        const QByteArray name = QFile::encodeName(aside);
        // O_EXCL: a name that is taken is never written over.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        int e = 0;
        const bool ok = WriteAll(fd, bytes.constData(), bytes.size(), e) && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !ok) {
            ::unlink(name.constData());
            return {};
        }
        return aside;
    }
    return {};
}

int RemoveStaleSaveFiles(const QString& folder)
{
    // Ours ("data.opml.saving-Ab12Cd") and those of earlier versions ("data.opml.Ab12Cd"),
    // of the stored files only.
    static const QRegularExpression kStale(
        uR"(^(data\.opml|saved\.rss|search\.rss|[0-9A-F]{32}\.rss)\.(saving-)?[A-Za-z0-9]{6}$)"_s);
    int removed = 0;
    const QDir dir(folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!file.isSymLink() && kStale.match(file.fileName()).hasMatch() &&
            QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}
