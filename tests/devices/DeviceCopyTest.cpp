#include "DeviceCopy.h"

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

TEST(DeviceCopy, DestinationStaysOnTheDevice)
{
    QString error;
    EXPECT_EQ(DeviceDestination(u"/media/p/STICK"_s, {}, &error), u"/media/p/STICK"_s);
    EXPECT_EQ(DeviceDestination(u"/media/p/STICK/"_s, u"\\Music\\News\\"_s, &error),
              u"/media/p/STICK/Music/News"_s);
    EXPECT_EQ(DeviceDestination(u"/media/p/STICK"_s, u"/./Podcasts"_s, &error),
              u"/media/p/STICK/Podcasts"_s);
    EXPECT_TRUE(error.isEmpty());
    for (const QString& escaping : {u"../home"_s, u"Music/../../etc"_s, u"..\\x"_s}) {
        error.clear();
        EXPECT_TRUE(DeviceDestination(u"/media/p/STICK"_s, escaping, &error).isEmpty());
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
    EXPECT_EQ(Mp3BytesIn(dest), 3);
    EXPECT_TRUE(RemoveMp3Files(dest).isEmpty());
    EXPECT_EQ(Names(dest), QStringList{u"notes.txt"_s});
    EXPECT_EQ(Read(dest + u"/Old/inner.mp3"_s), "keep");

    Write(dest + u"/b.mp3"_s, "an older copy");
    const QByteArray a = Pattern(3 << 20, 'a'), b = Pattern(100, 'b');
    Write(source.filePath(u"a.mp3"_s), a);
    Write(source.filePath(u"b.mp3"_s), b);
    qint64 lastDone = 0, lastTotal = 0;
    const MoveReport report = MoveFiles(
        {source.filePath(u"a.mp3"_s), source.filePath(u"gone.mp3"_s), source.filePath(u"b.mp3"_s)},
        dest, [&](qint64 done, qint64 total, const QString&) {
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
    EXPECT_EQ(MoveFiles(many, device.path()).moved, many);
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
    const MoveReport report = MoveFiles(paths, device.path());
    EXPECT_EQ(report.moved, paths.mid(0, 2));
    ASSERT_EQ(report.failed.size(), 2u);
    EXPECT_EQ(report.failed[0].file, paths[2]);
    EXPECT_EQ(report.failed[1].file, paths[3]);
    EXPECT_EQ(Names(device.path()), (QStringList{u"one.mp3"_s, u"two.mp3"_s}));
    EXPECT_EQ(Names(source.path()), (QStringList{u"four.mp3"_s, u"three.mp3"_s}));
    EXPECT_EQ(QFileInfo(paths[2]).size(), 2 << 20);
    EXPECT_EQ(Read(device.filePath(u"two.mp3"_s)), Pattern(1 << 20, 't'));
}
