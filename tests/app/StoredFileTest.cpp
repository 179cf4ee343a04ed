#include "StoredFile.h"

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
