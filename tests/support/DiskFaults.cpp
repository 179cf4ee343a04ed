#include "DiskFaults.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const char kFiller[] = "/.filler";

} // namespace

ScopedSmallDisk::ScopedSmallDisk(qint64 bytes)
{
    char folder[] = "/tmp/calvoria-disk-XXXXXX";
    if (::geteuid() != 0 || !::mkdtemp(folder))
        return;
    m_path = QString::fromLocal8Bit(folder);
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    m_mounted = ::mount("tmpfs", folder, "tmpfs", 0, options.constData()) == 0;
}

ScopedSmallDisk::~ScopedSmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

void ScopedSmallDisk::FillLeaving(qint64 left)
{
    QFile filler(m_path + QLatin1StringView(kFiller));
    if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
        return;
    const QByteArray page(4096, 'x');
    const QByteArray byte(1, 'x');
    // Whole pages first, then bytes, until a write fails; then give back what is asked.
    while (filler.write(page) == page.size()) {
    }
    while (filler.write(byte) == 1) {
    }
    filler.resize(qMax<qint64>(0, filler.size() - left));
}

void ScopedSmallDisk::Unfill()
{
    QFile::remove(m_path + QLatin1StringView(kFiller));
}

bool ScopedSmallDisk::SetReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return m_mounted &&
           ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags, nullptr) == 0;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(qint64 bytes)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldSoft = qint64(limit.rlim_cur);
    // Without this the process would be killed instead of the write failing.
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_oldSoft);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}
