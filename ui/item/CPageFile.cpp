#include "CPageFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

CPageFile::CPageFile()
{
    // The temporary file is made exclusively with mode 0600 and then renamed to its
    // ".html" name: rename replaces anything found there instead of writing through it.
    QTemporaryFile unique(QDir::tempPath() + u"/rssXXXXXX.tmp"_s);
    unique.setAutoRemove(false);
    if (!unique.open())
        return;
    const QString path = unique.fileName() + u".html"_s;
    unique.close();
    if (::rename(QFile::encodeName(unique.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        QFile::remove(unique.fileName());
        return;
    }
    m_path = path;
    m_canonicalPath = QFileInfo(path).canonicalFilePath();
}

CPageFile::~CPageFile()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}

bool CPageFile::Names(const QUrl& url) const
{
    if (m_path.isEmpty() || !url.isLocalFile())
        return false;
    const QString target = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery).toLocalFile();
    return target == m_path || target == m_canonicalPath;
}
