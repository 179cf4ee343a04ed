#include "CAppLog.h"

#include "StringTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <io.h>
#include <share.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
constexpr char kLineEnd[] = "\r\n";
#else
constexpr char kLineEnd[] = "\n";
#endif

constexpr int kNamesPerFolder = 10;
constexpr qsizetype kMaxFormatted = 1024;

std::atomic<CAppLog*> g_processLog{nullptr};

// Opens path for writing and empties it, unless another process holds it open for
// writing; -1 when the file cannot be used.
int OpenExclusive(const QString& path)
{
#ifdef Q_OS_WIN
    int fd = -1;
    if (_wsopen_s(&fd, reinterpret_cast<const wchar_t*>(path.utf16()),
                  _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                  _S_IREAD | _S_IWRITE) != 0)
        return -1;
    return fd;
#else
    // Truncate only once the lock is ours: a file that another copy is writing stays
    // whole. O_NONBLOCK keeps a FIFO of that name from blocking start-up.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
#endif
}

void CloseFile(int fd)
{
#ifdef Q_OS_WIN
    ::_close(fd);
#else
    ::close(fd);
#endif
}

void WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
#ifdef Q_OS_WIN
        const int n = ::_write(fd, data, unsigned(std::min<qsizetype>(size, 1 << 30)));
#else
        const ssize_t n = ::write(fd, data, size_t(size));
#endif
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= n;
    }
}

// "YYYY/MM/DD hh:mm:ss \t" in local time; empty when the time cannot be formatted.
QByteArray TimePrefix(std::time_t now)
{
    std::tm local{};
#ifdef Q_OS_WIN
    if (localtime_s(&local, &now) != 0)
        return {};
#else
    if (!localtime_r(&now, &local))
        return {};
#endif
    char buffer[64];
    const size_t length = std::strftime(buffer, sizeof buffer, "%Y/%m/%d %H:%M:%S \t", &local);
    return QByteArray(buffer, qsizetype(length));
}

} // namespace

CAppLog::CAppLog() = default;

CAppLog::~CAppLog()
{
    Close();
}

bool CAppLog::Open(const QStringList& folders)
{
    Close();
    for (const QString& folder : folders) {
        const QDir dir(folder);
        if (!QDir().mkpath(dir.absolutePath()))
            continue;
        for (int i = 0; i < kNamesPerFolder; ++i) {
            const QString name =
                i == 0 ? QStringLiteral("log.txt") : QStringLiteral("log%1.txt").arg(i);
            const QString path = dir.absoluteFilePath(name);
            const int fd = OpenExclusive(path);
            if (fd < 0)
                continue;
            QMutexLocker lock(&m_lock);
            m_fd = fd;
            m_fileName = path;
            WriteLocked(u"Log file started\n", std::time(nullptr));
            return true;
        }
    }
    return false;
}

void CAppLog::Close()
{
    QMutexLocker lock(&m_lock);
    if (m_fd < 0)
        return;
    WriteLocked(u"Log file closed\n", std::time(nullptr));
    CloseFile(m_fd);
    m_fd = -1;
    m_fileName.clear();
}

bool CAppLog::IsOpen() const
{
    QMutexLocker lock(&m_lock);
    return m_fd >= 0;
}

QString CAppLog::FileName() const
{
    QMutexLocker lock(&m_lock);
    return m_fileName;
}

void CAppLog::Message(const QString& text)
{
    if (text.isEmpty())
        return;
    const std::time_t now = std::time(nullptr);
    QMutexLocker lock(&m_lock);
    if (m_fd >= 0)
        WriteLocked(text, now);
}

// The whole message goes out in one write, so it reaches the file at once.
void CAppLog::WriteLocked(QStringView text, std::time_t now) noexcept
{
    try {
        const QByteArray prefix = TimePrefix(now);
        QByteArray out;
        const auto appendLine = [&](QStringView line) {
            out += prefix;
            out += line.toUtf8();
            out += kLineEnd;
        };
        qsizetype start = 0;
        for (qsizetype lf = text.indexOf(u'\n'); lf >= 0; lf = text.indexOf(u'\n', start)) {
            qsizetype end = lf;
            if (end > start && text[end - 1] == u'\r')
                --end;
            appendLine(text.sliced(start, end - start));
            start = lf + 1;
        }
        if (start < text.size())
            appendLine(text.sliced(start));
        WriteAll(m_fd, out.constData(), out.size());
    } catch (...) {
    }
}

void SetProcessLog(CAppLog* log)
{
    g_processLog.store(log, std::memory_order_release);
}

void LogMessage(const QString& text)
{
    if (CAppLog* log = g_processLog.load(std::memory_order_acquire))
        log->Message(text);
}

void LogFormat(const char* format, ...)
{
    if (!g_processLog.load(std::memory_order_acquire))
        return;
    // Room for kMaxFormatted characters of UTF-8; a longer result is first cut by bytes
    // here, which always leaves more than kMaxFormatted characters to cut below.
    char buffer[4 * kMaxFormatted + 1];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0)
        return;
    QString text =
        QString::fromUtf8(buffer, std::min<qsizetype>(written, qsizetype(sizeof buffer) - 1));
    if (text.size() > kMaxFormatted) {
        qsizetype keep = kMaxFormatted;
        if (text.at(keep - 1).isHighSurrogate())
            --keep;
        text.truncate(keep);
    }
    LogMessage(text);
}

void LogResource(int id)
{
    LogMessage(LoadString(id));
}
