#pragma once

#include <QString>
#include <QtGlobal>
#include <stdexcept>

// Thrown by the date parsers for a date that is well formed but lies before
// 1970-01-01 00:00:00 UTC or after the year 3000.
class CDateRangeError : public std::runtime_error
{
public:
    explicit CDateRangeError(const QString& text);
};

// Both parsers give the written date's instant in seconds since 1970 UTC, whatever the
// process time zone; callers apply no offset of their own. Out-of-range fields carry over
// (31 April is 1 May, hour 25 is 1 o'clock the next day).

// "Sat, 07 Sep 2002 09:42:31 GMT", also two-digit years, "hh:mm" times, numeric zones,
// US zone names and military zone letters.
bool ParseRfc822Date(const QString& text, qint64& time);
// "2004-06-11T15:20:00Z"; whatever follows the seconds (fraction, zone) is ignored, so the
// written wall time is taken as UTC.
bool ParseIso8601Date(const QString& text, qint64& time);
// "05 Jun 2005 14:05:09 GMT" with English month names. Times the parsers could not have
// produced (before 1970 or after the year 3000) give an empty text, so that whatever is
// written can be read back.
QString FormatGmtDate(qint64 time);
