#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// Code page of the charset named in an HTTP content-type value: 28591 (ISO-8859-1) when
// the value names none, 1252 when the name is unknown.
int CharsetToCodePage(const QString& contentType);

// The code page of a page or feed body: the charset of the HTTP content-type value when it
// names one; else the encoding of the body's XML declaration, or the charset of an HTML
// <meta charset> or <meta http-equiv="Content-Type"> in its first 4 KB, when the table
// knows it; else as CharsetToCodePage.
int BodyCodePage(const QString& contentType, const QByteArray& body);

// Every code page that CharsetToCodePage can give, once each, in ascending order.
std::vector<int> CharsetTableCodePages();

// The iconv encoding standing for a code page, or nullptr when there is none.
const char* CodePageToIconvName(int codePage);

// Decodes bytes in the given code page; an invalid or cut-off sequence becomes U+FFFD and
// decoding goes on. A code page of the table that has no converter here is read as
// ISO-8859-1, with a log line. Fails only for a number that is no code page of the table.
bool DecodeCodePage(const QByteArray& bytes, int codePage, QString& text);
