#include "VoiceId.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

VoiceId VoiceId::Parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype slash = trimmed.indexOf(u'/');
    if (slash > 0) {
        const QString engine = trimmed.left(slash);
        if (engine == u"flite"_s)
            return {SpeechEngine::Flite, trimmed.mid(slash + 1)};
        if (engine == u"espeak"_s)
            return {SpeechEngine::Espeak, trimmed.mid(slash + 1)};
    }
    return {SpeechEngine::Espeak, trimmed};
}

QString VoiceId::ToString() const
{
    if (name.isEmpty())
        return {};
    return (engine == SpeechEngine::Flite ? u"flite/"_s : u"espeak/"_s) + name;
}

QString NormalizeLanguageTag(const QString& tag)
{
    static const QRegularExpression kTag(u"^[a-z]{2,3}(-[a-z0-9]{1,8})*$"_s);
    QString text = tag.trimmed().toLower();
    text.replace(u'_', u'-');
    return kTag.match(text).hasMatch() ? text : QString();
}

QString PrimaryLanguage(const QString& tag)
{
    return tag.section(u'-', 0, 0);
}
