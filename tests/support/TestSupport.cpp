#include "TestSupport.h"

#include "CAppLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdlib>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << "bytes(" << b.size() << ")\"" << b.toStdString() << '"';
}

ScopedEnv::ScopedEnv(const char* name, std::optional<QByteArray> value) : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_old = qgetenv(name);
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        qputenv(m_name.constData(), *m_old);
    else
        qunsetenv(m_name.constData());
}

ScopedHome::ScopedHome()
    : m_home("HOME", m_dir.path().toUtf8()),
      m_data("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8()),
      m_config("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/config")).toUtf8()),
      m_state("XDG_STATE_HOME", (m_dir.path() + QStringLiteral("/state")).toUtf8()),
      m_cache("XDG_CACHE_HOME", (m_dir.path() + QStringLiteral("/cache")).toUtf8()),
      m_runtime("XDG_RUNTIME_DIR", (m_dir.path() + QStringLiteral("/run")).toUtf8())
{
    QDir(m_dir.path()).mkpath(QStringLiteral("run"));
    // QSettings keeps the user folder it found first; point it here for this test.
    const QString config = m_dir.path() + QStringLiteral("/config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ScopedLog::ScopedLog() : m_log(new CAppLog)
{
    m_log->Open({m_dir.path()});
    SetProcessLog(m_log);
}

ScopedLog::~ScopedLog()
{
    SetProcessLog(nullptr);
    delete m_log;
}

QStringList ScopedLog::Lines() const
{
    QStringList lines;
    for (const QString& line : QString::fromUtf8(ReadFile(m_log->FileName())).split(u'\n')) {
        const qsizetype tab = line.indexOf(u'\t');
        if (tab >= 0)
            lines << line.mid(tab + 1);
    }
    return lines;
}

namespace {

QString FolderFromEnvironment(const char* name, const char* builtIn)
{
    const QString set = qEnvironmentVariable(name);
    return set.isEmpty() ? QString::fromUtf8(builtIn) : set;
}

} // namespace

QString SourceDir()
{
    return FolderFromEnvironment("CALVORIA_SOURCE_DIR", CALVORIA_BUILT_SOURCE_DIR);
}

QString BinDir()
{
    return FolderFromEnvironment("CALVORIA_BIN_DIR", CALVORIA_BUILT_BIN_DIR);
}
