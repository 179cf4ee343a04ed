#pragma once

#include <QString>

// The engines that can speak an article.
enum class SpeechEngine
{
    Espeak,
    Flite
};

// A voice identifier as stored in TTS/Voice and in channel files: the engine, a slash and
// the engine's own name of the voice ("flite/rms", "espeak/gmw/en"). Identifiers stored
// before there was a second engine carry no engine and name an espeak-ng voice.
struct VoiceId
{
    SpeechEngine engine = SpeechEngine::Espeak;
    QString name; // empty: no voice chosen

    static VoiceId Parse(const QString& text);
    QString ToString() const;
    bool operator==(const VoiceId&) const = default;
};

// The clearest English voice: spoken when none is chosen or the chosen one is gone.
inline constexpr char16_t kDefaultVoice[] = u"flite/rms";

// A language tag brought to one form ("en_GB" -> "en-gb"); empty when it is not a tag.
QString NormalizeLanguageTag(const QString& tag);
// The primary subtag ("en" of "en-gb").
QString PrimaryLanguage(const QString& tag);
