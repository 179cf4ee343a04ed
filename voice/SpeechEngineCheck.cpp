#include "SpeechEngineCheck.h"

#include "CAppLog.h"

#include <QFileInfo>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

using namespace Qt::Literals::StringLiterals;

bool CheckSpeechEngine()
{
    LogMessage(u"Start checking SAPI"_s);
    espeak_ng_InitializePath(nullptr);
    const char* dataPath = nullptr;
    espeak_Info(&dataPath);
    if (!dataPath || !QFileInfo::exists(QString::fromLocal8Bit(dataPath) + u"/phontab"_s)) {
        LogMessage(u"*ERROR: Cannot open SAPI registry"_s);
        return false;
    }
    LogMessage(u"SAPI registry in-place. Check voice"_s);

    espeak_ng_ERROR_CONTEXT context = nullptr;
    if (espeak_ng_Initialize(&context) != ENS_OK) {
        espeak_ng_ClearErrorContext(&context);
        LogMessage(u"*ERROR: Cannot create Voice"_s);
        return false;
    }
    LogMessage(u"SAPI CLSID_SpVoice created."_s);

    // The engine stays up: speaking later starts it again cheaply, while terminating it
    // under a running synthesiser would pull the ground from under it.
    const bool found = espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) == ENS_OK;
    if (!found) {
        LogMessage(u"*ERROR: Cannot retreive Voice"_s);
        return false;
    }
    LogMessage(u"SAPI OK"_s);
    return true;
}
