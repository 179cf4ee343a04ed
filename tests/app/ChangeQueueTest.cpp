#include "CChangeQueue.h"

#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

// Changes come back in order across runs, acknowledged ones do not, and sequence numbers
// are never reused; a file that is not one is set aside, not taken.
TEST(ChangeQueue, ChangesSurviveARestartInOrderAndAcknowledgedOnesDoNot)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"changes.txt"_s);
    CChangeQueue queue;
    queue.Load(path);
    EXPECT_TRUE(queue.IsEmpty());
    ASSERT_TRUE(queue.Append(u"read"_s, {u"12"_s, u"13"_s}));
    ASSERT_TRUE(queue.Append(u"subscribe"_s, {u"http://example.org/a\tb\nc?x=1&y=%41"_s}));
    ASSERT_TRUE(queue.Append(u"star"_s, {u"12"_s}));
    ASSERT_TRUE(queue.Acknowledge(1));

    CChangeQueue again;
    again.Load(path);
    ASSERT_EQ(again.Changes().size(), 2u);
    EXPECT_EQ(again.Changes()[0].sequence, 2);
    EXPECT_EQ(again.Changes()[0].values, QStringList{u"http://example.org/a\tb\nc?x=1&y=%41"_s});
    EXPECT_EQ(again.Changes()[1].kind, u"star"_s);
    ASSERT_TRUE(again.Acknowledge(3));
    ASSERT_TRUE(again.Append(u"unread"_s, {u"12"_s}));
    EXPECT_EQ(again.Changes().front().sequence, 4) << "numbers are not reused";

    // Lines out of order or damaged are skipped; a folder in the file's place is left alone.
    ASSERT_TRUE(WriteFile(path, "next\t9\n5\tread\t1\n3\tread\t2\nbad\n7\tstar\t3\n"));
    again.Load(path);
    ASSERT_EQ(again.Changes().size(), 2u);
    EXPECT_EQ(again.Changes()[1].sequence, 7);
    ASSERT_TRUE(again.Append(u"read"_s, {u"4"_s}));
    EXPECT_EQ(again.Changes().back().sequence, 9);
    const QString folder = dir.filePath(u"folder"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    CChangeQueue odd;
    odd.Load(folder);
    EXPECT_FALSE(odd.Append(u"read"_s, {u"1"_s}));
    EXPECT_TRUE(odd.IsEmpty());
}

// The program killed at any moment (kill -9): at the next start every change it had stored
// is there, in order and whole, and none it had seen acknowledged.
TEST(ChangeQueue, KilledAtAnyMomentNothingStoredIsLostAndNothingTakenComesBack)
{
    if (const QByteArray path = qgetenv("CALVORIA_QUEUE_CHILD"); !path.isEmpty()) {
        CChangeQueue queue;
        queue.Load(QString::fromLocal8Bit(path));
        for (qint64 n = 1;; ++n) {
            if (!queue.Append(u"read"_s, {QString::number(n)}))
                return;
            std::printf("A %lld\n", static_cast<long long>(n));
            if (n % 5 == 0 && queue.Acknowledge(n - 3))
                std::printf("K %lld\n", static_cast<long long>(n - 3));
            std::fflush(stdout);
        }
    }
    QTemporaryDir dir;
    for (int round = 0; round < 6; ++round) {
        const QString path = dir.filePath(u"changes-%1.txt"_s.arg(round));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"CALVORIA_QUEUE_CHILD"_s, path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--gtest_filter=ChangeQueue.Killed*"_s});
        ASSERT_TRUE(child.waitForStarted());
        QThread::msleep(80 + 60 * round);
        child.kill(); // SIGKILL
        child.waitForFinished();
        qint64 accepted = 0, acknowledged = 0;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            if (line.startsWith("A "))
                accepted = line.mid(2).toLongLong();
            else if (line.startsWith("K "))
                acknowledged = line.mid(2).toLongLong();
        }
        ASSERT_GT(accepted, 0) << "the child stored nothing before it was killed";
        CChangeQueue queue;
        queue.Load(path);
        ASSERT_FALSE(queue.IsEmpty());
        qint64 expected = queue.Changes().front().sequence;
        EXPECT_GT(expected, acknowledged) << "an acknowledged change came back";
        EXPECT_LE(expected, acknowledged + 6) << "changes never acknowledged are gone";
        for (const CChangeQueue::Change& change : queue.Changes()) {
            EXPECT_EQ(change.sequence, expected) << "a gap";
            EXPECT_EQ(change.values, QStringList{QString::number(change.sequence)});
            ++expected;
        }
        EXPECT_GE(queue.Changes().back().sequence, accepted) << "a stored change was lost";
    }
}
