#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

class CWavSink;
class QSettings;

// One voice of a speech engine, for the options page.
struct SpeechVoice
{
    QString id;       // the voice identifier with its engine, as stored in TTS/Voice
    QString name;     // readable name
    QString language; // the language it speaks, a tag such as "en-us"
};

// The user's choice of voice and speed.
struct SpeechSettings
{
    QString voice;           // empty, stale or unknown: the default voice (kDefaultVoice)
    std::optional<int> rate; // -10 slowest ... 10 fastest; none: normal speed
    bool opening = true;     // an article begins with its channel's name and its title

    // TTS/Voice, TTS/Rate and TTS/Opening.
    static SpeechSettings FromStore(const QSettings& store);
};

// How much one text may become.
struct SpeechLimits
{
    // About ten hours at the normal rate; longer texts are cut at a word boundary.
    qsizetype maxWords = 100000;
    qsizetype maxCharacters = 1000000;
    // What the 32-bit size fields of a WAV file can describe.
    qint64 maxWavDataBytes = 0xFFFFFFFFll - 36;
    // Free bytes in the folder of a path, negative when unknown; empty: the file system's.
    std::function<qint64(const QString& folder)> freeBytes;
};

// Speaks text into a 16 kHz, 16-bit, mono PCM WAV file with flite or espeak-ng, as the
// voice identifier says. Each engine is process-wide: it is set up once, and speaks one
// text at a time whatever the thread.
class CSpeechSynth
{
public:
    static constexpr int OutputSampleRate = 16000;

    explicit CSpeechSynth(SpeechSettings settings = {}, SpeechLimits limits = {});

    // Replaces wavPath. A text over the limits is cut, with an "*ITEM: " line; speech that
    // would not fit on the disk is refused before it starts, and speech that grows past
    // the WAV format's size stopped. On failure logs an "*ITEM: " line naming logName (the
    // item's cache file), removes what was written and returns false.
    bool Speak(const QString& text, const QString& wavPath, const QString& logName) const;

    // Words per minute for a rate of -10 ... 10: 175 at 0, the engine's slowest (80) and
    // fastest (450) at the ends, each step in between a constant factor faster.
    static int WordsPerMinute(int rate);
    // The voices of both engines, flite's first; espeak-ng's are missing when it cannot be
    // started.
    static std::vector<SpeechVoice> Voices();
    // The identifier of the voice that speaks an article in language (a normalised tag,
    // empty when the article declares none) when the user chose the voice chosen: that
    // voice, or the default one when chosen is empty or names no installed voice; but when
    // it speaks another language than the article's, an espeak-ng voice of the article's
    // language, if there is one.
    static QString ResolveVoice(const QString& chosen, const QString& language = {});

private:
    bool SpeakWithEspeak(const QString& voice, const QString& text, CWavSink& sink,
                         const QString& wavPath, const QString& logName) const;
    bool EnoughSpace(const QString& wavPath, qsizetype words, const QString& logName) const;

    SpeechSettings m_settings;
    SpeechLimits m_limits;
};
