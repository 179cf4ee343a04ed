#include "DeviceCopy.h"

#include "CDeviceFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr size_t kBlock = 1 << 20;
// Written data is sent on its way to the device every few blocks, so that flushing a file
// at its end finds little left to write.
constexpr qint64 kWritebackBytes = 8 << 20;
// Copies are flushed in batches of this size or count.
constexpr qint64 kSettleBytes = 128 << 20;
constexpr size_t kSettleFiles = 64;

QString CopyErrorText(int code)
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

// A copy written to the device under its temporary name, not yet flushed. The names are
// relative to the device folder.
struct Written
{
    QString source;
    QByteArray part;
    QByteArray target;
    qint64 size = 0;
    int fd = -1;
};

struct Mover
{
    Mover(const CDeviceFolder& f, const MoveProgress& p, const std::atomic<bool>* c)
        : folder(f), progress(p), cancel(c)
    {
    }

    const CDeviceFolder& folder;
    const MoveProgress& progress;
    const std::atomic<bool>* cancel;
    qint64 done = 0;
    qint64 total = 0;
    std::vector<char> buffer = std::vector<char>(kBlock);
    QString reason;

    bool Cancelled() const { return cancel && cancel->load(); }

    // Copies source to written.part and leaves it open for the flush. The part file is
    // removed on failure.
    Step Copy(Written& written)
    {
        Fd in{::open(QFile::encodeName(written.source).constData(), O_RDONLY | O_CLOEXEC)};
        struct stat st
        {
        };
        if (in.fd < 0 || ::fstat(in.fd, &st) != 0) {
            reason = CopyErrorText(errno);
            return Step::SourceFailed;
        }
        ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        // A stale part file (or whatever was planted under its name) goes first, and the
        // new one is made afresh: nothing is ever written through a link.
        const int dir = folder.Descriptor();
        if (::unlinkat(dir, written.part.constData(), 0) != 0 && errno != ENOENT) {
            reason = CopyErrorText(errno);
            return Step::DeviceFailed;
        }
        Fd out{::openat(dir, written.part.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
        if (out.fd < 0) {
            reason = CopyErrorText(errno);
            return Step::DeviceFailed;
        }
        const Step step = Pump(in.fd, out.fd, written.source, st.st_size);
        if (step != Step::Done) {
            ::unlinkat(dir, written.part.constData(), 0);
            return step;
        }
        written.size = st.st_size;
        written.fd = out.release();
        return Step::Done;
    }

    Step Pump(int in, int out, const QString& source, qint64 size)
    {
        qint64 copied = 0;
        qint64 sent = 0;
        for (;;) {
            if (Cancelled())
                return Step::Cancelled;
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                reason = CopyErrorText(errno);
                return Step::SourceFailed;
            }
            if (n == 0)
                break;
            if (!WriteAll(out, buffer.data(), size_t(n))) {
                reason = CopyErrorText(errno);
                return Step::DeviceFailed;
            }
            copied += n;
            done += n;
#ifdef __linux__
            if (copied - sent >= kWritebackBytes) {
                ::sync_file_range(out, sent, copied - sent, SYNC_FILE_RANGE_WRITE);
                sent = copied;
            }
#endif
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

// Flushes everything written to the device's file system, with one request to the device
// rather than one a file; false when the device reports an error.
bool FlushDevice(const CDeviceFolder& folder)
{
#ifdef __linux__
    return ::syncfs(folder.Descriptor()) == 0;
#else
    return ::fsync(folder.Descriptor()) == 0;
#endif
}

// Checks that a flushed copy is whole and on the device, and gives it its real name; an
// empty text when it is in place, else why not (the part file is then gone).
QString Finish(const CDeviceFolder& folder, Written& written)
{
    QString problem;
    struct stat st
    {
    };
#ifndef __linux__
    if (::fsync(written.fd) != 0)
        problem = CopyErrorText(errno);
    else
#endif
        if (::fstat(written.fd, &st) != 0)
        problem = CopyErrorText(errno);
    else if (st.st_size != written.size)
        problem = u"The copy on the device has %1 bytes instead of %2."_s.arg(qint64(st.st_size))
                      .arg(written.size);
    else if (quint64(st.st_dev) != folder.FileSystem())
        problem = u"The copy did not land on the device."_s;
    if (::close(written.fd) != 0 && problem.isEmpty())
        problem = CopyErrorText(errno);
    written.fd = -1;
    const int dir = folder.Descriptor();
    if (problem.isEmpty() &&
        ::renameat(dir, written.part.constData(), dir, written.target.constData()) != 0)
        problem = CopyErrorText(errno);
    if (!problem.isEmpty())
        ::unlinkat(dir, written.part.constData(), 0);
    return problem;
}

void Discard(const CDeviceFolder& folder, std::vector<Written>& files, MoveReport& report)
{
    for (Written& written : files) {
        ::close(written.fd);
        ::unlinkat(folder.Descriptor(), written.part.constData(), 0);
        report.failed.push_back({written.source, "Not moved after the error above."_L1});
    }
    files.clear();
}

// The device side of a move, on a thread of its own so that the device writes while the
// next files are read. Copies come in batches; each batch is flushed with one request to
// the device (like a copy followed by one sync), checked and given its real names, and
// the next flush carries those names to the device too: only then are the sources free
// to go.
class DeviceSide
{
public:
    explicit DeviceSide(const CDeviceFolder& folder) : m_folder(folder) {}
    ~DeviceSide() { Wait(); }

    // Waits for the batch before, adds its failures to report and gives the sources now
    // safe on the device; then starts on this batch. An empty batch only waits.
    QStringList Hand(std::vector<Written> batch, MoveReport& report)
    {
        Wait();
        m_okBefore = m_ok;
        report.failed.insert(report.failed.end(), m_failed.begin(), m_failed.end());
        m_failed.clear();
        const QStringList safe = std::exchange(m_safe, {});
        if (!batch.empty())
            m_thread = std::thread([this, batch = std::move(batch)]() mutable { Settle(batch); });
        return safe;
    }
    // Carries the last names to the device; the sources then safe are returned.
    QStringList Close(MoveReport& report)
    {
        QStringList safe = Hand({}, report);
        if (!m_named.isEmpty()) {
            if (m_ok && FlushDevice(m_folder))
                safe += std::exchange(m_named, {});
            else
                Unconfirmed(report.failed);
        }
        return safe;
    }
    // Whether the device was well when the last batch was handed over.
    bool Ok() const { return m_okBefore; }

private:
    void Wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Unconfirmed(std::vector<MoveFailure>& failed)
    {
        for (const QString& source : std::as_const(m_named))
            failed.push_back({source, u"Copied, but the device did not confirm it: it stays "
                                      "in its folder too."_s});
        m_named.clear();
    }
    void Settle(std::vector<Written>& batch)
    {
        if (!m_ok) {
            MoveReport gone;
            Discard(m_folder, batch, gone);
            m_failed = gone.failed;
            return;
        }
        if (!FlushDevice(m_folder)) {
            const QString problem = CopyErrorText(errno);
            for (Written& written : batch) {
                ::close(written.fd);
                ::unlinkat(m_folder.Descriptor(), written.part.constData(), 0);
                m_failed.push_back({written.source, problem});
            }
            Unconfirmed(m_failed);
            m_ok = false;
            return;
        }
        m_safe = std::exchange(m_named, {});
        for (size_t i = 0; i < batch.size(); ++i) {
            const QString problem = Finish(m_folder, batch[i]);
            if (problem.isEmpty())
                m_named << batch[i].source;
            else {
                m_failed.push_back({batch[i].source, problem});
                m_ok = false;
                std::vector<Written> rest(batch.begin() + qsizetype(i) + 1, batch.end());
                MoveReport gone;
                Discard(m_folder, rest, gone);
                m_failed.insert(m_failed.end(), gone.failed.begin(), gone.failed.end());
                return;
            }
        }
    }

    const CDeviceFolder& m_folder;
    std::thread m_thread;
    bool m_ok = true; // written by the thread
    bool m_okBefore = true;
    QStringList m_named; // named on the device, the names not yet flushed
    QStringList m_safe;  // wholly on the device
    std::vector<MoveFailure> m_failed;
};

// Removes the sources of the copies safe on the device, on a thread of its own: their file
// system is busy with its own journal, and the next files need not wait for it.
class SourceRemover
{
public:
    ~SourceRemover() { Wait(); }

    void Remove(QStringList sources)
    {
        if (sources.isEmpty())
            return;
        Wait();
        m_thread = std::thread([this, sources = std::move(sources)] {
            for (const QString& source : sources) {
                if (QFile::remove(source))
                    m_report.moved << source;
                else
                    m_report.failed.push_back({source, u"Copied, but it could not be removed "
                                                       "from its folder."_s});
            }
        });
    }
    // Waits for the removals and adds their outcome to report.
    void Finish(MoveReport& report)
    {
        Wait();
        report.moved += std::exchange(m_report.moved, {});
        report.failed.insert(report.failed.end(), m_report.failed.begin(), m_report.failed.end());
        m_report.failed.clear();
    }

private:
    void Wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::thread m_thread;
    MoveReport m_report;
};

} // namespace

// Settles one batch on a thread of its own while the next one is copied.
MoveReport MoveFiles(const QStringList& sources, const CDeviceFolder& folder,
                     const MoveProgress& progress, const std::atomic<bool>* cancel)
{
    MoveReport report;
    if (!folder.IsOpen()) {
        for (const QString& source : sources)
            report.failed.push_back({source, u"The device folder is not open."_s});
        return report;
    }
    Mover mover{folder, progress, cancel};
    for (const QString& source : sources)
        mover.total += QFileInfo(source).size();

    DeviceSide device(folder);
    SourceRemover remover;
    std::vector<Written> batch;
    qint64 batchBytes = 0;
    auto notMoved = [&](qsizetype from) {
        for (qsizetype j = from; j < sources.size(); ++j)
            report.failed.push_back({sources[j], "Not moved after the error above."_L1});
    };
    // What was written so far ends on the device (or is given up after a failure there).
    auto finishAll = [&] {
        remover.Remove(device.Hand(std::exchange(batch, {}), report));
        remover.Remove(device.Close(report));
        remover.Finish(report);
        return device.Ok();
    };
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString name = QFileInfo(sources[i]).fileName();
        // A hidden name the person's player does not list, and never the real name
        // until the copy is whole.
        Written written{sources[i], QFile::encodeName("."_L1 + name + ".part"_L1),
                        QFile::encodeName(name)};
        const Step step = mover.Copy(written);
        if (step == Step::Done) {
            batchBytes += written.size;
            batch.push_back(written);
            if (batchBytes >= kSettleBytes || batch.size() >= kSettleFiles) {
                batchBytes = 0;
                remover.Remove(device.Hand(std::exchange(batch, {}), report));
                if (!device.Ok()) {
                    finishAll();
                    notMoved(i + 1);
                    return report;
                }
            }
            continue;
        }
        // What was written before stays moved.
        const bool deviceOk = finishAll();
        if (step == Step::Cancelled) {
            report.cancelled = true;
            return report;
        }
        report.failed.push_back({sources[i], mover.reason});
        if (step == Step::DeviceFailed || !deviceOk) {
            // The device is full, gone or read-only: the rest stay where they are.
            notMoved(i + 1);
            return report;
        }
    }
    finishAll();
    return report;
}
