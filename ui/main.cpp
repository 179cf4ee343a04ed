#include "CRssReaderApp.h"
#include "CSingleInstance.h"
#include "CStallMeter.h"
#include "QuitOnSignal.h"
#include "WebEngineSetup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // Answered before anything needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("calvoria %s\n", CALVORIA_VERSION);
        return 0;
    }
    PrepareWebEngine();
    CRssReaderApp app(argc, argv);
    CSingleInstance instance;
    if (!instance.BecomePrimary())
        return 0;
    QObject::connect(&instance, &CSingleInstance::commandReceived, &app,
                     &CRssReaderApp::OnInstanceCommand);
    QuitOnTerminationSignals(&app);
    int result = 1;
    if (app.Start()) {
        std::unique_ptr<CStallMeter> stalls;
        if (qEnvironmentVariableIsSet("CALVORIA_MEASURE_STALLS"))
            stalls = std::make_unique<CStallMeter>();
        result = app.exec();
    }
    if (!app.Exit()) {
        // A worker is still inside a job that may use anything the application owns: end
        // here, with the log closed, rather than free what it uses under its feet.
        app.Services().Log().Close();
        std::_Exit(result);
    }
    return result;
}
