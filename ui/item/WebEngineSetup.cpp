#include "WebEngineSetup.h"

#include "CAppLog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLoggingCategory>
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

QtMessageHandler g_previousHandler = nullptr;

// Drawing in software, the engine says on every start that it found no graphics backend:
// that is what drawing in software means, and no news to a person who started the program
// from a terminal.
void QuietEngineMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(u"No suitable graphics backend found"_s))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

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
    // Nor is the graphics library loaded just for the engine to ask whether contexts may run
    // on threads (tens of megabytes for a question): on X11 the window system's OpenGL
    // support is settled as none before it asks. Programs started later do not inherit it.
    if (QGuiApplication::platformName() == u"xcb"_s &&
        !qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        QOpenGLContext::supportsThreadedOpenGL();
        qunsetenv("QT_XCB_GL_INTEGRATION");
    }
    // Nor does it describe its graphics set-up each time.
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false"_s);
    g_previousHandler = qInstallMessageHandler(QuietEngineMessages);
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
