#include "FolderPublish.h"
#include "ShareSnapshot.h"

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

ino_t Inode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

ShareFileEntry Entry(const QString& path)
{
    const QFileInfo info(path);
    return {path, info.size(), info.lastModified().toSecsSinceEpoch()};
}

} // namespace

// The folder mirrors the feeds: episodes linked (or copied across file systems), the feeds
// written whole, and what left them removed without touching anything else.
TEST(FolderPublish, TheFolderFollowsTheFeedsAndKeepsWhatIsNotOurs)
{
    QTemporaryDir mp3s;
    ASSERT_TRUE(WriteFile(mp3s.filePath(u"one.mp3"_s), QByteArray(5000, 'a')));
    ASSERT_TRUE(WriteFile(mp3s.filePath(u"two.mp3"_s), QByteArray(7000, 'b')));
    ShareSnapshot snapshot;
    snapshot.feeds.insert(u"podcast.xml"_s, "<rss>two</rss>");
    snapshot.files.insert(u"one.mp3"_s, Entry(mp3s.filePath(u"one.mp3"_s)));
    snapshot.files.insert(u"two.mp3"_s, Entry(mp3s.filePath(u"two.mp3"_s)));
    snapshot.files.insert(u"../escape.mp3"_s, Entry(mp3s.filePath(u"one.mp3"_s)));
    snapshot.iconPng = "PNG";

    QTemporaryDir site;
    ASSERT_TRUE(WriteFile(site.filePath(u"index.html"_s), "the person's own page"));
    ASSERT_TRUE(QDir().mkpath(site.filePath(u"audio"_s)));
    ASSERT_TRUE(WriteFile(site.filePath(u"audio/notes.txt"_s), "not an episode"));
    ASSERT_TRUE(WriteFile(site.filePath(u"audio/old.mp3"_s), "left the feed"));
    QString error;
    ASSERT_TRUE(PublishToFolder(snapshot, site.path(), &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(site.filePath(u"podcast.xml"_s)), "<rss>two</rss>");
    EXPECT_EQ(ReadFile(site.filePath(u"icon.png"_s)), "PNG");
    EXPECT_EQ(Inode(site.filePath(u"audio/one.mp3"_s)), Inode(mp3s.filePath(u"one.mp3"_s)));
    EXPECT_EQ(ReadFile(site.filePath(u"audio/two.mp3"_s)), QByteArray(7000, 'b'));
    EXPECT_FALSE(QFile::exists(site.filePath(u"audio/old.mp3"_s)));
    EXPECT_FALSE(QFile::exists(site.filePath(u"escape.mp3"_s)));
    EXPECT_EQ(ReadFile(site.filePath(u"audio/notes.txt"_s)), "not an episode");
    EXPECT_EQ(ReadFile(site.filePath(u"index.html"_s)), "the person's own page");

    // One episode aged out: it goes from the folder, the other stays as it was.
    snapshot.files.remove(u"one.mp3"_s);
    snapshot.feeds[u"podcast.xml"_s] = "<rss>one</rss>";
    ASSERT_TRUE(PublishToFolder(snapshot, site.path(), &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(site.filePath(u"audio/one.mp3"_s)));
    EXPECT_EQ(Inode(site.filePath(u"audio/two.mp3"_s)), Inode(mp3s.filePath(u"two.mp3"_s)));
    EXPECT_EQ(QDir(site.filePath(u"audio"_s)).entryList(QDir::Files),
              (QStringList{u"notes.txt"_s, u"two.mp3"_s}));

    // Another file system (memory): copies instead of links.
    if (QFileInfo(u"/dev/shm"_s).isWritable()) {
        QTemporaryDir other(u"/dev/shm/calvoria-publish-XXXXXX"_s);
        ASSERT_TRUE(PublishToFolder(snapshot, other.path(), &error)) << error.toStdString();
        EXPECT_EQ(ReadFile(other.filePath(u"audio/two.mp3"_s)), QByteArray(7000, 'b'));
    }

    // A folder that cannot be made: a failure with its reason, nothing half done.
    ASSERT_TRUE(WriteFile(site.filePath(u"file"_s), "a file, not a folder"));
    EXPECT_FALSE(PublishToFolder(snapshot, site.filePath(u"file/sub"_s), &error));
    EXPECT_FALSE(error.isEmpty());
}
