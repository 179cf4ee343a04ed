#include "CRssReaderApp.h"
#include "CSingleInstance.h"
#include "QuitOnSignal.h"

int main(int argc, char** argv)
{
    CRssReaderApp app(argc, argv);
    CSingleInstance instance;
    if (!instance.BecomePrimary())
        return 0;
    QObject::connect(&instance, &CSingleInstance::commandReceived, &app,
                     &CRssReaderApp::OnInstanceCommand);
    QuitOnTerminationSignals(&app);
    int result = 1;
    if (app.Start())
        result = app.exec();
    app.Exit();
    return result;
}
