#pragma once

#include <QString>
#include <optional>
#include <vector>

class QSettings;

// One voice of the speech engine, for the options page.
struct SpeechVoice
{
    QString id;   // the engine's voice identifier, as stored in TTS/Voice
    QString name; // readable name
};

// The user's choice of voice and speed.
struct SpeechSettings
{
    QString voice;           // empty, stale or unknown: the engine's default voice
    std::optional<int> rate; // -10 slowest ... 10 fastest; none: normal speed

    // TTS/Voice and TTS/Rate.
    static SpeechSettings FromStore(const QSettings& store);
};

// Speaks text into a 16 kHz, 16-bit, mono PCM WAV file with espeak-ng. The engine is
// process-wide: it is set up once, and one text is spoken at a time whatever the thread.
class CSpeechSynth
{
public:
    static constexpr int OutputSampleRate = 16000;

    explicit CSpeechSynth(SpeechSettings settings = {});

    // Replaces wavPath; on failure logs an "*ITEM: " line naming logName (the item's cache
    // file) and returns false, leaving whatever was written.
    bool Speak(const QString& text, const QString& wavPath, const QString& logName) const;

    // Words per minute for a rate of -10 ... 10: 175 at 0, the engine's slowest (80) and
    // fastest (450) at the ends, each step in between a constant factor faster.
    static int WordsPerMinute(int rate);
    // Empty when the engine cannot be started.
    static std::vector<SpeechVoice> Voices();

private:
    SpeechSettings m_settings;
};
