#include "SpokenText.h"

#include <QStringList>

namespace {

bool IsInvisibleBreak(char16_t c)
{
    return c == 0x00AD || (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0xFEFF;
}

} // namespace

SpokenText PrepareSpokenText(const QString& text, qsizetype maxWords, qsizetype maxCharacters)
{
    SpokenText result;
    result.text.reserve(qMin(text.size(), maxCharacters));
    qsizetype boundary = 0, wordsAtBoundary = 0; // the end of the last whole word
    bool inWord = false;
    for (const QChar c : text) {
        if (IsInvisibleBreak(c.unicode()))
            continue;
        const bool space = c.isSpace();
        if (!space && !inWord && result.words == maxWords) {
            result.cut = true;
            break;
        }
        if (result.text.size() == maxCharacters) {
            result.cut = true;
            // No word is cut in two, but a single word longer than the bound is.
            if (inWord && !space && boundary > 0) {
                result.text.truncate(boundary);
                result.words = wordsAtBoundary;
            }
            break;
        }
        if (space && inWord) {
            boundary = result.text.size();
            wordsAtBoundary = result.words;
        } else if (!space && !inWord) {
            ++result.words;
        }
        inWord = !space;
        result.text.append(c);
    }
    if (result.cut) {
        // Not half a surrogate pair, nor trailing blanks.
        if (!result.text.isEmpty() && result.text.back().isHighSurrogate())
            result.text.chop(1);
        while (!result.text.isEmpty() && result.text.back().isSpace())
            result.text.chop(1);
    }
    return result;
}

QString SpokenOpening(const QString& channel, const QString& title)
{
    QStringList sentences;
    for (const QString& part : {channel, title}) {
        QString sentence = part.simplified();
        if (sentence.isEmpty())
            continue;
        if (!sentence.endsWith(u'.') && !sentence.endsWith(u'!') && !sentence.endsWith(u'?'))
            sentence += u'.';
        sentences << sentence;
    }
    return sentences.join(u' ');
}
