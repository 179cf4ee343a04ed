#include "WebEngineSetup.h"

#include "CAppLog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QLibraryInfo>
#include <QOpenGLContext>
#include <QStringList>
#include <dlfcn.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

using namespace Qt::Literals::StringLiterals;

namespace {

QString ModulePath()
{
    return QCoreApplication::applicationDirPath() + u"/libcalvoria-reading.so"_s;
}

MakeReadingSurfaceFunction LoadModule()
{
    // Linked in (the tests): nothing to load.
    if (void* linked = ::dlsym(RTLD_DEFAULT, CALVORIA_READING_ENTRY))
        return reinterpret_cast<MakeReadingSurfaceFunction>(linked);
    // The engine reads the format of the process's shared graphics context when its library
    // is loaded. Its pages are drawn in software, so the context is never made: no graphics
    // library is loaded for it. Without one the engine would stop on a null context.
    if (!qt_gl_global_share_context())
        qt_gl_set_global_share_context(new QOpenGLContext(QCoreApplication::instance()));
    QLibrary module(ModulePath());
    auto* entry = reinterpret_cast<MakeReadingSurfaceFunction>(
        module.resolve(CALVORIA_READING_ENTRY));
    if (!entry)
        LogFormat("*ERROR: Cannot load the reading module: %s",
                  qUtf8Printable(module.errorString()));
    return entry;
}

} // namespace

void PrepareWebEngine()
{
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
    if (!::dlsym(RTLD_DEFAULT, CALVORIA_READING_ENTRY) && !QFileInfo::exists(ModulePath()))
        return false;
    const QStringList parts = QStringLiteral(CALVORIA_WEBENGINE_VERSION).split(u'.');
    if (parts.size() < 2)
        return false;
    bool okMajor = false, okMinor = false;
    major = parts[0].toInt(&okMajor);
    minor = parts[1].toInt(&okMinor);
    return okMajor && okMinor;
}

std::unique_ptr<IReadingSurface> MakeReadingSurface(const IReadingSurface::Setup& setup,
                                                    QWidget* parent)
{
    static const MakeReadingSurfaceFunction entry = LoadModule();
    return std::unique_ptr<IReadingSurface>(entry ? entry(setup, parent) : nullptr);
}
