#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Turns feed text into plain one-line text: tags become blanks, control and other
// unprintable characters become blanks, runs of blanks shrink to one (except at the very
// end), and decimal character references "&#nnn;" are decoded. Item identities are digests
// of cleaned text, so the result depends on nothing but the input (no locale).
void CleanText(QString& text);

// Accepts a typed or pasted feed address: the first word, with scheme http, https or feed
// (any case); "feed:" becomes "http:", anything else is kept as typed.
bool NormalizeFeedUrl(const QString& text, QString& url);

// Two upper-case hexadecimal digits per byte.
QString HexDigest(const QByteArray& sixteenBytes);

// "1023 bytes", "1.0 KB", "1024.0 MB", always with a '.' as decimal point.
QString FormatSize(qint64 n);

// Reads a number the way the C run-time's atoi does: blanks, a sign, then the digits there
// are; no digits give 0. Very long digit runs stop growing instead of overflowing.
qint64 LeadingInt(QStringView text);
