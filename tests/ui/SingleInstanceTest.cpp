#include "CSingleInstance.h"
#include "LaunchRequest.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The command that a running copy receives within the given time, 0 for none.
int ReceivedCommand(CSingleInstance& first, int ms)
{
    int received = 0;
    QObject::connect(&first, &CSingleInstance::commandReceived, [&](int c) { received = c; });
    QElapsedTimer timer;
    timer.start();
    while (!received && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return received;
}

// Whether a second copy finds the first and makes it show its window.
bool SecondCopyReachesTheFirst()
{
    CSingleInstance first;
    if (!first.BecomePrimary())
        return false;
    CSingleInstance second;
    return !second.BecomePrimary() &&
           ReceivedCommand(first, 5000) == CSingleInstance::ShowMainWindow;
}

bool IsOurs0700(const QString& folder)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 07777) == 0700;
}

} // namespace

TEST(SingleInstance, SecondCopyAsksTheFirstToShowItsWindow)
{
    ScopedHome home;
    EXPECT_EQ(QFileInfo(CSingleInstance::ServerName()).path(), home.File(u"run"_s));
    EXPECT_TRUE(SecondCopyReachesTheFirst());
}

// Without a private runtime folder the socket must not sit in the shared temporary folder,
// where another user could take its name first.
TEST(SingleInstance, SocketLivesOnlyInAFolderNoOtherUserCanWrite)
{
    ScopedHome home;
    const QString shared = home.File(u"tmp"_s);
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ScopedEnv tmp("TMPDIR", shared.toUtf8());
    const QString ours = shared + u"/calvoria-"_s + QString::number(::getuid());

    // A runtime folder that others may write into is not used.
    ASSERT_EQ(::chmod(QFile::encodeName(home.File(u"run"_s)).constData(), 0777), 0);
    EXPECT_EQ(QFileInfo(CSingleInstance::ServerName()).path(), ours);
    EXPECT_TRUE(IsOurs0700(ours));
    EXPECT_TRUE(SecondCopyReachesTheFirst());

    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(QFileInfo(CSingleInstance::ServerName()).path(), ours);

    // Our folder's name taken by a folder that others may write into: another name.
    ASSERT_TRUE(QDir(ours).removeRecursively());
    ASSERT_EQ(::mkdir(QFile::encodeName(ours).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(ours).constData(), 0777), 0);
    const QString other = QFileInfo(CSingleInstance::ServerName()).path();
    EXPECT_NE(other, ours);
    EXPECT_TRUE(other.startsWith(shared + u'/')) << other.toStdString();
    EXPECT_TRUE(IsOurs0700(other));
    EXPECT_TRUE(SecondCopyReachesTheFirst());
}

// A socket that another user made is no running copy of ours: never asked to show itself.
TEST(SingleInstance, SocketOfAnotherUserIsNotTrusted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a socket to another user";
    ScopedHome home;
    CSingleInstance first;
    ASSERT_TRUE(first.BecomePrimary());
    const QByteArray socket = QFile::encodeName(CSingleInstance::ServerName());
    ASSERT_EQ(::chown(socket.constData(), 65534, 65534), 0);
    CSingleInstance second;
    EXPECT_TRUE(second.BecomePrimary());
    EXPECT_EQ(ReceivedCommand(first, 300), 0);
}

TEST(SingleInstance, SocketLeftByACrashedCopyIsTakenOver)
{
    ScopedHome home;
    ASSERT_TRUE(WriteFile(CSingleInstance::ServerName(), "stale"));
    CSingleInstance instance;
    EXPECT_TRUE(instance.BecomePrimary());
}

namespace {

// What a running copy makes of bytes a client writes to its socket.
struct Received {
    QList<int> commands;
    QStringList feeds;
};

Received Deliver(const QByteArray& bytes, int settleMs = 500)
{
    CSingleInstance first;
    Received received;
    QObject::connect(&first, &CSingleInstance::commandReceived,
                     [&](int command) { received.commands << command; });
    QObject::connect(&first, &CSingleInstance::feedAddressReceived,
                     [&](const QString& address) { received.feeds << address; });
    if (!first.BecomePrimary())
        return received;
    QLocalSocket client;
    client.connectToServer(CSingleInstance::ServerName());
    if (!client.waitForConnected(2000))
        return received;
    client.write(bytes);
    QElapsedTimer timer;
    timer.start();
    // The client's writes and the server's reads share this thread's event loop.
    while (timer.elapsed() < settleMs || client.bytesToWrite() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (timer.elapsed() > 10000)
            break;
    }
    return received;
}

} // namespace

// An over-long line is no message: dropped to its newline, its tail never read as one.
TEST(SingleInstance, OverLongLinesAreDroppedWholeAndTheNextLinesStillCount)
{
    ScopedHome home;
    // Cut at 64 KiB, the tail of this one would read as "update all groups".
    QByteArray cutIntoTwo = "feed http://long.example/";
    cutIntoTwo += QByteArray(65535 - cutIntoTwo.size(), 'x') + "32816\n";
    // This one arrives in many reads before its newline.
    const QByteArray huge = "32816" + QByteArray(300 * 1024, '7') + '\n';
    const Received got = Deliver(cutIntoTwo + huge + "feed http://after.example/\n32848\n");
    EXPECT_EQ(got.commands, QList<int>{CSingleInstance::ShowMainWindow});
    EXPECT_EQ(got.feeds, QStringList{u"http://after.example/"_s});
}

// A later start hands addresses over normalised; the socket reads them the same way, so
// a control character cannot make a second spelling of a subscribed feed.
TEST(SingleInstance, FeedAddressesFromTheSocketAreReadAsTheCommandLineIs)
{
    ScopedHome home;
    const QList<QByteArray> sent{QByteArray("http://a.example/feed\0junk", 26),
                                 "http://a.example/feed\x01", "feed://b.example/rss",
                                 "  http://c.example/x\tmore", "file:///etc/passwd",
                                 "javascript:alert(1)", QByteArray("\0http://d.example/", 18)};
    QByteArray bytes;
    QStringList expected;
    for (const QByteArray& address : sent) {
        bytes += "feed " + address + '\n';
        const QString launched = HandedFeedAddress(QString::fromUtf8(address));
        if (!launched.isEmpty())
            expected << launched;
    }
    EXPECT_EQ(expected, (QStringList{u"http://a.example/feed"_s, u"http://a.example/feed"_s,
                                     u"http://b.example/rss"_s, u"http://c.example/x"_s}));
    EXPECT_EQ(Deliver(bytes).feeds, expected);
}
