#include "StoredFile.h"
#include "StoredFileBatch.h"

#include "DiskFaults.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

TEST(StoredFile, AWriteThatFailsHalfwayLeavesTheOldFileAndNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.opml"_s);
    ASSERT_TRUE(WriteFile(path, "old contents"));
    QString error;
    {
        // Less than the new bytes, and less than one buffer: only a checked write or close
        // notices.
        ScopedFileSizeLimit limit(3000);
        EXPECT_FALSE(SaveFileAtomically(path, QByteArray(5000, 'n'), &error));
    }
    EXPECT_TRUE(error.startsWith(u"write: "_s)) << error.toStdString();
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"data.opml"_s});

    EXPECT_TRUE(SaveFileAtomically(path, "new", &error));
    EXPECT_EQ(ReadFile(path), "new");
    ASSERT_TRUE(QDir().mkpath(dir.filePath(u"folder"_s)));
    EXPECT_FALSE(SaveFileAtomically(dir.filePath(u"folder"_s), "x", &error));
    EXPECT_EQ(error, u"not a regular file"_s);
}

TEST(StoredFile, KeepingAsideNeverReplacesAnEarlierCopy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"saved.rss"_s);
    ASSERT_TRUE(WriteFile(path, "first"));
    const QString one = KeepFileAside(path);
    ASSERT_TRUE(WriteFile(path, "second"));
    const QString two = KeepFileAside(path);
    ASSERT_FALSE(one.isEmpty());
    ASSERT_FALSE(two.isEmpty());
    EXPECT_NE(one, two);
    EXPECT_TRUE(one.startsWith(path + u".bad-"_s));
    EXPECT_EQ(ReadFile(one), "first");
    EXPECT_EQ(ReadFile(two), "second");
}

TEST(StoredFile, ABatchReplacesEveryFileItCanAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const auto name = [&](int n) { return dir.filePath(u"%1.rss"_s.arg(n)); };
    QStringList done;
    {
        CStoredFileBatch batch;
        // Enough files to be flushed as a whole; one of them replaces an old version.
        ASSERT_TRUE(WriteFile(name(0), "old"));
        for (int n = 0; n < 20; ++n)
            ASSERT_TRUE(batch.Add(name(n), QByteArray::number(n), nullptr,
                                  [&, n](bool saved, const QString& reason) {
                                      done << u"%1 %2 %3"_s.arg(n).arg(saved).arg(reason);
                                  }));
        // Nothing is replaced before the commit.
        EXPECT_EQ(ReadFile(name(0)), "old");
        EXPECT_FALSE(QFile::exists(name(1)));
        // A file that became a folder in the meantime keeps it, and only it fails.
        ASSERT_TRUE(QDir().mkpath(name(7) + u"/inside"_s));
        EXPECT_FALSE(batch.Commit());
    }
    EXPECT_EQ(done.size(), 20);
    EXPECT_EQ(done.value(7), u"7 0 rename: Is a directory"_s);
    EXPECT_EQ(ReadFile(name(0)), "0");
    EXPECT_EQ(ReadFile(name(19)), "19");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 19) << "no temporary file left";

    // A batch never committed leaves the old files and nothing else.
    {
        CStoredFileBatch batch;
        ASSERT_TRUE(batch.Add(name(0), "lost"));
        QString error;
        EXPECT_FALSE(batch.Add(name(7), "x", &error));
        EXPECT_EQ(error, u"not a regular file"_s);
    }
    EXPECT_EQ(ReadFile(name(0)), "0");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 19);
}
