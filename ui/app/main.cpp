#include "CRssReaderApp.h"
#include "CSingleInstance.h"
#include "CStallMeter.h"
#include "LaunchRequest.h"
#include "ProgramLicense.h"
#include "QuitOnSignal.h"
#include "WebEngineSetup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // Answered before anything needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("calvoria %s\n%s", CALVORIA_VERSION, kLicenseNotice);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(qPrintable(LaunchUsage()), stdout);
            return 0;
        }
    }
    PrepareWebEngine();
    CRssReaderApp app(argc, argv);
    // From here on the session's terminate signal is heard, also inside a message box.
    OnTerminationSignals(&app, [&app] { app.EndForSession(); });
    // Qt has taken its own options out by now.
    const LaunchRequest request = ParseLaunchArguments(app.arguments().mid(1));
    if (!request.error.isEmpty()) {
        std::fprintf(stderr, "calvoria: %s\n%s", qPrintable(request.error),
                     qPrintable(LaunchUsage()));
        app.ShowLaunchError(request.error);
        return 2;
    }
    // A later start hands the running copy what it was started for.
    QList<QByteArray> messages;
    if (!request.feedAddress.isEmpty())
        messages << CSingleInstance::FeedMessage(request.feedAddress);
    if (request.refreshAll)
        messages << CSingleInstance::CommandMessage(CSingleInstance::UpdateAllGroups);
    if (messages.isEmpty() && !request.hidden)
        messages << CSingleInstance::CommandMessage(CSingleInstance::ShowMainWindow);
    CSingleInstance instance;
    if (!instance.BecomePrimary(messages))
        return 0;
    QObject::connect(&instance, &CSingleInstance::commandReceived, &app,
                     &CRssReaderApp::OnInstanceCommand);
    QObject::connect(&instance, &CSingleInstance::feedAddressReceived, &app,
                     &CRssReaderApp::OnFeedAddress);
    app.SetStartHidden(request.hidden);
    int result = 1;
    if (app.Start()) {
        std::unique_ptr<CStallMeter> stalls;
        if (qEnvironmentVariableIsSet("CALVORIA_MEASURE_STALLS"))
            stalls = std::make_unique<CStallMeter>();
        if (request.refreshAll)
            app.OnInstanceCommand(CSingleInstance::UpdateAllGroups);
        if (!request.feedAddress.isEmpty())
            app.OnFeedAddress(request.feedAddress);
        result = app.Run();
    }
    if (!app.Exit()) {
        // A worker is still inside a job that may use anything the application owns: end
        // here, with the log closed, rather than free what it uses under its feet.
        app.Services().Log().Close();
        std::_Exit(result);
    }
    return result;
}
