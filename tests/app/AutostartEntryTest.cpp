#include "AutostartEntry.h"

#include "DiskFaults.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// desktop-file-validate's verdict on the entry at path; empty when it is valid or the
// tool is not installed.
QString ValidatorComplaint(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (tool.isEmpty())
        return {};
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(tool, {path});
    if (!validate.waitForFinished(30000))
        return u"desktop-file-validate did not finish"_s;
    const QString output = QString::fromUtf8(validate.readAll());
    return validate.exitCode() == 0 && !output.contains(u"error:"_s) ? QString() : output;
}

} // namespace

TEST(AutostartEntry, TheEntryIsWrittenReadSwitchedOffAndRemoved)
{
    ScopedHome home;
    const QString path = home.File(u"config/autostart/org.calvoria.calvoria.desktop"_s);
    ASSERT_EQ(AutostartEntryPath(), path);
    EXPECT_FALSE(AutostartEnabled());

    QString error;
    ASSERT_TRUE(SetAutostart(true, u"/usr/lib/calvoria/bin/calvoria"_s, &error))
        << error.toStdString();
    EXPECT_EQ(ReadFile(path), "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Calvoria\n"
                              "Exec=/usr/lib/calvoria/bin/calvoria --hidden\n"
                              "Icon=org.calvoria.calvoria\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n"
                              "NoDisplay=false\n");
    EXPECT_TRUE(AutostartEnabled());
    EXPECT_EQ(ValidatorComplaint(path), QString());

    // A path with a space, a backslash, a dollar and a percent sign: quoted and escaped for
    // Exec, then the backslash once more for the file's string syntax.
    ASSERT_TRUE(SetAutostart(true, u"/opt/My Apps/a\\b$c/100%"_s, &error)) << error.toStdString();
    EXPECT_TRUE(
        ReadFile(path).contains("\nExec=\"/opt/My Apps/a\\\\\\\\b\\\\$c/100%%\" --hidden\n"))
        << ReadFile(path).toStdString();
    EXPECT_EQ(ValidatorComplaint(path), QString());

    // The desktop's session settings switch the entry off without removing it; a key of
    // another group does not count.
    ASSERT_TRUE(WriteFile(path, "[Desktop Entry]\nExec=calvoria\nHidden = true\n"));
    EXPECT_FALSE(AutostartEnabled());
    ASSERT_TRUE(
        WriteFile(path, "[Desktop Entry]\nExec=calvoria\nX-GNOME-Autostart-enabled=false\n"));
    EXPECT_FALSE(AutostartEnabled());
    ASSERT_TRUE(
        WriteFile(path, "[Desktop Entry]\nExec=calvoria\n[Desktop Action x]\nHidden=true\n"));
    EXPECT_TRUE(AutostartEnabled());

    EXPECT_TRUE(SetAutostart(false, {}, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_TRUE(SetAutostart(false, {}, &error)) << "nothing to remove is no failure";

    // A file where the folder should be.
    const QString folder = home.File(u"config/autostart"_s);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(WriteFile(folder, "not a folder"));
    EXPECT_FALSE(SetAutostart(true, u"/usr/bin/calvoria"_s, &error));
    EXPECT_EQ(error, u"Cannot create the folder '%1'."_s.arg(folder));
    ASSERT_TRUE(QFile::remove(folder));

    // A folder that cannot be written: a read-only file system under root, else the mode.
    ScopedSmallDisk disk(1 << 20);
    std::optional<ScopedEnv> config;
    QString readOnly = folder;
    if (disk.Mounted()) {
        config.emplace("XDG_CONFIG_HOME", disk.Path().toUtf8());
        readOnly = disk.Path() + u"/autostart"_s;
        ASSERT_TRUE(QDir().mkpath(readOnly));
        ASSERT_TRUE(disk.SetReadOnly(true));
    } else {
        if (geteuid() == 0)
            GTEST_SKIP() << "root without a mount of its own cannot make a read-only folder";
        ASSERT_TRUE(QDir().mkpath(readOnly));
        ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString entry = readOnly + u"/org.calvoria.calvoria.desktop"_s;
    EXPECT_FALSE(SetAutostart(true, u"/usr/bin/calvoria"_s, &error));
    EXPECT_TRUE(error.startsWith(u"Cannot write '%1': "_s.arg(entry))) << error.toStdString();
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_TRUE(QDir(readOnly).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                       QDir::System));
    if (disk.Mounted())
        disk.SetReadOnly(false);
    else
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
