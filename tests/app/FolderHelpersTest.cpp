#include "FolderHelpers.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class FolderHelpersTest : public ::testing::Test
{
protected:
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    bool IsDir(const QString& relative) const { return QFileInfo(Path(relative)).isDir(); }

    QTemporaryDir m_dir;
};

TEST_F(FolderHelpersTest, SizeSumsMatchingFilesOnly)
{
    ASSERT_TRUE(WriteFile(Path(u"a.mp3"_s), QByteArray(10, 'x')));
    ASSERT_TRUE(WriteFile(Path(u"B.MP3"_s), QByteArray(20, 'x')));
    ASSERT_TRUE(WriteFile(Path(u"noext"_s), QByteArray(5, 'x')));
    ASSERT_TRUE(WriteFile(Path(u".hidden"_s), QByteArray(3, 'x')));
    ASSERT_TRUE(WriteFile(Path(u"c.txt"_s), QByteArray(7, 'x')));
    ASSERT_TRUE(WriteFile(Path(u"folder.mp3/inner.mp3"_s), QByteArray(100, 'x')));

    const QString folder = m_dir.path() + u'/';
    EXPECT_EQ(FolderSize(folder + u"*.*"_s), 45);
    EXPECT_EQ(FolderSize(folder + u"*.mp3"_s), 30);
    EXPECT_EQ(FolderSize(folder + u"noext"_s), 5);
    EXPECT_EQ(FolderSize(folder + u"*.wav"_s), 0);
    EXPECT_EQ(FolderSize(folder + u"missing/*.*"_s), 0);
}

TEST_F(FolderHelpersTest, EnsureCreatesMissingParents)
{
    EXPECT_TRUE(EnsureFolder(Path(u"a/b/c"_s)));
    EXPECT_TRUE(IsDir(u"a/b/c"_s));
    EXPECT_TRUE(EnsureFolder(Path(u"a/b/c"_s)));
}

TEST_F(FolderHelpersTest, EnsureAcceptsATrailingSeparatorAndBackslashes)
{
    EXPECT_TRUE(EnsureFolder(Path(u"x/y/"_s)));
    EXPECT_TRUE(IsDir(u"x/y"_s));
    EXPECT_TRUE(EnsureFolder(Path(u"p\\q\\r\\"_s)));
    EXPECT_TRUE(IsDir(u"p/q/r"_s));
    EXPECT_TRUE(EnsureFolder(u"/"_s));
}

TEST_F(FolderHelpersTest, EnsureFailsWhereAFileIsInTheWay)
{
    ASSERT_TRUE(WriteFile(Path(u"file"_s), "x"));
    EXPECT_FALSE(EnsureFolder(Path(u"file"_s)));
    EXPECT_FALSE(EnsureFolder(Path(u"file/sub"_s)));
    EXPECT_FALSE(EnsureFolder(Path(u"file/sub/deeper"_s)));
    EXPECT_TRUE(QFileInfo(Path(u"file"_s)).isFile());
}

TEST(FolderHelpersEnsure, EmptyPathFails)
{
    EXPECT_FALSE(EnsureFolder(QString()));
}

} // namespace
