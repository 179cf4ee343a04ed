#pragma once

#include <QString>
#include <QTemporaryDir>

// A removable device for tests: an ext4 file system made in an image file and mounted
// through a loop device on a temporary folder, as a USB stick is mounted. It needs root;
// SkipReason() says why there is none.
class LoopDevice
{
public:
    explicit LoopDevice(int megabytes = 16);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    bool IsMounted() const { return m_mounted; }
    QString SkipReason() const { return m_skip; }
    // The mount point; it stays as an empty folder of the computer's disk when unmounted.
    QString Root() const;
    bool Mount();
    bool Unmount();

private:
    QTemporaryDir m_folder;
    QString m_skip;
    bool m_mounted = false;
};
