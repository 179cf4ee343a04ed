#include "CDeviceFolder.h"

#include "StringTable.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kCannotCreateFolder = 165;

QString ErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

bool IsMp3Name(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 4 && ::strcasecmp(name + length - 4, ".mp3") == 0;
}

// Calls visit with each regular "*.mp3" file directly in the folder open as fd.
void ForEachMp3(int fd, const std::function<void(const char* name, const struct stat&)>& visit)
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0)
            ::close(copy);
        return;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st
        {
        };
        if (IsMp3Name(entry->d_name) &&
            ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            visit(entry->d_name, st);
    }
    ::closedir(dir);
}

} // namespace

bool DeviceFolderParts(const QString& folder, QStringList& parts, QString* error)
{
    QString typed = folder;
    typed.replace(u'\\', u'/');
    parts.clear();
    for (const QString& part : typed.split(u'/', Qt::SkipEmptyParts)) {
        if (part == ".."_L1) {
            if (error)
                *error = u"The folder \"%1\" leaves the device. Please type a folder on the "
                         "device without \"..\"."_s.arg(folder);
            parts.clear();
            return false;
        }
        if (part != "."_L1)
            parts << part;
    }
    return true;
}

CDeviceFolder::CDeviceFolder(CDeviceFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_fileSystem(other.m_fileSystem),
      m_path(std::move(other.m_path))
{
}

CDeviceFolder& CDeviceFolder::operator=(CDeviceFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_fileSystem = other.m_fileSystem;
        m_path = std::move(other.m_path);
    }
    return *this;
}

void CDeviceFolder::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CDeviceFolder::Open(const QString& root, const QString& folder, quint64 fileSystem,
                         Missing missing, QString* error)
{
    Close();
    QString problem;
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QStringList parts;
    if (!DeviceFolderParts(folder, parts, &problem))
        return fail(problem);

    // The mount point itself may be reached through links of the computer's own; below it,
    // nothing is.
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st
    {
    };
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        return fail(u"The device is not at \"%1\" (%2). Connect it again and press Refresh."_s.arg(
            QDir::toNativeSeparators(root), ErrorText(code)));
    }
    if (fileSystem != 0 && quint64(st.st_dev) != fileSystem) {
        ::close(fd);
        return fail(u"The device is no longer mounted at \"%1\". Connect it again and press "
                    "Refresh."_s.arg(QDir::toNativeSeparators(root)));
    }
    const quint64 device = quint64(st.st_dev);
    QString path = QDir::cleanPath(root);
    QString onDevice; // the same, as the person typed it
    for (const QString& part : std::as_const(parts)) {
        const QByteArray name = QFile::encodeName(part);
        path += u'/' + part;
        onDevice += (onDevice.isEmpty() ? QString() : u"/"_s) + part;
        if (missing == Missing::Make && ::mkdirat(fd, name.constData(), 0755) != 0 &&
            errno != EEXIST) {
            const int code = errno;
            ::close(fd);
            return fail(LoadString(kCannotCreateFolder) + u"\n%1: %2"_s.arg(
                                                             QDir::toNativeSeparators(path),
                                                             ErrorText(code)));
        }
        const int next = ::openat(fd, name.constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int code = errno;
        struct stat link
        {
        };
        const bool isLink = next < 0 &&
                            ::fstatat(fd, name.constData(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISLNK(link.st_mode);
        ::close(fd);
        fd = next;
        if (fd < 0) {
            if (isLink)
                return fail(u"\"%1\" on the device is a link. Calvoria copies only into real "
                            "folders on the device."_s.arg(onDevice));
            if (code == ENOENT && missing == Missing::Leave)
                return fail(QString());
            return fail(u"\"%1\" on the device cannot be opened as a folder: %2"_s.arg(
                onDevice, ErrorText(code)));
        }
        if (::fstat(fd, &st) != 0 || quint64(st.st_dev) != device) {
            ::close(fd);
            return fail(u"\"%1\" on the device leads off it, to another file system."_s.arg(
                onDevice));
        }
    }
    m_fd = fd;
    m_fileSystem = device;
    m_path = path;
    return true;
}

qint64 CDeviceFolder::Mp3Bytes() const
{
    qint64 total = 0;
    if (IsOpen())
        ForEachMp3(m_fd, [&](const char*, const struct stat& st) { total += st.st_size; });
    return total;
}

QStringList CDeviceFolder::RemoveMp3Files() const
{
    QStringList failed;
    if (IsOpen())
        ForEachMp3(m_fd, [&](const char* name, const struct stat&) {
            if (::unlinkat(m_fd, name, 0) != 0)
                failed << QFile::decodeName(name);
        });
    return failed;
}

quint64 CDeviceFolder::FileSystemOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_dev) : 0;
}
