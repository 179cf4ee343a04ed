// What the companion prints stays readable by scripts whatever the names hold, and a
// companion ended by a signal leaves nothing behind.
#include "LocalServer.h"
#include "TestSupport.h"
#include "ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QJsonArray Json(const ToolRun& run)
{
    return QJsonDocument::fromJson(run.bytes).array();
}

} // namespace

// A group named "a/b" is not the group b inside a, in every command that prints or takes
// a path; and text from outside cannot break a row apart.
TEST(CompanionOutput, GroupPathsAndRowsKeepSlashesTabsAndLineBreaksApart)
{
    ScopedHome home;
    const QString data = home.File(u"data/Calvoria"_s);
    const QString opml = home.File(u"in.opml"_s);
    ASSERT_TRUE(WriteFile(opml, R"(<opml version="2.0"><body>
<outline text="a/b"><outline text="Slashed" xmlUrl="http://127.0.0.1:1/slashed.xml"/></outline>
<outline text="a"><outline text="b"><outline text="Nested" xmlUrl="http://127.0.0.1:1/nested.xml"/></outline></outline>
<outline text="c\d"><outline text="Backslashed" xmlUrl="http://127.0.0.1:1/back.xml"/></outline>
<outline text="odd" xmlUrl="mailto:x&#9;y&#10;z\"/>
</body></opml>)"));
    const ToolRun imported = Tool({u"import"_s, opml, u"--data"_s, data});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.contains(u"skipped\tmailto:x\\ty\\nz\\\\\tnot a feed address"_s))
        << imported.out.join(u'\n').toStdString();
    EXPECT_EQ(imported.out.size(), 5);

    EXPECT_EQ(Tool({u"groups"_s, u"--data"_s, data}).out,
              (QStringList{u"group\tchannels\tunread"_s, u"\t3\t0"_s, u"a\\/b\t1\t0"_s,
                           u"a\t1\t0"_s, u"a/b\t1\t0"_s, u"c\\\\d\t1\t0"_s}));
    // What is printed is what --group takes, and the other way round.
    const auto namesIn = [&](const QString& path) {
        QStringList names;
        for (const QString& row :
             Tool({u"list"_s, u"--group"_s, path, u"--data"_s, data}).out.mid(1))
            names << row.section(u'\t', 0, 0) + u" in "_s + row.section(u'\t', 4);
        return names;
    };
    EXPECT_EQ(namesIn(u"a\\/b"_s), QStringList{u"Slashed in a\\/b"_s});
    EXPECT_EQ(namesIn(u"a/b"_s), QStringList{u"Nested in a/b"_s});
    EXPECT_EQ(namesIn(u"c\\\\d"_s), QStringList{u"Backslashed in c\\\\d"_s});
    EXPECT_TRUE(Tool({u"export"_s, u"--group"_s, u"a\\/b"_s, u"--data"_s, data})
                    .out.join(u'\n')
                    .contains(u"Slashed"_s));

    const ToolRun moved =
        Tool({u"move"_s, u"Nested"_s, u"--group"_s, u"x\\/y/z"_s, u"--data"_s, data});
    EXPECT_EQ(moved.out, QStringList{u"moved\tNested\tx\\/y/z"_s}) << moved.err.toStdString();
    QStringList paths;
    for (const QJsonValue& group : Json(Tool({u"groups"_s, u"--json"_s, u"--data"_s, data})))
        paths << group[u"group"_s].toString() + u'=' +
                     QString::number(group[u"channels"_s].toInt());
    EXPECT_EQ(paths, (QStringList{u"=3"_s, u"a\\/b=1"_s, u"a=0"_s, u"a/b=0"_s, u"c\\\\d=1"_s,
                                  u"x\\/y=1"_s, u"x\\/y/z=1"_s}));

    const ToolRun help = Tool({u"help"_s, u"move"_s});
    EXPECT_TRUE(help.out.join(u'\n').contains(u"\"a\\/b\" is the one group a/b"_s));
}

