#include "DeviceCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr size_t kBlock = 1 << 20;

QString ErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Closes on scope exit.
struct Fd
{
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int release()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

bool IsMp3(const QFileInfo& info)
{
    return info.isFile() && info.suffix().compare("mp3"_L1, Qt::CaseInsensitive) == 0;
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

enum class Step
{
    Done,
    SourceFailed,
    DeviceFailed,
    Cancelled
};

struct Mover
{
    Mover(const MoveProgress& p, const std::atomic<bool>* c) : progress(p), cancel(c) {}

    const MoveProgress& progress;
    const std::atomic<bool>* cancel;
    qint64 done = 0;
    qint64 total = 0;
    std::vector<char> buffer = std::vector<char>(kBlock);
    QString reason;

    bool Cancelled() const { return cancel && cancel->load(); }

    // Copies source to part, flushed and checked. The part file is removed on failure.
    Step CopyWhole(const QString& source, const QByteArray& part)
    {
        Fd in{::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC)};
        struct stat st
        {
        };
        if (in.fd < 0 || ::fstat(in.fd, &st) != 0) {
            reason = ErrorText(errno);
            return Step::SourceFailed;
        }
        ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        Fd out{::open(part.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        if (out.fd < 0) {
            reason = ErrorText(errno);
            return Step::DeviceFailed;
        }
        const Step step = Pump(in.fd, out.fd, source, st.st_size);
        if (step == Step::Done) {
            struct stat written
            {
            };
            if (::fsync(out.fd) != 0 || ::fstat(out.fd, &written) != 0) {
                reason = ErrorText(errno);
                ::unlink(part.constData());
                return Step::DeviceFailed;
            }
            if (written.st_size != st.st_size) {
                reason = u"The copy on the device has %1 bytes instead of %2."_s
                             .arg(qint64(written.st_size))
                             .arg(qint64(st.st_size));
                ::unlink(part.constData());
                return Step::DeviceFailed;
            }
            if (::close(out.release()) != 0) {
                reason = ErrorText(errno);
                ::unlink(part.constData());
                return Step::DeviceFailed;
            }
            return Step::Done;
        }
        ::unlink(part.constData());
        return step;
    }

    Step Pump(int in, int out, const QString& source, qint64 size)
    {
        qint64 copied = 0;
        for (;;) {
            if (Cancelled())
                return Step::Cancelled;
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                reason = ErrorText(errno);
                return Step::SourceFailed;
            }
            if (n == 0)
                break;
            if (!WriteAll(out, buffer.data(), size_t(n))) {
                reason = ErrorText(errno);
                return Step::DeviceFailed;
            }
            copied += n;
            done += n;
            if (progress)
                progress(done, total, source);
        }
        if (copied != size) {
            reason = "The file changed while it was copied."_L1;
            return Step::SourceFailed;
        }
        return Step::Done;
    }
};

void SyncFolder(const QString& folder)
{
    Fd dir{::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}

} // namespace

QString DeviceDestination(const QString& root, const QString& folder, QString* error)
{
    QString typed = folder;
    typed.replace(u'\\', u'/');
    const QStringList parts = typed.split(u'/', Qt::SkipEmptyParts);
    if (parts.contains(".."_L1)) {
        if (error)
            *error = u"The folder \"%1\" leaves the device. Please type a folder on the device "
                     "without \"..\"."_s.arg(folder);
        return {};
    }
    QString path = QDir::cleanPath(root);
    for (const QString& part : parts)
        if (part != "."_L1)
            path += u'/' + part;
    return QDir::cleanPath(path);
}

qint64 Mp3BytesIn(const QString& folder)
{
    qint64 total = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& info : entries)
        if (IsMp3(info))
            total += info.size();
    return total;
}

QStringList RemoveMp3Files(const QString& folder)
{
    QStringList failed;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& info : entries)
        if (IsMp3(info) && !QFile::remove(info.filePath()))
            failed << info.fileName();
    return failed;
}

MoveReport MoveFiles(const QStringList& sources, const QString& folder,
                     const MoveProgress& progress, const std::atomic<bool>* cancel)
{
    MoveReport report;
    Mover mover{progress, cancel};
    for (const QString& source : sources)
        mover.total += QFileInfo(source).size();

    const QString dir = QDir::cleanPath(folder);
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString& source = sources[i];
        const QString name = QFileInfo(source).fileName();
        const QString target = dir + u'/' + name;
        // A hidden name the person's player does not list, and never the real name
        // until the copy is whole.
        const QByteArray part = QFile::encodeName(dir + "/."_L1 + name + ".part"_L1);
        Step step = mover.CopyWhole(source, part);
        if (step == Step::Done &&
            ::rename(part.constData(), QFile::encodeName(target).constData()) != 0) {
            mover.reason = ErrorText(errno);
            ::unlink(part.constData());
            step = Step::DeviceFailed;
        }
        if (step == Step::Done) {
            SyncFolder(dir);
            if (!QFile::remove(source))
                report.failed.push_back({source, "Copied, but it could not be removed from "
                                                 "its folder."_L1});
            else
                report.moved << source;
            continue;
        }
        if (step == Step::Cancelled) {
            report.cancelled = true;
            return report;
        }
        report.failed.push_back({source, mover.reason});
        if (step == Step::DeviceFailed) {
            // The device is full, gone or read-only: the rest stay where they are.
            for (qsizetype j = i + 1; j < sources.size(); ++j)
                report.failed.push_back({sources[j], "Not moved after the error above."_L1});
            return report;
        }
    }
    return report;
}
