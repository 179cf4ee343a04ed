#include "CVoiceConverter.h"

#include "ArticleCache.h"
#include "ArticleLanguage.h"
#include "CAppLog.h"
#include "CPerlWrap.h"
#include "CodePages.h"

#include <QFile>
#include <QtEndian>
#include <cstddef>

using namespace Qt::Literals::StringLiterals;

// Generated from script/extract.pl at build time.
extern const unsigned char kExtractScript[];
extern const std::size_t kExtractScriptSize;

namespace {

constexpr int kUtf8CodePage = 65001;
constexpr int kUtf16CodePage = 1200;

} // namespace

CVoiceConverter::CVoiceConverter(const QString& programFolder) : m_programFolder(programFolder)
{
    if (!m_programFolder.endsWith(u'/'))
        m_programFolder += u'/';
}

CVoiceConverter::~CVoiceConverter() = default;

QByteArray CVoiceConverter::EmbeddedScript()
{
    return QByteArray(reinterpret_cast<const char*>(kExtractScript), qsizetype(kExtractScriptSize));
}

bool CVoiceConverter::Initialize()
{
    if (m_encoder.Load() != CMp3Encoder::LoadResult::Loaded)
        return false;
    return LoadScript();
}

bool CVoiceConverter::PageToWav(const QString& cachePath, const QString& wavPath,
                                const SpeechSettings& speech, const QString& opening,
                                QString* usedVoice)
{
    QString text, language;
    if (!PageToText(cachePath, text, &language))
        return false;
    SpeechSettings voiced = speech;
    voiced.voice = CSpeechSynth::ResolveVoice(speech.voice, language);
    if (usedVoice)
        *usedVoice = voiced.voice;
    if (!opening.isEmpty())
        text = opening + u"\n\n"_s + text;
    return CSpeechSynth(voiced).Speak(text, wavPath, cachePath);
}

bool CVoiceConverter::WavToMp3(const QString& wavPath, const QString& mp3Path,
                               const Mp3Tag& tag) const
{
    return m_encoder.Encode(wavPath, mp3Path, &tag);
}

bool CVoiceConverter::LoadScript()
{
    m_script = EmbeddedScript();
    return !m_script.isEmpty();
}

void CVoiceConverter::Unload()
{
    m_script.clear();
    m_host.reset();
    m_conversions = 0;
    m_encoder.Unload();
}

CPerlWrap& CVoiceConverter::Host()
{
    if (!m_host) {
        m_host = std::make_unique<CPerlWrap>();
        ++m_generation;
        m_host->SetArray("INC", {QFile::encodeName(ModuleFolder())});
    }
    return *m_host;
}

bool CVoiceConverter::DecodePage(const QString& contentType, const QByteArray& body,
                                 const QByteArray& path, QByteArray& utf8) const
{
    const int codePage = BodyCodePage(contentType, body);
    if (codePage == kUtf8CodePage) {
        utf8 = body;
        return true;
    }
    if (codePage == kUtf16CodePage) {
        QString wide(body.size() / 2, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(body.constData(), wide.size(), wide.data());
        utf8 = wide.toUtf8();
        if (utf8.isEmpty()) {
            LogFormat("*ITEM: Cannot convert to UTF16-8: '%s'", path.constData());
            return false;
        }
        return true;
    }
    QString wide;
    if (!DecodeCodePage(body, codePage, wide) || wide.isEmpty()) {
        LogFormat("*ITEM: Cannot convert to UTF16: '%s'", path.constData());
        return false;
    }
    utf8 = wide.toUtf8();
    if (utf8.isEmpty()) {
        LogFormat("*ITEM: Cannot convert to UTF8: '%s'", path.constData());
        return false;
    }
    return true;
}

bool CVoiceConverter::PageToText(const QString& cachePath, QString& text, QString* language)
{
    const QByteArray path = cachePath.toUtf8();
    try {
        QString contentType, contentLanguage;
        QByteArray body;
        if (!ReadArticleCache(cachePath, contentType, contentLanguage, body))
            return false;
        QByteArray utf8;
        if (!DecodePage(contentType, body, path, utf8))
            return false;
        body.clear();
        if (language)
            *language = ArticleLanguage(utf8, contentLanguage);

        if (++m_conversions > kConversionsPerInterpreter) {
            m_conversions = 0;
            m_host.reset();
        }
        CPerlWrap& host = Host();
        host.ClearWarnings();
        host.SetStringUtf8("input_stream", utf8);
        if (!host.Eval(m_script)) {
            LogFormat("*ITEM: Script error: '%s': '%s'",
                      qUtf8Printable(QString::fromLocal8Bit(host.GetLastError())),
                      path.constData());
            return false;
        }
        QByteArray output;
        if (!host.GetString("output_stream", output)) {
            LogFormat("*ITEM: output var not set: '%s'", path.constData());
            return false;
        }
        if (output.isEmpty()) {
            LogFormat("*ITEM: empty text: '%s'", path.constData());
            return false;
        }
        text = QString::fromUtf8(output);
        if (text.isEmpty()) {
            LogFormat("*ITEM: cannot convert from UTF8: '%s'", path.constData());
            return false;
        }
        return true;
    } catch (...) {
        LogFormat("*ITEM: exception inconvertion: '%s'", path.constData());
        return false;
    }
}
