#include "FliteSpeech.h"

#include "CWavSink.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <mutex>

extern "C" {
#include <flite/flite.h>
cst_voice* register_cmu_us_rms(const char* voxdir);
cst_voice* register_cmu_us_slt(const char* voxdir);
cst_voice* register_cmu_us_awb(const char* voxdir);
cst_voice* register_cmu_us_kal16(const char* voxdir);
cst_voice* register_cmu_us_kal(const char* voxdir);
}

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kLongestToken = 32;

struct FliteVoice
{
    const char* name;
    const char* description;
    cst_voice* (*registerVoice)(const char*);
    cst_voice* voice = nullptr;
    cst_audio_streaming_info* streaming = nullptr;
};

struct FliteEngine
{
    std::mutex lock;
    bool started = false;
    // Clearest first, as measured by a speech recogniser on news text.
    FliteVoice voices[5] = {
        {"rms", "US English male (rms)", register_cmu_us_rms},
        {"awb", "Scottish English male (awb)", register_cmu_us_awb},
        {"kal16", "US English male (kal16)", register_cmu_us_kal16},
        {"slt", "US English female (slt)", register_cmu_us_slt},
        {"kal", "US English male, 8 kHz (kal)", register_cmu_us_kal},
    };
    CWavSink* sink = nullptr; // while a text is spoken
    bool sinkFailed = false;
};

FliteEngine& TheFliteEngine()
{
    static FliteEngine engine;
    return engine;
}

FliteVoice* FindVoice(FliteEngine& engine, const QString& name)
{
    for (FliteVoice& voice : engine.voices)
        if (name == QLatin1StringView(voice.name))
            return &voice;
    return nullptr;
}

int OnFliteSamples(const cst_wave* wave, int start, int size, int, cst_audio_streaming_info*)
{
    FliteEngine& engine = TheFliteEngine();
    if (!engine.sink || engine.sinkFailed)
        return CST_AUDIO_STREAM_STOP;
    try {
        if (!engine.sink->HasFormat() && !engine.sink->SetFormat(wave->sample_rate))
            engine.sinkFailed = true;
        else if (size > 0 && !engine.sink->Add(wave->samples + start, size))
            engine.sinkFailed = true;
    } catch (...) {
        engine.sinkFailed = true;
    }
    return engine.sinkFailed ? CST_AUDIO_STREAM_STOP : CST_AUDIO_STREAM_CONT;
}

// Called with the lock held. Voices are built once and live for the process.
cst_voice* VoiceObject(FliteEngine& engine, FliteVoice& voice)
{
    if (!engine.started) {
        engine.started = true;
        flite_init();
    }
    if (!voice.voice) {
        voice.voice = voice.registerVoice(nullptr);
        if (!voice.voice)
            return nullptr;
        voice.streaming = new_audio_streaming_info();
        voice.streaming->asc = OnFliteSamples;
        // The feature owns the streaming record from here on.
        feat_set(voice.voice->features, "streaming_info",
                 audio_streaming_info_val(voice.streaming));
    }
    return voice.voice;
}

// flite reports a broken input by jumping to cst_errjmp, or ends the process when none is
// set. Nothing here has a destructor to skip.
bool Synthesize(const char* text, cst_voice* voice)
{
    jmp_buf onError;
    jmp_buf* previous = cst_errjmp;
    cst_errjmp = &onError;
    bool ok = false;
    if (setjmp(onError) == 0) {
        flite_text_to_speech(text, voice, "none");
        ok = true;
    }
    cst_errjmp = previous;
    return ok;
}

char16_t AsciiPunctuation(char16_t c)
{
    switch (c) {
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x2032:
        return u'\'';
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x00AB:
    case 0x00BB:
    case 0x2033:
        return u'"';
    case 0x2010:
    case 0x2011:
        return u'-';
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2015:
    case 0x2212:
        return u',';
    case 0x2026:
        return u'.';
    default:
        return 0;
    }
}

} // namespace

std::vector<SpeechVoice> FliteVoices()
{
    std::vector<SpeechVoice> voices;
    for (const FliteVoice& voice : TheFliteEngine().voices)
        voices.push_back({u"flite/"_s + QLatin1StringView(voice.name),
                          QString::fromLatin1(voice.description), u"en-us"_s});
    return voices;
}

bool HasFliteVoice(const QString& name)
{
    return FindVoice(TheFliteEngine(), name) != nullptr;
}

double FliteDurationStretch(int rate)
{
    return double(CSpeechSynth::WordsPerMinute(0)) / CSpeechSynth::WordsPerMinute(rate);
}

QByteArray FliteText(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QByteArray ascii;
    ascii.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            ascii.append(u < 0x20 && u != '\n' ? ' ' : char(u));
        else if (const char16_t p = AsciiPunctuation(u))
            ascii.append(char(p)).append(p == u',' ? " " : "");
        else if (c.category() == QChar::Mark_NonSpacing)
            continue;
        else
            ascii.append(' ');
    }
    // flite takes ever longer over a longer token; no word is this long.
    QByteArray bounded;
    bounded.reserve(ascii.size());
    qsizetype token = 0;
    for (const char c : ascii) {
        token = c == ' ' || c == '\n' ? 0 : token + 1;
        if (token > kLongestToken) {
            bounded.append(' ');
            token = 1;
        }
        bounded.append(c);
    }
    return bounded;
}

bool FliteSpeak(const QString& name, int rate, const QString& text, CWavSink& sink)
{
    FliteEngine& engine = TheFliteEngine();
    std::lock_guard lock(engine.lock);
    FliteVoice* voice = FindVoice(engine, name);
    cst_voice* object = voice ? VoiceObject(engine, *voice) : nullptr;
    if (!object)
        return false;
    feat_set_float(object->features, "duration_stretch", float(FliteDurationStretch(rate)));
    const QByteArray ascii = FliteText(text);
    const bool hasWord =
        std::any_of(ascii.begin(), ascii.end(), [](char c) { return std::isalnum(uchar(c)); });
    engine.sink = &sink;
    engine.sinkFailed = false;
    const bool spoken = !hasWord || Synthesize(ascii.constData(), object);
    engine.sink = nullptr;
    // A text without a word gives no samples: the file is then empty but well formed.
    if (spoken && !sink.HasFormat() && !sink.SetFormat(CSpeechSynth::OutputSampleRate))
        return false;
    return spoken && !engine.sinkFailed;
}
