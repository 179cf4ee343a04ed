// Start-up and exit of the real program, as a process on the offscreen platform.
#include "LocalServer.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QStandardPaths>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/un.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class StartupProcess : public ::testing::Test
{
protected:
    ScopedHome home;
    QString programFolder = home.File(u"prog/bin"_s);
    std::vector<std::unique_ptr<QProcess>> processes;

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(programFolder));
        // The program and the reading pane's browser module it loads from its folder.
        for (const QString& name : {u"calvoria"_s, u"libcalvoria-reading.so"_s}) {
            const QString built = BinDir() + u'/' + name;
            ASSERT_TRUE(QFile::copy(built, programFolder + u'/' + name)) << built.toStdString();
        }
    }
    void TearDown() override
    {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QString Program() const { return programFolder + u"/calvoria"_s; }
    QString LogFile() const { return programFolder + u"/log.txt"_s; }

    QProcess& Start(const QStringList& extraEnv = {})
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString& kv : extraEnv)
            env.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        p->setProcessEnvironment(env);
        p->setProgram(Program());
        p->start();
        EXPECT_TRUE(p->waitForStarted(5000));
        processes.push_back(std::move(p));
        return *processes.back();
    }

    static QStringList Lines(const QString& file)
    {
        QStringList lines;
        for (const QString& line : QString::fromUtf8(ReadFile(file)).split(u'\n')) {
            const qsizetype tab = line.indexOf(u'\t');
            if (tab >= 0)
                lines << line.mid(tab + 1);
        }
        return lines;
    }

    bool WaitForLine(const QString& file, const QString& line, int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            if (Lines(file).contains(line))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    static void Terminate(QProcess& p)
    {
        ::kill(pid_t(p.processId()), SIGTERM);
        EXPECT_TRUE(p.waitForFinished(15000));
    }
};

// Lines to expect, in order; an entry ending in "*" matches by prefix.
void ExpectLines(const QStringList& actual, const QStringList& expected)
{
    ASSERT_GE(actual.size(), expected.size()) << actual.join(u'\n').toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QString& e = expected[i];
        if (e.endsWith(u'*'))
            EXPECT_TRUE(actual[i].startsWith(e.chopped(1))) << i << ": " << actual[i].toStdString();
        else
            EXPECT_EQ(actual[i], e) << "line " << i;
    }
}

const QString kFoldersMessage = u"Cannot create internal folders. Make sure you have access rights."_s;

} // namespace

