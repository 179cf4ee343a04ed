#include "WebEngineSetup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

void PrepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

bool ReadWebEngineVersion(int& major, int& minor)
{
    QString helper = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (helper.isEmpty())
        helper =
            QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + u"/QtWebEngineProcess"_s;
    if (!QFileInfo(helper).isExecutable())
        return false;
    const QStringList parts = QString::fromLatin1(qWebEngineVersion()).split(u'.');
    if (parts.size() < 2)
        return false;
    bool okMajor = false, okMinor = false;
    major = parts[0].toInt(&okMajor);
    minor = parts[1].toInt(&okMinor);
    return okMajor && okMinor;
}
