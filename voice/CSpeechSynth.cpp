#include "CSpeechSynth.h"

#include "CAppLog.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <mutex>
#include <samplerate.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kWavHeaderSize = 44;
constexpr int kEngineBufferMs = 200;

QByteArray WavHeader(quint32 dataBytes)
{
    QByteArray header(kWavHeaderSize, '\0');
    char* p = header.data();
    const auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, p + at); };
    const auto put16 = [&](int at, quint16 value) { qToLittleEndian(value, p + at); };
    std::copy_n("RIFF", 4, p);
    put32(4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, p + 8);
    put32(16, 16); // format chunk size
    put16(20, 1);  // PCM
    put16(22, 1);  // mono
    put32(24, CSpeechSynth::OutputSampleRate);
    put32(28, CSpeechSynth::OutputSampleRate * 2); // bytes per second
    put16(32, 2);                                  // bytes per sample frame
    put16(34, 16);                                 // bits per sample
    std::copy_n("data", 4, p + 36);
    put32(40, dataBytes);
    return header;
}

// Takes the engine's samples as they come, resamples them to 16 kHz and appends them to a
// WAV file whose sizes are filled in when it is finished.
class CWavSink
{
public:
    CWavSink() = default;
    CWavSink(const CWavSink&) = delete;
    CWavSink& operator=(const CWavSink&) = delete;
    ~CWavSink()
    {
        if (m_resampler)
            src_delete(m_resampler);
    }

    bool SetFormat(int inputRate)
    {
        if (inputRate <= 0)
            return false;
        m_ratio = double(CSpeechSynth::OutputSampleRate) / inputRate;
        int error = 0;
        m_resampler = src_new(SRC_SINC_FASTEST, 1, &error);
        return m_resampler && src_is_valid_ratio(m_ratio);
    }

    bool Open(const QString& path)
    {
        m_file.setFileName(path);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               m_file.write(WavHeader(0)) == kWavHeaderSize;
    }

    bool Add(const short* samples, int count)
    {
        m_in.resize(size_t(count));
        src_short_to_float_array(samples, m_in.data(), count);
        return Process(m_in.data(), count, false);
    }

    bool Finish()
    {
        const float none = 0;
        if (!Process(&none, 0, true))
            return false;
        const quint32 dataBytes = quint32(std::min<qint64>(m_dataBytes, 0xFFFFFFFFll - 36));
        const QByteArray header = WavHeader(dataBytes);
        const bool ok = m_file.seek(0) && m_file.write(header) == kWavHeaderSize && m_file.flush();
        m_file.close();
        return ok;
    }

    bool Failed() const { return m_failed; }

private:
    bool Process(const float* in, long count, bool last)
    {
        SRC_DATA data{};
        data.data_in = in;
        data.input_frames = count;
        data.src_ratio = m_ratio;
        data.end_of_input = last ? 1 : 0;
        const long room = long(std::ceil(double(count) * m_ratio)) + 512;
        m_out.resize(size_t(room));
        for (;;) {
            data.data_out = m_out.data();
            data.output_frames = room;
            if (src_process(m_resampler, &data) != 0)
                return Fail();
            if (data.output_frames_gen > 0 && !Write(data.output_frames_gen))
                return false;
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
            if (data.input_frames_used == 0 && data.output_frames_gen == 0)
                break;
            if (data.input_frames == 0 && !last)
                break;
        }
        return true;
    }

    bool Write(long frames)
    {
        m_pcm.resize(size_t(frames));
        src_float_to_short_array(m_out.data(), m_pcm.data(), int(frames));
        qToLittleEndian<qint16>(m_pcm.data(), frames, m_pcm.data());
        const qint64 bytes = qint64(frames) * 2;
        if (m_file.write(reinterpret_cast<const char*>(m_pcm.data()), bytes) != bytes)
            return Fail();
        m_dataBytes += bytes;
        return true;
    }

    bool Fail()
    {
        m_failed = true;
        return false;
    }

    SRC_STATE* m_resampler = nullptr;
    double m_ratio = 1;
    QFile m_file;
    std::vector<float> m_in;
    std::vector<float> m_out;
    std::vector<short> m_pcm;
    qint64 m_dataBytes = 0;
    bool m_failed = false;
};

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

} // namespace

SpeechSettings SpeechSettings::FromStore(const QSettings& store)
{
    SpeechSettings settings;
    settings.voice = store.value(u"TTS/Voice"_s).toString();
    const QVariant rate = store.value(u"TTS/Rate"_s);
    bool ok = false;
    const int value = rate.toInt(&ok);
    if (rate.isValid() && ok)
        settings.rate = value;
    return settings;
}

CSpeechSynth::CSpeechSynth(SpeechSettings settings) : m_settings(std::move(settings)) {}

int CSpeechSynth::WordsPerMinute(int rate)
{
    rate = std::clamp(rate, -10, 10);
    const long wpm = std::lround(espeakRATE_NORMAL * std::pow(3.0, rate / 10.0));
    return int(std::clamp<long>(wpm, espeakRATE_MINIMUM, espeakRATE_MAXIMUM));
}

bool CSpeechSynth::Speak(const QString& text, const QString& wavPath, const QString& logName) const
{
    Engine& engine = TheEngine();
    std::lock_guard lock(engine.lock);
    if (!StartEngine(engine)) {
        LogItem("*ITEM: cannot create voice: '%s'", logName);
        return false;
    }
    // A voice that is not installed (any more) falls back to the default quietly.
    const QByteArray voice = m_settings.voice.toUtf8();
    if (voice.isEmpty() || espeak_ng_SetVoiceByName(voice.constData()) != ENS_OK) {
        if (espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) != ENS_OK) {
            LogItem("*ITEM: cannot create voice: '%s'", logName);
            return false;
        }
    }
    espeak_ng_SetParameter(espeakRATE, WordsPerMinute(m_settings.rate.value_or(0)), 0);

    CWavSink sink;
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
    if (status != ENS_OK || sink.Failed()) {
        LogItem("*ITEM: cannot speak item: '%s'", logName);
        return false;
    }
    if (!sink.Finish()) {
        LogItem("*ITEM: cannot close dest stream: '%s'", logName);
        return false;
    }
    return true;
}

std::vector<SpeechVoice> CSpeechSynth::Voices()
{
    Engine& engine = TheEngine();
    std::lock_guard lock(engine.lock);
    std::vector<SpeechVoice> voices;
    if (!StartEngine(engine))
        return voices;
    for (const espeak_VOICE** voice = espeak_ListVoices(nullptr); voice && *voice; ++voice)
        voices.push_back(
            {QString::fromUtf8((*voice)->identifier), QString::fromUtf8((*voice)->name)});
    return voices;
}
