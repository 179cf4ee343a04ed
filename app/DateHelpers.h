#pragma once

#include <QString>
#include <QtGlobal>

// Dates as feeds write them, read to seconds since 1970 UTC whatever the process time zone.
// Only real calendar dates and times count (no 31 April, no hour 25), from 1970-01-01
// 00:00:00 UTC to the end of the year 3000; anything else fails without raising, so a bad
// date never costs more than that one date. A time without a zone is taken as UTC.

enum class FeedDateForm
{
    Rfc822,
    Iso8601
};

enum class DateReading
{
    Read,
    Malformed,
    OutOfRange
};

// "Sat, 07 Sep 2002 09:42:31 GMT". The weekday, the seconds and the whole time may be
// missing; days of one or two digits; years of two digits (below 50 in this century) or
// four; zones UT, UTC, GMT, Z, the US names, ±hhmm and ±hh:mm; military zone letters are
// taken as UTC, as RFC 2822 advises, since RFC 822 gave their signs the wrong way round.
bool ParseRfc822Date(const QString& text, qint64& time);
// "2004-06-11T15:20:00Z" with its offset applied; also the date alone, reduced forms
// (YYYY-MM, YYYY, hh:mm), the basic form (20040611T152000Z), ordinal and week dates,
// fractional seconds, and a blank instead of the "T".
bool ParseIso8601Date(const QString& text, qint64& time);
// Either form, the one named first tried first (the forms never overlap, the order only
// saves work); form receives the one that read it.
DateReading ReadFeedDate(const QString& text, FeedDateForm first, qint64& time,
                         FeedDateForm* form = nullptr);
// "05 Jun 2005 14:05:09 GMT" with English month names. Times the parsers could not have
// produced (before 1970 or after the year 3000) give an empty text, so that whatever is
// written can be read back, by this version and by earlier ones.
QString FormatGmtDate(qint64 time);
