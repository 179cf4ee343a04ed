#pragma once

#include "CItemJobs.h"
#include "CVoiceConverter.h"
#include "CWorkQueue.h"

class CAppServices;
class CFeedContext;

// The program's download and conversion queues with the voice converter, for a command
// that fetches feeds or turns news into audio: items hand their jobs to it as in the
// program. The HTTP session lives as long as this.
class CToolVoiceWork
{
public:
    CToolVoiceWork(CAppServices& app, CFeedContext& context);
    ~CToolVoiceWork();
    CToolVoiceWork(const CToolVoiceWork&) = delete;
    CToolVoiceWork& operator=(const CToolVoiceWork&) = delete;

    bool CanConvert() const { return m_canConvert; }
    // Returns when both queues are idle at one moment (a page download posts its
    // conversion, so the download queue is looked at last).
    void WaitUntilIdle();

private:
    CAppServices& m_app;
    CFeedContext& m_context;
    bool m_sessionStarted; // before the converter: the session is made first
    CVoiceConverter m_converter;
    bool m_canConvert = false;
    CWorkQueue m_downloadQueue;
    CWorkQueue m_conversionQueue;
    CItemJobs m_itemJobs;
};
