#include "ToolSupport.h"

#include "CPreferences.h"
#include "TextHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

QString TsvField(const QString& text)
{
    return BackslashEscaped(text);
}

namespace {

// Set once the folder exists; read by the signal handler, which can do nothing but system
// calls.
char g_tempRoot[PATH_MAX];
volatile sig_atomic_t g_tempRootSet = 0;

// Removes name (below the folder dirFd) and all it holds with system calls only. Entries are
// read again from the start after each batch, since removing them moves the others.
void RemoveTree(int dirFd, const char* name, int depth)
{
    if (::unlinkat(dirFd, name, 0) == 0 || (errno != EISDIR && errno != EPERM) || depth > 32)
        return;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
#ifdef __linux__
    alignas(8) char buffer[2048];
    for (bool removed = true; removed;) {
        removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (ssize_t got; (got = ::getdents64(fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
                at += entry->d_reclen;
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                RemoveTree(fd, entry->d_name, depth + 1);
                // Only a removal reads the folder again: what cannot go must not loop.
                struct stat st;
                if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    removed = true;
            }
        }
    }
#endif
    ::close(fd);
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

void RemoveTempRootAndEnd(int sig)
{
    if (g_tempRootSet)
        RemoveTree(AT_FDCWD, g_tempRoot, 0);
    // The handler was reset on entry: raised again, the signal ends the process as it
    // would have, once the handler returns.
    ::raise(sig);
}

} // namespace

CToolTempRoot::CToolTempRoot()
{
    m_hadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
    m_oldTmpDir = qgetenv("TMPDIR");
    QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/calvoria-tool-XXXXXX";
    if (size_t(pattern.size()) >= sizeof g_tempRoot || !::mkdtemp(pattern.data()))
        return; // the commands then make their folders where they always would
    m_path = pattern;
    std::memcpy(g_tempRoot, m_path.constData(), size_t(m_path.size()) + 1);
    g_tempRootSet = 1;
    qputenv("TMPDIR", m_path);
    struct sigaction action = {};
    action.sa_handler = RemoveTempRootAndEnd;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, sig); // one handler at a time
    action.sa_flags = SA_RESETHAND;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

CToolTempRoot::~CToolTempRoot()
{
    if (m_path.isEmpty())
        return;
    if (m_hadTmpDir)
        qputenv("TMPDIR", m_oldTmpDir);
    else
        qunsetenv("TMPDIR");
    QDir(QFile::decodeName(m_path)).removeRecursively();
    g_tempRootSet = 0;
}

CToolLog::CToolLog()
{
    m_log.Open({m_folder.path()});
    SetProcessLog(&m_log);
}

CToolLog::~CToolLog()
{
    SetProcessLog(nullptr);
}

QStringList CToolLog::Lines() const
{
    QFile file(m_log.FileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype tab = line.indexOf(u'\t');
        const QString text = tab >= 0 ? line.mid(tab + 1).trimmed() : QString();
        if (!text.isEmpty() && text != u"Log file started"_s)
            lines << text;
    }
    return lines;
}

void CToolLog::Print(QTextStream& err) const
{
    for (const QString& line : Lines())
        err << line << '\n';
}

CToolServices::CToolServices() : m_app(QCoreApplication::applicationDirPath())
{
    m_app.SetPrefs(std::make_unique<CPreferences>(
        std::make_unique<QSettings>(m_settingsFolder.filePath(u"settings.ini"_s),
                                    QSettings::IniFormat),
        m_app.ProgramFolder()));
}

void CToolServices::CopyUserSettings()
{
    const QSettings user(u"Trevane Labs"_s, u"Calvoria"_s);
    QSettings& own = m_app.Prefs()->Store();
    for (const QString& key : user.allKeys())
        own.setValue(key, user.value(key));
    // The data root is given by the caller: Load must not make the default one meanwhile.
    own.setValue(u"Options/Root"_s, QDir::rootPath());
    m_app.Prefs()->Load(false);
}

bool CToolServices::UseDataRoot(const QString& dataRoot, QTextStream& err)
{
    if (m_app.Prefs()->ChangeRoot(dataRoot))
        return true;
    err << "cannot use data folder " << dataRoot << '\n';
    return false;
}
