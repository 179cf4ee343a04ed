#include "AutostartEntry.h"

#include "CAppLog.h"
#include "StoredFile.h"
#include "TextHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

// An entry is a few hundred bytes; anything much larger is not ours to trust.
constexpr qint64 kMaxEntryBytes = 64 * 1024;

// Reads key's value in the [Desktop Entry] group; empty when absent.
QString EntryValue(const QString& text, QStringView key)
{
    bool inMain = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inMain = line == u"[Desktop Entry]";
            continue;
        }
        if (!inMain || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.first(eq).trimmed() == key)
            return line.sliced(eq + 1).trimmed().toString();
    }
    return {};
}


bool Fail(QString* error, const QString& reason)
{
    LogMessage(reason);
    if (error)
        *error = reason;
    return false;
}

} // namespace

QString AutostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/autostart/org.calvoria.calvoria.desktop"_s;
}

bool AutostartEnabled()
{
    QByteArray bytes;
    if (ReadStoredFile(AutostartEntryPath(), kMaxEntryBytes, bytes) != StoredRead::Ok)
        return false;
    const QString text = QString::fromUtf8(bytes);
    return EntryValue(text, u"Hidden").compare(u"true"_s) != 0 &&
           EntryValue(text, u"X-GNOME-Autostart-enabled").compare(u"false"_s) != 0;
}

QString AutostartExec(const QString& program)
{
    // Inside double quotes the Exec syntax escapes " ` $ and \ with a backslash; "%" is a
    // field code everywhere and doubles.
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    bool quote = program.isEmpty();
    QString arg;
    for (QChar c : program) {
        if (reserved.contains(c))
            quote = true;
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            arg += u'\\';
        arg += c;
    }
    QString exec = quote ? u'"' + arg + u'"' : arg;
    return exec.replace(u"%"_s, u"%%"_s) + u" --hidden"_s;
}

bool SetAutostart(bool enabled, const QString& program, QString* error)
{
    const QString path = AutostartEntryPath();
    if (!enabled) {
        QFile file(path);
        if (!QFileInfo(path).isSymLink() && !file.exists())
            return true;
        if (!file.remove())
            return Fail(error, u"Cannot remove '%1': %2."_s.arg(path, file.errorString()));
        LogMessage(u"Calvoria no longer starts at log-in."_s);
        return true;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return Fail(error, u"Cannot create the folder '%1'."_s.arg(folder));
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name=Calvoria\n"
                          u"Exec=%1\n"
                          u"Icon=org.calvoria.calvoria\n"
                          u"Terminal=false\n"
                          u"X-GNOME-Autostart-enabled=true\n"
                          u"NoDisplay=false\n"_s.arg(BackslashEscaped(AutostartExec(program)));
    QString reason;
    if (!SaveFileAtomically(path, entry.toUtf8(), &reason))
        return Fail(error, u"Cannot write '%1': %2."_s.arg(path, reason));
    LogMessage(u"Calvoria starts at log-in."_s);
    return true;
}
