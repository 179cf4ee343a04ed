#include "RemovableDeviceList.h"

#include "CDeviceFolder.h"
#include "StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRemovableDisk = 160;

QString ReadAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).simplified();
}

// The mount table escapes blanks, tabs, new lines and backslashes as \ooo.
QString Unescape(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromUtf8(out);
}

// udev escapes unsafe characters of labels in /dev/disk/by-label as \xNN.
QString UnescapeHex(const QString& name)
{
    QByteArray in = name.toUtf8(), out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int code = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += in[i];
    }
    return QString::fromUtf8(out);
}

// The entry of a /dev/disk/by-* folder whose link names the device node `node`.
QString NameLinkingTo(const QString& folder, const QString& node)
{
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::Files | QDir::System |
                                                           QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links)
        if (QFileInfo(link.symLinkTarget()).fileName() == node)
            return UnescapeHex(link.fileName());
    return {};
}

struct BlockDevice
{
    QString node;      // "sdb1"
    QString disk;      // the whole disk's sysfs folder
    bool removable = false;
    QString model;     // "Vendor Model"
};

bool FindBlockDevice(const QString& sysRoot, const QString& majorMinor, BlockDevice& device)
{
    const QFileInfo link(sysRoot + u"/dev/block/"_s + majorMinor);
    const QString path = link.canonicalFilePath();
    if (path.isEmpty())
        return false;
    device.node = QFileInfo(path).fileName();
    // A partition's disk is the folder above it.
    device.disk = QFile::exists(path + u"/partition"_s) ? QFileInfo(path).path() : path;
    const bool onUsb = device.disk.contains(u"/usb"_s);
    device.removable = onUsb || ReadAttribute(device.disk + u"/removable"_s) == u"1"_s;
    const QString vendor = ReadAttribute(device.disk + u"/device/vendor"_s);
    const QString model = ReadAttribute(device.disk + u"/device/model"_s);
    device.model = vendor.isEmpty() ? model : model.isEmpty() ? vendor : vendor + u' ' + model;
    return true;
}

// The lines of the mount table. The kernel gives its files no size, so the table is read to
// its end rather than up to a size.
QList<QByteArray> MountTable(const SystemRoots& roots)
{
    QFile table(roots.proc + u"/self/mountinfo"_s);
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return table.read(16 << 20).split('\n');
}

} // namespace

SystemRoots SystemRoots::FromEnvironment()
{
    const QString base = qEnvironmentVariable("CALVORIA_DEVICE_ROOT");
    if (base.isEmpty())
        return {};
    return {base + "/proc"_L1, base + "/sys"_L1, base + "/dev"_L1, base + "/gvfs"_L1};
}

QString SystemRoots::DefaultGvfs()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return (runtime.isEmpty() ? u"/run/user/%1"_s.arg(::getuid()) : runtime) + u"/gvfs"_s;
}

QString RemovableDeviceList::GvfsDisplayName(const QString& folder)
{
    // Phones (MTP) and cameras (PTP) are named "host=VENDOR_MODEL_SERIAL": the vendor and
    // model, the serial number left out.
    static const QRegularExpression kDevice(u"^(?:mtp|gphoto2):host=(.+)$"_s);
    const QRegularExpressionMatch match = kDevice.match(folder);
    if (!match.hasMatch())
        return {};
    const QString host = QUrl::fromPercentEncoding(match.captured(1).toUtf8());
    // Older GVfs names the USB port ("[usb:002,003]"): nothing a person recognises.
    if (host.startsWith(u'['))
        return u"Phone or camera"_s;
    QStringList words = host.split(u'_', Qt::SkipEmptyParts);
    static const QRegularExpression kSerial(u"^[0-9A-Fa-f]{6,}$"_s);
    if (words.size() > 1 && kSerial.match(words.last()).hasMatch())
        words.removeLast();
    return words.join(u' ');
}

void RemovableDeviceList::Refresh()
{
    m_devices.clear();
    m_cursor = -1;
    QSet<QString> seen;
    for (const QByteArray& line : MountTable(m_roots)) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source ...
        if (fields.size() < 7 || fields[2].startsWith("0:"))
            continue;
        BlockDevice device;
        if (!FindBlockDevice(m_roots.sys, QString::fromLatin1(fields[2]), device) ||
            !device.removable || seen.contains(device.node))
            continue;
        seen.insert(device.node);
        RemovableDevice entry;
        entry.root = Unescape(fields[4]);
        entry.fileSystem = CDeviceFolder::FileSystemOf(entry.root);
        const QString label = NameLinkingTo(m_roots.dev + u"/disk/by-label"_s, device.node);
        entry.name = !device.model.isEmpty() ? device.model : label;
        if (!entry.name.isEmpty()) {
            entry.key = entry.name;
        } else {
            entry.name = LoadString(kRemovableDisk);
            const QString uuid = NameLinkingTo(m_roots.dev + u"/disk/by-uuid"_s, device.node);
            entry.key = u"*"_s + (uuid.isEmpty() ? entry.root : uuid);
        }
        m_devices.push_back(std::move(entry));
    }
    // GVfs shows each phone or camera as a folder of its one mount.
    const QDir gvfs(m_roots.gvfs);
    for (const QString& folder : gvfs.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString name = GvfsDisplayName(folder);
        if (name.isEmpty())
            continue;
        RemovableDevice entry;
        entry.root = gvfs.filePath(folder);
        entry.fileSystem = CDeviceFolder::FileSystemOf(entry.root);
        entry.name = name;
        entry.key = name;
        m_devices.push_back(std::move(entry));
    }
}

const RemovableDevice* RemovableDeviceList::Next()
{
    if (m_cursor + 1 >= Count())
        return nullptr;
    return &m_devices[size_t(++m_cursor)];
}

qint64 RemovableDeviceList::GetFreeSpace(const QString& root)
{
    struct statvfs stats{};
    if (::statvfs(QFile::encodeName(root).constData(), &stats) != 0)
        return 0;
    return qint64(stats.f_bavail) * qint64(stats.f_frsize);
}

bool RemovableDeviceList::IsMountPoint(const QString& path, const SystemRoots& roots)
{
    // The table names mount points by their real paths.
    const QString wanted = QFileInfo(path).canonicalFilePath();
    if (wanted.isEmpty())
        return false;
    for (const QByteArray& line : MountTable(roots)) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() >= 5 && Unescape(fields[4]) == wanted)
            return true;
    }
    return false;
}
