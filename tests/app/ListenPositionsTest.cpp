#include "CListenPositions.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray Id(int n)
{
    return QByteArray::number(n, 16).toUpper().rightJustified(32, '0');
}

} // namespace

// What a half-heard news needs: its position back after a restart, whatever else the file
// holds, and a file that never grows without bound.
TEST(ListenPositions, PositionsComeBackAcrossRunsAndDamagedLinesAreSkipped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"listening.txt"_s);
    ASSERT_TRUE(WriteFile(path, Id(1) + " 5000\n" + Id(2) + " x\n" + "short 10\n" +
                                    Id(0xABC).toLower() + " 70\n" + Id(4) + QByteArray(" -5\n\0\n", 6) + Id(5) +
                                    " 123\n"));
    CListenPositions positions;
    positions.Load(path);
    EXPECT_EQ(positions.Position(Id(1)), 5000);
    EXPECT_EQ(positions.Position(Id(5)), 123);
    for (int bad : {2, 0xABC, 4})
        EXPECT_EQ(positions.Position(Id(bad)), 0) << bad;

    positions.SetPosition(Id(1), 0); // heard to the end: forgotten
    positions.SetPosition(Id(6), 42000);
    positions.SetPosition("not an identity", 10);
    ASSERT_TRUE(positions.Save());
    EXPECT_FALSE(positions.IsChanged());

    CListenPositions again;
    again.Load(path);
    EXPECT_EQ(again.Position(Id(1)), 0);
    EXPECT_EQ(again.Position(Id(5)), 123);
    EXPECT_EQ(again.Position(Id(6)), 42000);
    EXPECT_EQ(ReadFile(path), Id(5) + " 123\n" + Id(6) + " 42000\n");
}

TEST(ListenPositions, OnlyTheNewestAreKeptAndAFileThatIsNoFileIsLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"listening.txt"_s);
    CListenPositions positions;
    positions.Load(path);
    const int count = CListenPositions::kMaxEntries + 10;
    for (int n = 1; n <= count; ++n)
        positions.SetPosition(Id(n), n);
    positions.SetPosition(Id(1), 99); // set again: now among the newest
    ASSERT_TRUE(positions.Save());
    CListenPositions again;
    again.Load(path);
    EXPECT_EQ(again.Position(Id(1)), 99);
    EXPECT_EQ(again.Position(Id(2)), 0);
    EXPECT_EQ(again.Position(Id(11)), 0);
    EXPECT_EQ(again.Position(Id(12)), 12);
    EXPECT_EQ(again.Position(Id(count)), count);

    // A folder where the file should be: nothing read, a save fails without harm.
    const QString folder = dir.filePath(u"folder.txt"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    CListenPositions odd;
    odd.Load(folder);
    odd.SetPosition(Id(1), 10);
    EXPECT_FALSE(odd.Save());
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
