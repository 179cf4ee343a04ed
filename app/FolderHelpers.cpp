#include "FolderHelpers.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

bool IsDirectory(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when the folder exists afterwards; errno tells why not.
bool MakeDirectory(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0777) == 0)
        return true;
    // Another thread may have created it in the meantime.
    const int error = errno;
    const bool ok = error == EEXIST && IsDirectory(path);
    errno = error;
    return ok;
}

bool EnsureFolderPath(QString path)
{
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QByteArray local = QFile::encodeName(path);
    if (IsDirectory(local) || MakeDirectory(local))
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || !EnsureFolderPath(path.left(slash)))
        return false;
    return MakeDirectory(local);
}

} // namespace

qint64 FolderSize(const QString& pattern)
{
    QString normalized = pattern;
    normalized.replace(u'\\', u'/');
    const qsizetype slash = normalized.lastIndexOf(u'/');
    const QString folder = slash < 0 ? u"."_s : normalized.left(slash + 1);
    const QString filePattern = normalized.mid(slash + 1);

    QStringList filters{filePattern};
    if (filePattern.endsWith(".*"_L1))
        filters << filePattern.chopped(2);
    QDir dir(folder);
    dir.setNameFilters(filters);
    dir.setFilter(QDir::Files | QDir::Hidden);

    qint64 total = 0;
    for (const QFileInfo& info : dir.entryInfoList())
        total += info.size();
    return total;
}

bool EnsureFolder(const QString& path)
{
    QString normalized = path;
    normalized.replace(u'\\', u'/');
    return EnsureFolderPath(normalized);
}
