#include "CSpeechSynth.h"

#include "CAppLog.h"
#include "CWavSink.h"
#include "FliteSpeech.h"
#include "SpokenText.h"
#include "VoiceId.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSettings>
#include <QStorageInfo>
#include <algorithm>
#include <cmath>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kEngineBufferMs = 200;

// espeak-ng keeps its state in globals: it is started once and used under the lock.
struct Engine
{
    std::mutex lock;
    bool started = false;
    bool ready = false;
    int sampleRate = 0;
    CWavSink* sink = nullptr; // while a text is spoken
};

Engine& TheEngine()
{
    static Engine engine;
    return engine;
}

// Called with the lock held.
bool StartEngine(Engine& engine)
{
    if (!engine.started) {
        engine.started = true;
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        if (espeak_ng_Initialize(&context) == ENS_OK) {
            engine.sampleRate = espeak_ng_GetSampleRate();
            engine.ready = true;
        }
        espeak_ng_ClearErrorContext(&context);
    }
    return engine.ready;
}

// The engine calls back on the speaking thread; a non-zero result stops the speech.
int OnSamples(short* samples, int count, espeak_EVENT*)
{
    CWavSink* sink = TheEngine().sink;
    if (!sink)
        return 1;
    try {
        if (samples && count > 0 && !sink->Add(samples, count))
            return 1;
    } catch (...) {
        return 1;
    }
    return 0;
}

void LogItem(const char* format, const QString& logName)
{
    LogFormat(format, qUtf8Printable(logName));
}

// The first language of an espeak-ng voice: its list holds a priority byte, then the
// language, for each language it speaks.
QString FirstLanguage(const espeak_VOICE& voice)
{
    if (!voice.languages || !voice.languages[0])
        return {};
    return QString::fromUtf8(voice.languages + 1);
}

std::vector<SpeechVoice> EspeakVoices()
{
    Engine& engine = TheEngine();
    std::lock_guard lock(engine.lock);
    std::vector<SpeechVoice> voices;
    if (!StartEngine(engine))
        return voices;
    for (const espeak_VOICE** voice = espeak_ListVoices(nullptr); voice && *voice; ++voice)
        voices.push_back({u"espeak/"_s + QString::fromUtf8((*voice)->identifier),
                          QString::fromUtf8((*voice)->name),
                          NormalizeLanguageTag(FirstLanguage(**voice))});
    return voices;
}

// An installed espeak-ng voice by the name a user may have stored: its identifier ("gmw/en"),
// the last part of it ("en") or its name ("English (Great Britain)").
const SpeechVoice* FindEspeakVoice(const std::vector<SpeechVoice>& voices, const QString& name)
{
    const QString id = u"espeak/"_s + name;
    const QString tail = u"/"_s + name;
    for (const SpeechVoice& voice : voices)
        if (voice.id.compare(id, Qt::CaseInsensitive) == 0 ||
            voice.id.endsWith(tail, Qt::CaseInsensitive) ||
            voice.name.compare(name, Qt::CaseInsensitive) == 0)
            return &voice;
    return nullptr;
}

// An espeak-ng voice for language: one whose language is the same tag, else the main one
// of its primary language, else any of that language. Empty when espeak-ng speaks none.
QString EspeakVoiceFor(const std::vector<SpeechVoice>& voices, const QString& language)
{
    for (const SpeechVoice& voice : voices)
        if (voice.language == language)
            return voice.id;
    // The language's main voice is named after it ("gmw/de", "roa/fr"), its regional ones
    // after the region too.
    const QString primary = PrimaryLanguage(language);
    for (const SpeechVoice& voice : voices)
        if (voice.id.section(u'/', -1).compare(primary, Qt::CaseInsensitive) == 0)
            return voice.id;
    for (const SpeechVoice& voice : voices)
        if (PrimaryLanguage(voice.language) == primary)
            return voice.id;
    return {};
}

} // namespace

SpeechSettings SpeechSettings::FromStore(const QSettings& store)
{
    SpeechSettings settings;
    settings.voice = store.value(u"TTS/Voice"_s).toString();
    settings.opening = store.value(u"TTS/Opening"_s, true).toBool();
    const QVariant rate = store.value(u"TTS/Rate"_s);
    bool ok = false;
    const int value = rate.toInt(&ok);
    if (rate.isValid() && ok)
        settings.rate = value;
    return settings;
}

CSpeechSynth::CSpeechSynth(SpeechSettings settings, SpeechLimits limits)
    : m_settings(std::move(settings)), m_limits(std::move(limits))
{
}

int CSpeechSynth::WordsPerMinute(int rate)
{
    rate = std::clamp(rate, -10, 10);
    const double end = rate < 0 ? espeakRATE_MINIMUM : espeakRATE_MAXIMUM;
    return int(
        std::lround(espeakRATE_NORMAL * std::pow(end / espeakRATE_NORMAL, std::abs(rate) / 10.0)));
}

bool CSpeechSynth::EnoughSpace(const QString& wavPath, qsizetype words,
                               const QString& logName) const
{
    const QString folder = QFileInfo(wavPath).absolutePath();
    qint64 free = -1;
    if (m_limits.freeBytes) {
        free = m_limits.freeBytes(folder);
    } else {
        const QStorageInfo storage(folder);
        if (storage.isValid() && storage.isReady())
            free = storage.bytesAvailable();
    }
    const qint64 needed = CWavSink::kHeaderSize + qint64(words) * 60 * CWavSink::kBytesPerSecond /
                                                      WordsPerMinute(m_settings.rate.value_or(0));
    if (free < 0 || needed <= free)
        return true;
    LogFormat("*ITEM: not enough disk space for %lld MB of speech: '%s'",
              qlonglong(needed / (1024 * 1024) + 1), qUtf8Printable(logName));
    return false;
}

