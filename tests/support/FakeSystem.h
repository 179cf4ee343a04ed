#pragma once

#include "RemovableDeviceList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

// A /proc, /sys and /dev of our own, with the block devices the kernel would show.
class FakeSystem
{
public:
    explicit FakeSystem(const QString& root) : m_root(root) {}

    SystemRoots Roots() const
    {
        return {m_root + QStringLiteral("/proc"), m_root + QStringLiteral("/sys"),
                m_root + QStringLiteral("/dev"), m_root + QStringLiteral("/gvfs")};
    }

    // A partition `node` of `disk` at sysfs folder `parent`, with major:minor `number`.
    void Partition(const QString& parent, const QString& disk, const QString& node,
                   const QString& number, bool removable, const QString& vendor = {},
                   const QString& model = {})
    {
        const QString diskPath =
            m_root + QStringLiteral("/sys/devices/") + parent + QStringLiteral("/block/") + disk;
        Write(diskPath + QStringLiteral("/removable"), removable ? "1\n" : "0\n");
        if (!vendor.isEmpty())
            Write(diskPath + QStringLiteral("/device/vendor"), vendor.toUtf8() + "    \n");
        if (!model.isEmpty())
            Write(diskPath + QStringLiteral("/device/model"), model.toUtf8() + "      \n");
        Write(diskPath + QStringLiteral("/") + node + QStringLiteral("/partition"), "1\n");
        QDir().mkpath(m_root + QStringLiteral("/sys/dev/block"));
        QFile::link(diskPath + QStringLiteral("/") + node,
                    m_root + QStringLiteral("/sys/dev/block/") + number);
    }
    void Link(const QString& kind, const QString& name, const QString& node)
    {
        QDir().mkpath(m_root + QStringLiteral("/dev/disk/") + kind);
        QFile::link(QStringLiteral("../../") + node,
                    m_root + QStringLiteral("/dev/disk/") + kind + QStringLiteral("/") + name);
    }
    void Mounts(const QByteArray& table)
    {
        Write(m_root + QStringLiteral("/proc/self/mountinfo"), table);
    }

private:
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString m_root;
};