TEST_F(StartupProcess, CleanStartAndExitWriteTheirLinesInOrder)
{
    QProcess& p = Start();
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s));
    const QString root = home.File(u"data/Calvoria/"_s);
    ExpectLines(Lines(LogFile()),
                {u"Log file started"_s, u"Exe name '"_s + programFolder + u"'"_s,
                 u"Version '1.0.52.150'"_s, u"ShowCmd is 1"_s, u"Sockets has been initialized"_s,
                 u"OLE has been initialized"_s, u"Start checking system components"_s,
                 u"IE version *"_s, u"OS version *"_s, u"Start checking SAPI"_s,
                 u"SAPI registry in-place. Check voice"_s, u"SAPI CLSID_SpVoice created."_s,
                 u"SAPI OK"_s, u"Start checking MSXML"_s, u"MSXML done"_s,
                 u"Start checking Firefox"_s, u"*ERROR: Failed to create Firefox 80040154"_s,
                 u"Creating main converter"_s, u"Creating internet session"_s, u"Loading preferences..."_s,
                 u"Prefernces does not exist"_s, u"Changing Root"_s,
                 u"Root dir '"_s + root + u"'"_s, u"Check root dir"_s, u"Check voice dir"_s,
                 u"Check mp3 dir"_s, u"Check feeds dir"_s, u"Directories Done"_s,
                 u"Creating new document"_s, u"Reading news"_s,
                 u"Start Reading group: '"_s + root + u"data.opml'"_s,
                 u"*ERROR: Cannot load group"_s, u"Reading saved news"_s,
                 u"Start downloading channel: '"_s + root + u"saved.rss'"_s,
                 u"*ERROR: Cannot load channel: '"_s + root + u"saved.rss'"_s,
                 u"Reading search news"_s,
                 u"Start downloading channel: '"_s + root + u"search.rss'"_s,
                 u"*ERROR: Cannot load channel: '"_s + root + u"search.rss'"_s,
                 u"Document initialization done"_s, QString(), u"Creating frame ..."_s,
                 u"Creating internal browser"_s, u"Creating internal browser application"_s,
                 u"Creating tray icon"_s, u"Frame creation done"_s, QString(),
                 u"Hide main window"_s, u"Restoring main frame position"_s,
                 u"Reading frame position ..."_s, u"Placement does not exist"_s,
                 u"Reading frame position: Done"_s, u"Starting queues"_s,
                 u"Initialization done"_s, QString(82, u'-'), QString()});
    for (const char* folder : {"Feeds", "Voice", "MP3"})
        EXPECT_TRUE(QDir(root + QLatin1String(folder)).exists()) << folder;

    Terminate(p);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    QStringList lines = Lines(LogFile());
    const qsizetype start = lines.indexOf(u"Initialization done"_s) + 3;
    ExpectLines(lines.mid(start),
                {u"Storing frame position ..."_s, u"Storing frame position: Done"_s,
                 u"Saving news"_s, u"Saving news: done"_s, QString(), QString(66, u'-'),
                 u"Start Exiting"_s, u"Queue stopped"_s, u"Converted destroyed"_s,
                 u"Internet Session closed"_s, u"Exit Done"_s, u"Log file closed"_s});
    EXPECT_EQ(lines.size(), start + 12);
    EXPECT_TRUE(QFile::exists(root + u"data.opml"_s)) << "the document saved as it closed";
}

TEST_F(StartupProcess, SecondStartEndsAtOnceWithoutTouchingTheLog)
{
    QProcess& first = Start({u"CALVORIA_SHOW_COMMAND=7"_s});
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s));
    EXPECT_TRUE(Lines(LogFile()).contains(u"ShowCmd is 7"_s));
    const QByteArray before = ReadFile(LogFile());

    QElapsedTimer timer;
    timer.start();
    QProcess& second = Start();
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 1500) << "the second copy must not start up";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(ReadFile(LogFile()), before);
    EXPECT_FALSE(QFile::exists(programFolder + u"/log1.txt"_s));
    EXPECT_EQ(first.state(), QProcess::Running);
    Terminate(first);
}

TEST_F(StartupProcess, DataRootThatCannotBeCreatedEndsWithMessage106)
{
    ASSERT_TRUE(WriteFile(home.File(u"blocker"_s), "not a folder"));
    QProcess& p = Start({u"XDG_DATA_HOME="_s + home.File(u"blocker/data"_s)});
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(kFoldersMessage));
    const QStringList lines = Lines(LogFile());
    const qsizetype check = lines.indexOf(u"Check root dir"_s);
    ASSERT_GE(check, 0);
    EXPECT_EQ(lines.value(check + 1), kFoldersMessage);
    EXPECT_TRUE(lines.contains(u"Start Exiting"_s));
    EXPECT_FALSE(lines.contains(u"Initialization done"_s));
}

TEST_F(StartupProcess, ProgramFolderWithoutRoomForALogUsesTheStateFolder)
{
    QStringList names{u"log.txt"_s};
    for (int i = 1; i <= 9; ++i)
        names << u"log%1.txt"_s.arg(i);
    for (const QString& name : names)
        ASSERT_TRUE(QDir(programFolder).mkdir(name));
    QProcess& p = Start();
    const QString fallback = home.File(u"state/Calvoria/log.txt"_s);
    ASSERT_TRUE(WaitForLine(fallback, u"Initialization done"_s));
    Terminate(p);
    EXPECT_TRUE(Lines(fallback).contains(u"Exit Done"_s));
}