// A mount point may hold a tab or a line break: the row stays one row, and --json gives
// the root as it is.
TEST(CompanionOutput, DevicesPrintOneEscapedRowEachAndJsonOnRequest)
{
    ScopedHome home;
    const QString fake = home.File(u"fake"_s);
    const QString disk = fake + u"/sys/devices/pci0000:00/usb1/1-2/host6/block/sdb"_s;
    ASSERT_TRUE(WriteFile(disk + u"/removable"_s, "0\n"));
    ASSERT_TRUE(WriteFile(disk + u"/device/vendor"_s, "Acme    \n"));
    ASSERT_TRUE(WriteFile(disk + u"/device/model"_s, "Flash Disk      \n"));
    ASSERT_TRUE(WriteFile(disk + u"/sdb1/partition"_s, "1\n"));
    ASSERT_TRUE(QDir().mkpath(fake + u"/sys/dev/block"_s));
    ASSERT_TRUE(QFile::link(disk + u"/sdb1"_s, fake + u"/sys/dev/block/8:17"_s));
    ASSERT_TRUE(WriteFile(fake + u"/proc/self/mountinfo"_s,
                          "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                          "41 22 8:17 / /media/me/A\\011B\\012C\\134 rw - vfat /dev/sdb1 rw\n"));
    ScopedEnv root("CALVORIA_DEVICE_ROOT", fake.toUtf8());

    const ToolRun rows = Tool({u"devices"_s});
    EXPECT_EQ(rows.exitCode, 0) << rows.err.toStdString();
    EXPECT_EQ(rows.out,
              (QStringList{u"root\tname\tkey\tfree bytes"_s,
                           u"/media/me/A\\tB\\nC\\\\\tAcme Flash Disk\tAcme Flash Disk\t0"_s}));
    const ToolRun json = Tool({u"devices"_s, u"--json"_s});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(Json(json), QJsonArray({QJsonObject{{u"root"_s, u"/media/me/A\tB\nC\\"_s},
                                                  {u"name"_s, u"Acme Flash Disk"_s},
                                                  {u"key"_s, u"Acme Flash Disk"_s},
                                                  {u"freeBytes"_s, 0}}}));
}

// Ctrl+C, a kill or a closed terminal in the middle of a command: its temporary folders go
// with it, and it still ends by the signal, as scripts expect.
TEST(CompanionOutput, ACompanionEndedBySignalLeavesNoTemporaryFolders)
{
    ScopedHome home;
    LocalServer server;
    server.GetSlowly("/slow.xml", "application/rss+xml");
    const QString data = home.File(u"data/Calvoria/"_s);
    ASSERT_TRUE(
        WriteFile(data + u"data.opml"_s,
                  "<opml version=\"1.0\"><body><outline type=\"rss\" text=\"Slow\" xmlUrl=\"" +
                      server.Url("/slow.xml").toUtf8() + "\"/></body></opml>"));
    const QString temporary = home.File(u"tmp"_s);
    ASSERT_TRUE(QDir().mkpath(temporary));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TMPDIR"_s, temporary);

    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const int hits = server.Hits("/slow.xml");
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(BinDir() + u"/calvoria-tool"_s, {u"refresh"_s, u"--data"_s, data});
        ASSERT_TRUE(tool.waitForStarted());
        for (int i = 0; i < 300 && server.Hits("/slow.xml") == hits; ++i)
            QThread::msleep(20);
        ASSERT_GT(server.Hits("/slow.xml"), hits) << "the refresh is under way";
        EXPECT_FALSE(QDir(temporary).isEmpty()) << "it works in a temporary folder";
        ::kill(pid_t(tool.processId()), sig);
        ASSERT_TRUE(tool.waitForFinished(10000));
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit) << "ended by signal " << sig;
        EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList())
            << "after signal " << sig;
    }
}
