#include "CDeviceFolder.h"
#include "DeviceCopy.h"
#include "DeviceSync.h"
#include "LoopDevice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray Pattern(int size, char seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i % 251);
    return bytes;
}

} // namespace

CDeviceFolder OpenFolder(const QString& root, const QString& folder)
{
    CDeviceFolder opened;
    QString error;
    EXPECT_TRUE(opened.Open(root, folder, 0, CDeviceFolder::Missing::Make, &error))
        << error.toStdString();
    return opened;
}

TEST(DeviceCopy, TypedFolderStaysBelowTheRoot)
{
    QString error;
    QStringList parts;
    EXPECT_TRUE(DeviceFolderParts(u"\\Music\\News\\"_s, parts, &error));
    EXPECT_EQ(parts, (QStringList{u"Music"_s, u"News"_s}));
    EXPECT_TRUE(DeviceFolderParts(u"/./Podcasts"_s, parts, &error));
    EXPECT_EQ(parts, QStringList{u"Podcasts"_s});
    EXPECT_TRUE(DeviceFolderParts({}, parts, &error) && parts.isEmpty());
    for (const QString& escaping : {u"../home"_s, u"Music/../../etc"_s, u"..\\x"_s}) {
        error.clear();
        EXPECT_FALSE(DeviceFolderParts(escaping, parts, &error));
        EXPECT_TRUE(error.contains(u".."_s)) << escaping.toStdString();
    }
}

// Clash overwritten, unreadable source skipped, cleaning takes only the MP3 files.
TEST(DeviceCopy, MovesWholeFilesAndCleansOnlyMp3)
{
    QTemporaryDir source, device;
    const QString dest = device.filePath(u"News"_s);
    QDir().mkpath(dest + u"/Old"_s);
    Write(dest + u"/old.MP3"_s, "old");
    Write(dest + u"/notes.txt"_s, "keep");
    Write(dest + u"/Old/inner.mp3"_s, "keep");
    const CDeviceFolder news = OpenFolder(device.path(), u"News"_s);
    EXPECT_EQ(news.Mp3Bytes(), 3);
    EXPECT_TRUE(news.RemoveMp3Files().isEmpty());
    EXPECT_EQ(Names(dest), QStringList{u"notes.txt"_s});
    EXPECT_EQ(Read(dest + u"/Old/inner.mp3"_s), "keep");

    Write(dest + u"/b.mp3"_s, "an older copy");
    const QByteArray a = Pattern(3 << 20, 'a'), b = Pattern(100, 'b');
    Write(source.filePath(u"a.mp3"_s), a);
    Write(source.filePath(u"b.mp3"_s), b);
    qint64 lastDone = 0, lastTotal = 0;
    const MoveReport report = MoveFiles(
        {source.filePath(u"a.mp3"_s), source.filePath(u"gone.mp3"_s), source.filePath(u"b.mp3"_s)},
        news, [&](qint64 done, qint64 total, const QString&) {
            lastDone = done;
            lastTotal = total;
        });
    EXPECT_EQ(report.moved,
              (QStringList{source.filePath(u"a.mp3"_s), source.filePath(u"b.mp3"_s)}));
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].file, source.filePath(u"gone.mp3"_s));
    EXPECT_FALSE(report.failed[0].reason.isEmpty());
    EXPECT_EQ(Read(dest + u"/a.mp3"_s), a);
    EXPECT_EQ(Read(dest + u"/b.mp3"_s), b);
    EXPECT_EQ(Names(dest), (QStringList{u"a.mp3"_s, u"b.mp3"_s, u"notes.txt"_s}));
    EXPECT_TRUE(Names(source.path()).isEmpty());
    EXPECT_EQ(lastDone, lastTotal);
    EXPECT_EQ(lastTotal, a.size() + b.size());

    // Many files go in several batches, each flushed while the next is written.
    QStringList many;
    for (int i = 0; i < 150; ++i) {
        many << source.filePath(u"n%1.mp3"_s.arg(i, 3, 10, QChar(u'0')));
        Write(many.last(), QByteArray::number(i));
    }
    EXPECT_EQ(MoveFiles(many, OpenFolder(device.path(), {})).moved, many);
    EXPECT_TRUE(Names(source.path()).isEmpty());
    EXPECT_EQ(Read(device.filePath(u"n149.mp3"_s)), "149");
    EXPECT_EQ(Names(device.path()).size(), 150);
}