QString CSpeechSynth::ResolveVoice(const QString& chosen, const QString& language)
{
    VoiceId voice = VoiceId::Parse(chosen);
    QString voiceLanguage;
    std::vector<SpeechVoice> espeakVoices; // listed only when an espeak-ng voice is asked for
    if (voice.engine == SpeechEngine::Flite && HasFliteVoice(voice.name)) {
        voiceLanguage = u"en-us"_s;
    } else if (voice.engine == SpeechEngine::Espeak && !voice.name.isEmpty()) {
        espeakVoices = EspeakVoices();
        if (const SpeechVoice* found = FindEspeakVoice(espeakVoices, voice.name)) {
            voice = VoiceId::Parse(found->id);
            voiceLanguage = found->language;
        } else {
            voice.name.clear();
        }
    } else {
        voice.name.clear();
    }
    if (voice.name.isEmpty()) {
        voice = VoiceId::Parse(QString::fromUtf16(kDefaultVoice));
        voiceLanguage = u"en-us"_s;
    }
    const QString article = NormalizeLanguageTag(language);
    if (article.isEmpty() || voiceLanguage.isEmpty() ||
        PrimaryLanguage(article) == PrimaryLanguage(voiceLanguage))
        return voice.ToString();
    if (espeakVoices.empty())
        espeakVoices = EspeakVoices();
    const QString other = EspeakVoiceFor(espeakVoices, article);
    return other.isEmpty() ? voice.ToString() : other;
}

bool CSpeechSynth::SpeakWithEspeak(const QString& voice, const QString& text, CWavSink& sink,
                                   const QString& wavPath, const QString& logName) const
{
    Engine& engine = TheEngine();
    std::lock_guard lock(engine.lock);
    const QByteArray name = voice.toUtf8();
    if (!StartEngine(engine) || espeak_ng_SetVoiceByName(name.constData()) != ENS_OK) {
        LogItem("*ITEM: cannot create voice: '%s'", logName);
        return false;
    }
    espeak_ng_SetParameter(espeakRATE, WordsPerMinute(m_settings.rate.value_or(0)), 0);
    if (!sink.SetFormat(engine.sampleRate)) {
        LogItem("*ITEM: cannot set audio format: '%s'", logName);
        return false;
    }
    if (!sink.Open(wavPath)) {
        LogItem("*ITEM: cannot bind to file: '%s'", logName);
        return false;
    }
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, kEngineBufferMs, nullptr) != ENS_OK) {
        LogItem("*ITEM: cannot set destination stream: '%s'", logName);
        return false;
    }
    espeak_SetSynthCallback(&OnSamples);

    const QByteArray utf8 = text.toUtf8();
    engine.sink = &sink;
    const espeak_ng_STATUS status =
        espeak_ng_Synthesize(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                             espeakCHARS_UTF8, nullptr, nullptr);
    engine.sink = nullptr;
    if (sink.TooLong()) {
        LogItem("*ITEM: speech too long for a WAV file: '%s'", logName);
        return false;
    }
    if (status != ENS_OK || sink.Failed()) {
        LogItem("*ITEM: cannot speak item: '%s'", logName);
        return false;
    }
    return true;
}

bool CSpeechSynth::Speak(const QString& text, const QString& wavPath, const QString& logName) const
{
    // A voice that is not installed (any more) falls back to the default quietly.
    const VoiceId voice = VoiceId::Parse(ResolveVoice(m_settings.voice));

    const SpokenText spoken = PrepareSpokenText(text, m_limits.maxWords, m_limits.maxCharacters);
    if (spoken.cut)
        LogFormat("*ITEM: text cut after %lld words: '%s'", qlonglong(spoken.words),
                  qUtf8Printable(logName));
    if (!EnoughSpace(wavPath, spoken.words, logName))
        return false;

    CWavSink sink(m_limits.maxWavDataBytes);
    if (voice.engine == SpeechEngine::Espeak) {
        if (!SpeakWithEspeak(voice.name, spoken.text, sink, wavPath, logName))
            return false;
    } else {
        if (!sink.Open(wavPath)) {
            LogItem("*ITEM: cannot bind to file: '%s'", logName);
            return false;
        }
        const bool spokenOk =
            FliteSpeak(voice.name, m_settings.rate.value_or(0), spoken.text, sink);
        if (sink.TooLong()) {
            LogItem("*ITEM: speech too long for a WAV file: '%s'", logName);
            return false;
        }
        if (!spokenOk || sink.Failed()) {
            LogItem("*ITEM: cannot speak item: '%s'", logName);
            return false;
        }
    }
    if (!sink.Finish()) {
        LogItem("*ITEM: cannot close dest stream: '%s'", logName);
        return false;
    }
    return true;
}

std::vector<SpeechVoice> CSpeechSynth::Voices()
{
    std::vector<SpeechVoice> voices = FliteVoices();
    for (SpeechVoice& voice : EspeakVoices())
        voices.push_back(std::move(voice));
    return voices;
}
