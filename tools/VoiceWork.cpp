#include "VoiceWork.h"

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "SpeechEngineCheck.h"

#include <thread>

namespace {

bool StartSession(CAppServices& app)
{
    CHttpSession::GlobalInit();
    app.SetSession(CRefPtr<CHttpSession>::Make());
    app.hasVoice = CheckSpeechEngine();
    return true;
}

} // namespace

CToolVoiceWork::CToolVoiceWork(CAppServices& app, CFeedContext& context)
    : m_app(app), m_context(context), m_sessionStarted(StartSession(app)),
      m_converter(app.ProgramFolder()),
      m_canConvert(m_converter.Initialize()),
      m_itemJobs(app, m_downloadQueue, m_conversionQueue, m_canConvert ? &m_converter : nullptr)
{
    m_itemJobs.SetSpeechSettings(SpeechSettings::FromStore(app.Prefs()->Store()));
    m_context.SetDownloadQueue(&m_downloadQueue);
    m_context.SetItemJobs(&m_itemJobs);
    m_conversionQueue.Start(1, 0, false);
    m_downloadQueue.Start(3, 2, true);
}

CToolVoiceWork::~CToolVoiceWork()
{
    m_downloadQueue.Stop();
    m_conversionQueue.Stop();
    m_context.SetItemJobs(nullptr);
    m_context.SetDownloadQueue(nullptr);
    m_converter.Unload();
    if (m_sessionStarted) {
        m_app.SetSession({});
        CHttpSession::GlobalCleanup();
    }
}

void CToolVoiceWork::WaitUntilIdle()
{
    while (!(m_downloadQueue.Idle() && m_conversionQueue.Idle() && m_downloadQueue.Idle()))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