TEST_F(StartupProcess, WithoutTheReadingModuleTheWindowRunsAndTheLogSaysWhy)
{
    ASSERT_TRUE(QFile::remove(programFolder + u"/libcalvoria-reading.so"_s));
    QProcess& p = Start();
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s));
    EXPECT_TRUE(Lines(LogFile()).contains(u"IE version 0.0"_s));
    // The empty folder's welcome page is due at once; the pane cannot show it.
    const auto failed = [&] {
        for (const QString& line : Lines(LogFile()))
            if (line.startsWith(u"*ERROR: Cannot load the reading module: "_s))
                return true;
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (!failed() && waited.elapsed() < 20000)
        QThread::msleep(20);
    ASSERT_TRUE(failed());
    Terminate(p);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(Lines(LogFile()).contains(u"Exit Done"_s));
}

TEST_F(StartupProcess, CorruptSettingsStartWithDefaults)
{
    ASSERT_TRUE(WriteFile(home.File(u"config/Trevane Labs/Calvoria.conf"_s),
                          "[Options]\nMain=@ByteArray(\\0\\x1\\x2)\nRoot=\x01\x02\xff\n\0\0garbage"));
    QProcess& p = Start();
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s) ||
                WaitForLine(LogFile(), kFoldersMessage, 100));
    EXPECT_TRUE(Lines(LogFile()).contains(u"Prefernces does not exist"_s));
    Terminate(p);
}

TEST_F(StartupProcess, ADamagedTreeIsToldAndKeptAndAFolderInUseIsRefused)
{
    const QString root = home.File(u"data/Calvoria/"_s);
    const QByteArray damaged = "<opml version=\"1.0\"><body><outline type=\"rss\" text=\"Kept\" "
                               "xmlUrl=\"http://127.0.0.1:1/\"/><outline type=\"rss\" te";
    ASSERT_TRUE(WriteFile(root + u"data.opml"_s, damaged));
    QProcess& p = Start();
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s));
    Terminate(p);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(u"could not be read whole"_s));
    const QStringList bad = QDir(root).entryList({u"data.opml.bad-*"_s});
    ASSERT_EQ(bad.size(), 1);
    EXPECT_EQ(ReadFile(root + bad[0]), damaged);
    EXPECT_TRUE(ReadFile(root + u"data.opml"_s).contains("text=\"Kept\""));

    QProcess holder;
    holder.start(u"flock"_s, {u"-n"_s, u"-o"_s, root + u"calvoria.lock"_s, u"sleep"_s, u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);
    QProcess& refused = Start();
    ASSERT_TRUE(refused.waitForFinished(15000));
    holder.kill();
    holder.waitForFinished();
    EXPECT_NE(refused.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(refused.readAllStandardError()).contains(u"is in use by"_s));
}

namespace {

// An X server of the test's own, so that message boxes really show and wait.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
            return;
        m_server.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
        QElapsedTimer timer;
        timer.start();
        while (!m_server.canReadLine() && timer.elapsed() < 10000)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        if (!number.isEmpty())
            m_name = u":"_s + QString::fromLatin1(number);
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QString Name() const { return m_name; } // empty when there is none
    // The windows named name that are shown on it.
    QStringList Windows(const QString& name) const
    {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_name);
        search.setProcessEnvironment(env);
        search.start(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, name});
        search.waitForFinished(5000);
        return QString::fromUtf8(search.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QProcess m_server;
    QString m_name;
};

