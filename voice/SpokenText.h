#pragma once

#include <QString>

// The text as the speech engine is given it.
struct SpokenText
{
    QString text;
    qsizetype words = 0; // words in text
    bool cut = false;    // the text was longer than the bounds
};

// Removes the invisible characters that split words for the engine (soft hyphens,
// zero-width spaces and joiners, word joiners, byte order marks) and bounds the text:
// it ends after its maxWords-th word, and at the last word boundary within maxCharacters.
SpokenText PrepareSpokenText(const QString& text, qsizetype maxWords, qsizetype maxCharacters);

// What is said before an article, so a folder of spoken news can be found by ear:
// "<channel>. <title>." (a part that ends a sentence already gets no second full stop; an
// empty part is left out).
QString SpokenOpening(const QString& channel, const QString& title);
