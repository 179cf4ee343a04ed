#pragma once

#include <QByteArray>
#include <QString>

// Code page of the charset named in an HTTP content-type value: 28591 (ISO-8859-1) when
// the value names none, 1252 when the name is unknown.
int CharsetToCodePage(const QString& contentType);

// The iconv encoding standing for a code page, or nullptr when there is none.
const char* CodePageToIconvName(int codePage);

// Decodes bytes in the given code page; an invalid or cut-off sequence becomes U+FFFD and
// decoding goes on. Fails only when the code page has no converter.
bool DecodeCodePage(const QByteArray& bytes, int codePage, QString& text);