// A small file system that fills up half-way: no half file with a real name, every file
// not moved still in its folder, those moved gone from it.
TEST(DeviceCopy, FullDeviceLosesNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    QTemporaryDir source, device;
    if (::mount("tmpfs", QFile::encodeName(device.path()).constData(), "tmpfs", 0, "size=3m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount
    {
        QString path;
        ~Unmount() { ::umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{device.path()};

    const QList<QPair<QString, int>> files = {{u"one.mp3"_s, 1 << 20},
                                              {u"two.mp3"_s, 1 << 20},
                                              {u"three.mp3"_s, 2 << 20},
                                              {u"four.mp3"_s, 1000}};
    QStringList paths;
    for (const auto& [name, size] : files) {
        paths << source.filePath(name);
        Write(paths.last(), Pattern(size, char(name[0].unicode())));
    }
    const MoveReport report = MoveFiles(paths, OpenFolder(device.path(), {}));
    EXPECT_EQ(report.moved, paths.mid(0, 2));
    ASSERT_EQ(report.failed.size(), 2u);
    EXPECT_EQ(report.failed[0].file, paths[2]);
    EXPECT_EQ(report.failed[1].file, paths[3]);
    EXPECT_EQ(Names(device.path()), (QStringList{u"one.mp3"_s, u"two.mp3"_s}));
    EXPECT_EQ(Names(source.path()), (QStringList{u"four.mp3"_s, u"three.mp3"_s}));
    EXPECT_EQ(QFileInfo(paths[2]).size(), 2 << 20);
    EXPECT_EQ(Read(device.filePath(u"two.mp3"_s)), Pattern(1 << 20, 't'));
}

// Links planted on the device, or a folder on it that is a link to the computer's disk: no
// file outside the device is written, renamed or deleted, and no source leaves its folder
// unless its copy is a real file on the device.
TEST(DeviceCopy, PlantedLinksNeverLeadOffTheDevice)
{
    QTemporaryDir source, device, outside;
    const QString precious = outside.filePath(u"precious.txt"_s);
    const QString outsideMp3 = outside.filePath(u"song.mp3"_s);
    Write(precious, "precious");
    Write(outsideMp3, "a song of the person's own");
    QDir().mkpath(device.filePath(u"News"_s));
    QFile::link(precious, device.filePath(u"News/.a.mp3.part"_s));
    QFile::link(precious, device.filePath(u"News/b.mp3"_s));
    QFile::link(outsideMp3, device.filePath(u"News/linked.mp3"_s));
    Write(source.filePath(u"a.mp3"_s), "news a");
    Write(source.filePath(u"b.mp3"_s), "news b");

    DeviceSyncRequest request{device.path(), u"News"_s, 0, true,
                              {source.filePath(u"a.mp3"_s), source.filePath(u"b.mp3"_s)}};
    DeviceSyncResult result = SyncToDevice(request);
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_EQ(result.report.moved.size(), 2);
    EXPECT_EQ(Read(precious), "precious");
    EXPECT_EQ(Read(outsideMp3), "a song of the person's own");
    for (const char16_t* name : {u"News/a.mp3", u"News/b.mp3"})
        EXPECT_FALSE(QFileInfo(device.filePath(QString::fromUtf16(name))).isSymLink());
    EXPECT_EQ(Read(device.filePath(u"News/a.mp3"_s)), "news a");
    EXPECT_EQ(Read(device.filePath(u"News/b.mp3"_s)), "news b");
    EXPECT_FALSE(QFileInfo::exists(device.filePath(u"News/.a.mp3.part"_s)));

    // A folder of the destination that is a link, at any depth.
    QDir().mkpath(device.filePath(u"Player"_s));
    QFile::link(outside.path(), device.filePath(u"Music"_s));
    QFile::link(outside.path(), device.filePath(u"Player/Music"_s));
    Write(source.filePath(u"c.mp3"_s), "news c");
    for (const QString& folder : {u"Music"_s, u"Music/News"_s, u"Player/Music"_s}) {
        request = {device.path(), folder, 0, true, {source.filePath(u"c.mp3"_s)}};
        result = SyncToDevice(request);
        EXPECT_TRUE(result.error.contains(u"link"_s)) << result.error.toStdString();
        EXPECT_TRUE(result.report.moved.isEmpty());
        EXPECT_EQ(Read(source.filePath(u"c.mp3"_s)), "news c");
        EXPECT_EQ(Read(outsideMp3), "a song of the person's own");
        EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{u"precious.txt"_s, u"song.mp3"_s}));
    }
}

// A device unmounted while the dialog was open leaves its bare mount point behind: nothing
// is written there and no source is deleted. A file system mounted inside the device's
// folder is off the device too.
TEST(DeviceCopy, DeviceGoneOrFolderMountedElsewhereGetsNothing)
{
    LoopDevice stick;
    if (!stick.IsMounted())
        GTEST_SKIP() << stick.SkipReason().toStdString();
    QTemporaryDir source, outside;
    Write(source.filePath(u"a.mp3"_s), "news a");
    Write(outside.filePath(u"song.mp3"_s), "keep");
    const quint64 chosen = CDeviceFolder::FileSystemOf(stick.Root());

    QDir().mkpath(stick.Root() + u"/Music"_s);
    ASSERT_EQ(::mount(QFile::encodeName(outside.path()).constData(),
                      QFile::encodeName(stick.Root() + u"/Music"_s).constData(), nullptr,
                      MS_BIND, nullptr),
              0);
    DeviceSyncRequest request{stick.Root(), u"Music"_s, chosen, true, {source.filePath(u"a.mp3"_s)}};
    DeviceSyncResult result = SyncToDevice(request);
    EXPECT_TRUE(result.error.contains(u"leads off it"_s)) << result.error.toStdString();
    EXPECT_EQ(Read(outside.filePath(u"song.mp3"_s)), "keep");
    ::umount2(QFile::encodeName(stick.Root() + u"/Music"_s).constData(), MNT_DETACH);

    ASSERT_TRUE(stick.Unmount());
    request.folder = u"News"_s;
    result = SyncToDevice(request);
    EXPECT_TRUE(result.error.contains(u"no longer mounted"_s)) << result.error.toStdString();
    EXPECT_TRUE(result.report.moved.isEmpty());
    EXPECT_EQ(Read(source.filePath(u"a.mp3"_s)), "news a");
    EXPECT_TRUE(QDir(stick.Root()).isEmpty());

    // Mounted again, the same device takes the news.
    ASSERT_TRUE(stick.Mount());
    result = SyncToDevice(request);
    EXPECT_EQ(result.report.moved, QStringList{source.filePath(u"a.mp3"_s)});
    EXPECT_EQ(Read(stick.Root() + u"/News/a.mp3"_s), "news a");
}
