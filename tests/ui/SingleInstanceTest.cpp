#include "CSingleInstance.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