// Writes bytes to the running copy's instance socket, as a later start would.
bool WriteToRunningCopy(const QString& runtimeFolder, const QByteArray& bytes)
{
    const QByteArray path =
        QFile::encodeName(runtimeFolder + u"/MainWindowCalvoria-"_s + QString::number(::getuid()));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        ok = n > 0;
        done += n;
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace

// Logging out while the start tells the person that the data folder is in use must not
// wait for ever on the box: the program ends at once, through its exit steps.
TEST_F(StartupProcess, TheSessionsTerminateSignalEndsTheStartFromAMessageBox)
{
    VirtualDisplay display;
    if (display.Name().isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    const QString root = home.File(u"data/Calvoria/"_s);
    ASSERT_TRUE(QDir().mkpath(root));
    QProcess holder;
    holder.start(u"flock"_s, {u"-n"_s, u"-o"_s, root + u"calvoria.lock"_s, u"sleep"_s, u"60"_s});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);

    QProcess& p = Start({u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display.Name(),
                         u"QTWEBENGINE_DISABLE_SANDBOX=1"_s});
    QElapsedTimer timer;
    timer.start();
    while (display.Windows(u"^Calvoria$"_s).isEmpty() && timer.elapsed() < 20000)
        QThread::msleep(100);
    ASSERT_FALSE(display.Windows(u"^Calvoria$"_s).isEmpty()) << "the box shows";
    EXPECT_EQ(p.state(), QProcess::Running) << "the box waits for the person";

    ::kill(pid_t(p.processId()), SIGTERM);
    timer.restart();
    const bool ended = p.waitForFinished(5000);
    holder.kill();
    holder.waitForFinished();
    ASSERT_TRUE(ended) << "still waiting on the box after SIGTERM";
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    const QStringList lines = Lines(LogFile());
    const qsizetype stopped = lines.indexOf(u"*ERROR: Start-up ended by the session"_s);
    ASSERT_GE(stopped, 0) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.mid(stopped + 2, 6),
              (QStringList{QString(66, u'-'), u"Start Exiting"_s, u"Queue stopped"_s,
                           u"Converted destroyed"_s, u"Internet Session closed"_s,
                           u"Exit Done"_s}));
}

// Scripts and later starts may ask for "update all" far faster than a round takes: those
// that come while one runs make one more round, not one each.
TEST_F(StartupProcess, AFloodOfUpdateAllRequestsOnTheSocketMakesAtMostTwoRounds)
{
    LocalServer server;
    const std::vector<std::string> feeds{"/a.xml", "/b.xml", "/c.xml"};
    for (const std::string& feed : feeds)
        server.Get(feed, [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<rss version=\"2.0\"><channel><title>T</title><item><title>One"
                                 "</title><description>x</description></item></channel></rss>",
                                 "application/rss+xml");
        });
    QByteArray opml = "<opml version=\"1.0\"><body>";
    for (const std::string& feed : feeds)
        opml += "<outline type=\"rss\" text=\"" + QByteArray::fromStdString(feed) +
                "\" xmlUrl=\"" + server.Url(feed.c_str()).toUtf8() + "\"/>";
    ASSERT_TRUE(WriteFile(home.File(u"data/Calvoria/data.opml"_s), opml + "</body></opml>"));
    const auto hits = [&] {
        int total = 0;
        for (const std::string& feed : feeds)
            total += server.Hits(feed);
        return total;
    };
    // Waits until no fetch has come for a while; the number of fetches then.
    const auto settled = [&] {
        int last = -1;
        for (int i = 0; i < 60 && hits() != last; ++i) {
            last = hits();
            QThread::msleep(1500);
        }
        return last;
    };

    QProcess& p = Start();
    ASSERT_TRUE(WaitForLine(LogFile(), u"Initialization done"_s));
    const int before = settled();
    QByteArray flood;
    for (int i = 0; i < 20000; ++i)
        flood += "32816\n";
    ASSERT_TRUE(WriteToRunningCopy(home.File(u"run"_s), flood));
    const int after = settled();
    EXPECT_GE(after - before, int(feeds.size())) << "at least one round";
    EXPECT_LE(after - before, 2 * int(feeds.size())) << "at most two rounds";
    Terminate(p);
}
