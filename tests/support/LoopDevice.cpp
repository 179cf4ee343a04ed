#include "LoopDevice.h"

#include <QDir>
#include <QProcess>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return program + u" failed: "_s + QString::fromLocal8Bit(process.readAll()).trimmed() +
               process.errorString();
    return {};
}

} // namespace

LoopDevice::LoopDevice(int megabytes)
{
    if (::geteuid() != 0) {
        m_skip = u"mounting a device image needs root"_s;
        return;
    }
    const QString image = m_folder.filePath(u"stick.img"_s);
    QDir().mkpath(Root());
    m_skip = Run(u"truncate"_s, {u"-s"_s, u"%1M"_s.arg(megabytes), image});
    if (m_skip.isEmpty())
        m_skip = Run(u"mkfs.ext4"_s, {u"-q"_s, u"-F"_s, u"-m"_s, u"0"_s, image});
    if (m_skip.isEmpty() && !Mount())
        m_skip = u"the device image cannot be mounted here"_s;
}

LoopDevice::~LoopDevice()
{
    if (m_mounted)
        Run(u"umount"_s, {u"-l"_s, Root()});
}

QString LoopDevice::Root() const
{
    return m_folder.filePath(u"STICK"_s);
}

bool LoopDevice::Mount()
{
    m_mounted = Run(u"mount"_s, {u"-o"_s, u"loop"_s, m_folder.filePath(u"stick.img"_s), Root()})
                    .isEmpty();
    return m_mounted;
}

bool LoopDevice::Unmount()
{
    if (m_mounted && Run(u"umount"_s, {Root()}).isEmpty())
        m_mounted = false;
    return !m_mounted;
}
