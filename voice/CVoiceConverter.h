#pragma once

#include "CMp3Encoder.h"
#include "CSpeechSynth.h"

#include <QByteArray>
#include <QString>
#include <memory>

class CPerlWrap;

// Turns cached article pages into the text to speak: decodes the page by its declared
// character set and runs the extraction script over it in an embedded interpreter. The
// interpreter is built at the first page and rebuilt after every hundred or so, so the
// script's package variables live on from one page to the next. All calls come from one
// thread at a time (the conversion worker).
class CVoiceConverter
{
public:
    // Pages one interpreter serves before it is rebuilt (the first serves this many, each
    // later one this many plus one).
    static constexpr int kConversionsPerInterpreter = 100;

    // programFolder: the executable's folder; the script's modules are in its "include/".
    explicit CVoiceConverter(const QString& programFolder);
    ~CVoiceConverter();
    CVoiceConverter(const CVoiceConverter&) = delete;
    CVoiceConverter& operator=(const CVoiceConverter&) = delete;

    // Start-up: loads the MP3 encoder library, then the extraction script. False when
    // either is missing.
    bool Initialize();
    // Takes the extraction script compiled into the program; false when it is missing or
    // empty.
    bool LoadScript();
    // Empties the script text, destroys the interpreter, resets the counter and releases
    // the encoder library.
    void Unload();

    // The first half of turning a page into speech: reads the cache file, brings the page
    // to UTF-8 and runs the script; the text is what the script left in $output_stream.
    // A failure logs one line naming cachePath.
    // language: what the page declares (see ArticleLanguage), empty when nothing.
    bool PageToText(const QString& cachePath, QString& text, QString* language = nullptr);
    // The page's text spoken into wavPath at the rate of speech, in its voice or, for a page
    // in another language, a voice of the page's language (CSpeechSynth::ResolveVoice).
    // opening, when not empty, is spoken first. usedVoice: the voice that spoke.
    bool PageToWav(const QString& cachePath, const QString& wavPath, const SpeechSettings& speech,
                   const QString& opening = {}, QString* usedVoice = nullptr);
    // The WAV file encoded into mp3Path, tagged for players.
    bool WavToMp3(const QString& wavPath, const QString& mp3Path, const Mp3Tag& tag) const;
    const CMp3Encoder& Encoder() const { return m_encoder; }

    QString ModuleFolder() const { return m_programFolder + QStringLiteral("include/"); }
    QByteArray ScriptText() const { return m_script; }
    // Replaces the script (tests, tools).
    void SetScriptText(const QByteArray& text) { m_script = text; }
    // The script compiled into the program.
    static QByteArray EmbeddedScript();

    // Pages converted by the current interpreter (see kConversionsPerInterpreter).
    int ConversionCount() const { return m_conversions; }
    // How many interpreters this converter has built; 0 before the first page.
    int InterpreterGeneration() const { return m_generation; }

private:
    bool DecodePage(const QString& contentType, const QByteArray& body, const QByteArray& path,
                    QByteArray& utf8) const;
    CPerlWrap& Host();

    QString m_programFolder;
    CMp3Encoder m_encoder;
    std::unique_ptr<CPerlWrap> m_host;
    int m_conversions = 0;
    int m_generation = 0;
    QByteArray m_script;
};
