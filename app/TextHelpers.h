#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Turns feed text into plain one-line text: tags become blanks, control and other
// unprintable characters become blanks, runs of blanks shrink to one (except at the very
// end), and decimal character references "&#nnn;" are decoded. Item identities are digests
// of cleaned text, so the result depends on nothing but the input (no locale).
void CleanText(QString& text);

// Feed text for people, never for identities (those stay with CleanText).
// Whether text that does not say what it is reads as HTML: it holds a closing tag or a
// character reference that decodes ("&amp;", "&#38;", "&#x26;"). A lone "<blink>" or a bare
// "&" does not make HTML.
bool LooksLikeHtml(QStringView text);
// Character references decoded: named (HTML 4), decimal and hexadecimal; what does not
// decode stays as written.
QString DecodeHtmlReferences(QStringView text);
// HTML as text: tags and comments dropped, references decoded, runs of white space one
// blank, trimmed.
QString HtmlToText(QStringView html);
// Feed text as it is shown: decoded to text when it looks like HTML, else as written.
QString ShownFeedText(const QString& text);
// For one line of a list: control characters and line separators become blanks, runs of
// blanks one, trimmed.
QString OneLineText(const QString& text);

// Accepts a typed or pasted feed address: the first word, with scheme http, https or feed
// (any case); "feed:" becomes "http:", anything else is kept as typed.
bool NormalizeFeedUrl(const QString& text, QString& url);

// Backslash, tab, newline and carriage return written as \\, \t, \n and \r, so the text
// stays on one line and reads back whole (desktop entries, tab-separated rows).
QString BackslashEscaped(const QString& text);

// Two upper-case hexadecimal digits per byte.
QString HexDigest(const QByteArray& sixteenBytes);

// "1023 bytes", "1.0 KB", "1024.0 MB", always with a '.' as decimal point.
QString FormatSize(qint64 n);

// Reads a number the way the C run-time's atoi does: blanks, a sign, then the digits there
// are; no digits give 0. Very long digit runs stop growing instead of overflowing.
qint64 LeadingInt(QStringView text);
