#include "CDataFolderLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

bool CDataFolderLock::Acquire(const QString& dataRoot, QString* error)
{
    Release();
    const QString path = QDir(dataRoot).filePath(u"calvoria.lock"_s);
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // A folder we cannot write to: lock what is there; when there is nothing, no save of
        // ours can land here anyway, and each one will say so.
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == ENOENT)
            return true;
    }
    if (fd < 0) {
        if (error)
            *error = u"cannot open the lock file %1: %2"_s.arg(
                path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // The holder wrote its process number and name into the file.
        char holder[256] = {};
        const ssize_t got = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (error) {
            const QStringList lines =
                QString::fromUtf8(holder, got > 0 ? got : 0).split(u'\n', Qt::SkipEmptyParts);
            const QString who = lines.size() >= 2 ? u"%1 (process %2)"_s.arg(lines[1], lines[0])
                                                  : u"another program"_s;
            *error = u"The data folder %1 is in use by %2. Wait until it has finished, then try again."_s
                         .arg(QDir::toNativeSeparators(dataRoot), who);
        }
        return false;
    }
    const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n' +
                              QCoreApplication::applicationName().toUtf8() + '\n';
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, holder.constData(), size_t(holder.size()), 0) < 0) {
        // Only the message for a refused second writer is poorer for it.
    }
    m_fd = fd;
    return true;
}

void CDataFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // drops the lock; the file stays for the next holder
        m_fd = -1;
    }
}
