#include "ArticleLanguage.h"

#include "VoiceId.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace {

// The html element comes first in any page; a declaration further in is not looked for.
constexpr qsizetype kSearchedBytes = 64 * 1024;

QString HtmlElementLanguage(const QByteArray& page)
{
    static const QRegularExpression kHtml(u"<html(?:\\s[^>]*)?>"_s,
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression kLang(
        u"\\s(?:xml:)?lang\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromUtf8(page.left(kSearchedBytes));
    const QRegularExpressionMatch html = kHtml.match(head);
    if (!html.hasMatch())
        return {};
    const QRegularExpressionMatch lang = kLang.match(html.captured(0));
    if (!lang.hasMatch())
        return {};
    for (int group = 1; group <= 3; ++group)
        if (lang.capturedLength(group) > 0)
            return NormalizeLanguageTag(lang.captured(group));
    return {};
}

} // namespace

QString ArticleLanguage(const QByteArray& utf8Page, const QString& contentLanguage)
{
    const QString page = HtmlElementLanguage(utf8Page);
    if (!page.isEmpty())
        return page;
    return NormalizeLanguageTag(contentLanguage.section(u',', 0, 0));
}
