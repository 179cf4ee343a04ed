#include "AppStartup.h"

#include "CAppServices.h"
#include "CPreferences.h"
#include "FolderHelpers.h"
#include "IStartupHost.h"
#include "StringTable.h"

#include <QDir>
#include <QOperatingSystemVersion>
#include <QSettings>
#include <QSysInfo>
#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr unsigned kGenericFailure = 0x80004005;
constexpr unsigned kClassNotRegistered = 0x80040154;

constexpr int kOleFailed = 100;
constexpr int kSocketsFailed = 104;
constexpr int kEncoderFailed = 105;
constexpr int kFoldersFailed = 106;
constexpr int kXmlFailed = 109;

bool Fail(IStartupHost& host, int stringId)
{
    LogResource(stringId);
    host.ShowError(LoadString(stringId));
    return false;
}

bool EndedBySession(const IStartupHost& host)
{
    if (!host.EndRequested())
        return false;
    LogMessage(u"*ERROR: Start-up ended by the session"_s);
    return true;
}

int StartShowState(int showCommand)
{
    switch (showCommand) {
    case 2:
    case 6:
    case 7:
    case 11:
        return 2;
    case 3:
        return 3;
    default:
        return 1;
    }
}

void CheckOperatingSystem(CAppServices& app)
{
    // The kernel release stands for the system version: "6.1.0-13-amd64" gives 6.1.0.
    const QStringList parts = QSysInfo::kernelVersion().split(u'.');
    auto part = [&](int i) {
        if (i >= parts.size())
            return 0;
        int n = 0;
        for (QChar c : parts[i]) {
            if (!c.isDigit())
                break;
            n = n * 10 + c.digitValue();
        }
        return n;
    };
    const int major = part(0), minor = part(1), build = part(2);
    app.isXpOrLater = major > 5 || (major == 5 && minor >= 1);
    LogFormat("OS version %d.%d.%d, platfrom %d", major, minor, build,
              int(QOperatingSystemVersion::currentType()));
}

bool CheckXmlParser()
{
    LogMessage(u"Start checking MSXML"_s);
    xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!doc) {
        LogFormat("*ERROR: Failed to create XML parser %08X", kGenericFailure);
        return false;
    }
    LogMessage(u"MSXML done"_s);
    xmlFreeDoc(doc);
    return true;
}

bool CheckDataFolders(const CPreferences& prefs)
{
    const QString root = prefs.DataRoot();
    const struct {
        const char16_t* line;
        QString folder;
    } checks[] = {{u"Check root dir", root},
                  {u"Check voice dir", prefs.VoiceFolder()},
                  {u"Check mp3 dir", prefs.Mp3Folder()},
                  {u"Check feeds dir", prefs.FeedsFolder()}};
    for (const auto& check : checks) {
        LogMessage(QString::fromUtf16(check.line));
        if (root.isEmpty() || !EnsureFolder(check.folder))
            return false;
    }
    LogMessage(u"Directories Done"_s);
    return true;
}

bool Start(CAppServices& app, IStartupHost& host)
{
    app.Log().Open({app.ProgramFolder(), LogFallbackFolder()});
    SetProcessLog(&app.Log());
    QString exeFolder = app.ProgramFolder();
    exeFolder.chop(1);
    LogFormat("Exe name '%s'", qUtf8Printable(exeFolder));
    LogFormat("Version '%s'", "1.0.52.150");
    const int showCommand = host.ShowCommand();
    LogFormat("ShowCmd is %d", showCommand);
    app.startShowState = StartShowState(showCommand);

    // The socket layer is libcurl's.
    if (!CHttpSession::GlobalInit())
        return Fail(host, kSocketsFailed);
    LogMessage(u"Sockets has been initialized"_s);

    // The component layer is the XML library, shared by every worker thread.
    xmlInitParser();
    if (!xmlHasFeature(XML_WITH_TREE))
        return Fail(host, kOleFailed);
    LogMessage(u"OLE has been initialized"_s);

    LogMessage(u"Start checking system components"_s);
    int major = 0, minor = 0;
    if (!host.ReadBrowserEngineVersion(major, minor))
        major = minor = 0;
    app.hasIe6 = major >= 6;
    LogFormat("IE version %d.%d", major, minor);
    CheckOperatingSystem(app);
    app.hasVoice = host.CheckSpeechEngine();
    if (!CheckXmlParser())
        return Fail(host, kXmlFailed);

    // No alternative reading-pane browser exists on this platform.
    LogMessage(u"Start checking Firefox"_s);
    LogFormat("*ERROR: Failed to create Firefox %08X", kClassNotRegistered);
    app.hasMozillaControl = false;

    LogMessage(u"Creating main converter"_s);
    if (!host.CreateConverter())
        return Fail(host, kEncoderFailed);

    LogMessage(u"Creating internet session"_s);
    app.SetSession(CRefPtr<CHttpSession>::Make());

    LogMessage(u"Loading preferences..."_s);
    app.SetPrefs(std::make_unique<CPreferences>(
        std::make_unique<QSettings>(u"Trevane Labs"_s, u"Calvoria"_s), app.ProgramFolder()));
    app.Prefs()->Load(app.hasMozillaControl);

    if (!CheckDataFolders(*app.Prefs()))
        return Fail(host, kFoldersFailed);

    if (!host.CreateDocumentAndFrame()) {
        if (!EndedBySession(host))
            LogMessage(u"*ERROR: Cannot create document template"_s);
        return false;
    }
    if (EndedBySession(host))
        return false;
    LogMessage(u"Hide main window"_s);
    host.HideMainWindow();
    LogMessage(u"Restoring main frame position"_s);
    host.RestorePlacementAndShow(app.startShowState);

    if (EndedBySession(host))
        return false;
    LogMessage(u"Starting queues"_s);
    host.StartQueues();

    LogMessage(u"Initialization done\n"_s + QString(82, u'-') + u"\n\n"_s);
    return true;
}

} // namespace

QString LogFallbackFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/state"_s;
    return base + u"/Calvoria/"_s;
}

bool RunStartup(CAppServices& app, IStartupHost& host)
{
    try {
        return Start(app, host);
    } catch (...) {
        LogMessage(u"*ERROR: Exception on initializng"_s);
        return false;
    }
}

bool RunExit(CAppServices& app, IStartupHost& host)
{
    LogMessage(u"\n"_s + QString(66, u'-') + u"\nStart Exiting"_s);
    bool allStopped = true;
    try {
        // Transfers still running on a download worker end at once, so the workers can.
        if (app.Session())
            app.Session()->AbortTransfers();
        allStopped = host.StopQueues();
        LogMessage(u"Queue stopped"_s);
        if (host.DestroyConverter())
            LogMessage(u"Converted destroyed"_s);
        if (app.Session()) {
            // A worker still busy keeps the session alive by its own reference.
            app.SetSession({});
            if (allStopped)
                CHttpSession::GlobalCleanup();
            LogMessage(u"Internet Session closed"_s);
        }
        LogMessage(u"Exit Done"_s);
    } catch (...) {
        LogMessage(u"*ERROR: Exception on exit"_s);
    }
    return allStopped;
}
