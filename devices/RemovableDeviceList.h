#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

// A removable volume now mounted: where it is, the name the person knows it by, and the
// key it is remembered under.
struct RemovableDevice
{
    QString root; // the mount point
    QString name; // USB vendor and model, else the volume label, else "Removable disk"
    // The name; for a volume known by neither, "*" and its file-system UUID, or "*" and
    // its mount point when it has none.
    QString key;
    // The device number of the mounted file system when the list was read: the copy checks
    // that the root still holds this very device.
    quint64 fileSystem = 0;
};

// The system's file-system roots: the parameters tests point at a tree of their own.
struct SystemRoots
{
    QString proc = QStringLiteral("/proc");
    QString sys = QStringLiteral("/sys");
    QString dev = QStringLiteral("/dev");
    // Where the desktop mounts phones and cameras (GVfs): "gvfs" in the user's runtime folder.
    QString gvfs = DefaultGvfs();

    // The system's own roots, or the proc, sys, dev and gvfs folders under the folder named
    // by CALVORIA_DEVICE_ROOT, for trying the program with devices that are not there.
    static SystemRoots FromEnvironment();
    static QString DefaultGvfs();
};

// The removable volumes mounted now, in the order of the mount table: block devices that
// the kernel marks removable or that sit on a USB bus; then the phones and cameras the
// desktop has mounted through GVfs, named as the desktop names them.
class RemovableDeviceList
{
public:
    explicit RemovableDeviceList(SystemRoots roots = {}) : m_roots(std::move(roots)) {}

    // Reads the mount table again and resets the cursor.
    void Refresh();
    // The next device, or null past the end.
    const RemovableDevice* Next();
    int Count() const { return int(m_devices.size()); }
    const RemovableDevice& At(int index) const { return m_devices.at(size_t(index)); }

    // Bytes free for the person on the volume at root; 0 when they cannot be read.
    static qint64 GetFreeSpace(const QString& root);
    // The name the desktop shows for a GVfs mount folder ("mtp:host=Google_Pixel_7_2A1B3C4D"
    // is "Google Pixel 7"); empty for folders that are no phone or camera.
    static QString GvfsDisplayName(const QString& folder);
    // Whether path is the mount point of a mounted file system of any kind.
    static bool IsMountPoint(const QString& path, const SystemRoots& roots = {});

private:
    SystemRoots m_roots;
    std::vector<RemovableDevice> m_devices;
    int m_cursor = -1;
};
