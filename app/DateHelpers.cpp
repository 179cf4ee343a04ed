#include "DateHelpers.h"

#include <array>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::array<QLatin1StringView, 12> kMonths = {"JAN"_L1, "FEB"_L1, "MAR"_L1, "APR"_L1,
                                                       "MAY"_L1, "JUN"_L1, "JUL"_L1, "AUG"_L1,
                                                       "SEP"_L1, "OCT"_L1, "NOV"_L1, "DEC"_L1};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr qint64 kSecondsPerDay = 86400;

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
constexpr qint64 DaysFromCivil(qint64 y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct CivilDate
{
    qint64 year;
    int month;
    int day;
};

constexpr CivilDate CivilFromDays(qint64 z)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

constexpr qint64 kLastInstant = DaysFromCivil(3001, 1, 1) * kSecondsPerDay - 1;

constexpr bool IsLeapYear(qint64 y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int DaysInMonth(qint64 y, int m)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Monday is 0; 1970-01-01 was a Thursday.
constexpr int WeekdayOf(qint64 days)
{
    return int(((days + 3) % 7 + 7) % 7);
}

// ISO week 1 is the week that holds 4 January.
constexpr qint64 FirstMondayOfIsoYear(qint64 y)
{
    const qint64 jan4 = DaysFromCivil(y, 1, 4);
    return jan4 - WeekdayOf(jan4);
}

// A date and time as written, checked field by field before it becomes an instant.
struct DateFields
{
    qint64 days = 0; // since 1970-01-01, already checked
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetMinutes = 0; // east of UTC
};

DateReading Instant(const DateFields& f, qint64& time)
{
    if (f.hour > 24 || f.minute > 59 || f.second > 60 ||
        (f.hour == 24 && (f.minute != 0 || f.second != 0)))
        return DateReading::Malformed;
    // A leap second stays within its minute rather than moving the date.
    const int second = qMin(f.second, 59);
    const qint64 t = f.days * kSecondsPerDay + f.hour * 3600LL + f.minute * 60LL + second -
                     f.offsetMinutes * 60LL;
    if (t < 0 || t > kLastInstant)
        return DateReading::OutOfRange;
    time = t;
    return DateReading::Read;
}

bool CalendarDays(qint64 year, int month, int day, qint64& days)
{
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    days = DaysFromCivil(year, month, day);
    return true;
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsAllDigits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (const QChar c : s) {
        if (!IsDigit(c))
            return false;
    }
    return true;
}

// Callers pass at most a handful of digits, so the value cannot overflow.
int DigitValue(QStringView s)
{
    int value = 0;
    for (const QChar c : s)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

// Reads a text from left to right; every read either consumes what it asks for or nothing.
class CDateScanner
{
public:
    explicit CDateScanner(QStringView text) : m_text(text) {}

    bool AtEnd() const { return m_p >= m_text.size(); }
    qsizetype DigitRun() const
    {
        qsizetype n = 0;
        while (m_p + n < m_text.size() && IsDigit(m_text[m_p + n]))
            ++n;
        return n;
    }
    bool Accept(char16_t c)
    {
        if (AtEnd() || m_text[m_p] != c)
            return false;
        ++m_p;
        return true;
    }
    bool AcceptAny(std::initializer_list<char16_t> chars)
    {
        for (const char16_t c : chars) {
            if (Accept(c))
                return true;
        }
        return false;
    }
    // The next n digits, which may begin a longer run (basic forms such as "152000").
    bool Digits(qsizetype n, int& value)
    {
        if (DigitRun() < n)
            return false;
        value = DigitValue(m_text.mid(m_p, n));
        m_p += n;
        return true;
    }
    void SkipDigits() { m_p += DigitRun(); }
    void SkipBlanks()
    {
        while (!AtEnd() && m_text[m_p] == u' ')
            ++m_p;
    }

private:
    QStringView m_text;
    qsizetype m_p = 0;
};

// "+hh:mm", "+hhmm" or "+hh" (sign included) to minutes east of UTC.
bool NumericOffset(CDateScanner& scan, int& minutes)
{
    const bool west = scan.Accept(u'-');
    if (!west && !scan.Accept(u'+'))
        return false;
    int hours = 0, mins = 0;
    if (!scan.Digits(2, hours))
        return false;
    if (scan.Accept(u':')) {
        if (!scan.Digits(2, mins))
            return false;
    } else if (scan.DigitRun() == 2) {
        scan.Digits(2, mins);
    }
    if (hours > 23 || mins > 59 || scan.DigitRun() > 0)
        return false;
    minutes = (west ? -1 : 1) * (hours * 60 + mins);
    return true;
}

// The date part of an ISO 8601 text. complete tells whether it names a day, after which
// alone a time may follow.
bool IsoDate(CDateScanner& scan, qint64& days, bool& complete)
{
    complete = true;
    const qsizetype run = scan.DigitRun();
    int year = 0, a = 0, b = 0;
    if (run == 8) { // YYYYMMDD
        scan.Digits(4, year);
        scan.Digits(2, a);
        scan.Digits(2, b);
        return CalendarDays(year, a, b, days);
    }
    if (run == 7) { // YYYYDDD
        scan.Digits(4, year);
        scan.Digits(3, a);
        if (a < 1 || a > (IsLeapYear(year) ? 366 : 365))
            return false;
        days = DaysFromCivil(year, 1, 1) + a - 1;
        return true;
    }
    if (run != 4)
        return false;
    scan.Digits(4, year);
    const bool extended = scan.Accept(u'-');
    if (scan.AcceptAny({u'W', u'w'})) { // YYYY-Www-D, YYYYWwwD, or the week alone
        if (!scan.Digits(2, a))
            return false;
        b = 1;
        const bool hasDay = extended ? scan.Accept(u'-') : scan.DigitRun() == 1;
        if (hasDay && !scan.Digits(1, b))
            return false;
        complete = hasDay;
        const qint64 first = FirstMondayOfIsoYear(year);
        const qint64 weeks = (FirstMondayOfIsoYear(year + 1) - first) / 7;
        if (a < 1 || a > weeks || b < 1 || b > 7)
            return false;
        days = first + (a - 1) * 7LL + (b - 1);
        return true;
    }
    if (!extended) { // YYYY
        complete = false;
        days = DaysFromCivil(year, 1, 1);
        return true;
    }
    const qsizetype next = scan.DigitRun();
    if (next == 3) { // YYYY-DDD
        scan.Digits(3, a);
        if (a < 1 || a > (IsLeapYear(year) ? 366 : 365))
            return false;
        days = DaysFromCivil(year, 1, 1) + a - 1;
        return true;
    }
    if (next != 2)
        return false;
    scan.Digits(2, a);
    b = 1;
    complete = scan.Accept(u'-');
    if (complete && (scan.DigitRun() != 2 || !scan.Digits(2, b)))
        return false;
    return CalendarDays(year, a, b, days);
}

DateReading ReadIso8601(QStringView text, qint64& time)
{
    CDateScanner scan(text);
    DateFields f;
    bool complete = false;
    if (!IsoDate(scan, f.days, complete))
        return DateReading::Malformed;
    if (!scan.AtEnd()) {
        if (!complete || !scan.AcceptAny({u'T', u't', u' '}))
            return DateReading::Malformed;
        if (!scan.Digits(2, f.hour))
            return DateReading::Malformed;
        const bool extended = scan.Accept(u':');
        bool hasMinute = extended;
        if (extended && !scan.Digits(2, f.minute))
            return DateReading::Malformed;
        if (!extended && scan.DigitRun() >= 2) {
            scan.Digits(2, f.minute);
            hasMinute = true;
        }
        bool hasSecond = false;
        if (hasMinute && (extended ? scan.Accept(u':') : scan.DigitRun() >= 2)) {
            if (!scan.Digits(2, f.second))
                return DateReading::Malformed;
            hasSecond = true;
        }
        if (scan.DigitRun() > 0)
            return DateReading::Malformed;
        if (hasSecond && scan.AcceptAny({u'.', u','})) {
            if (scan.DigitRun() == 0)
                return DateReading::Malformed;
            scan.SkipDigits(); // finer than the seconds kept
        }
        scan.SkipBlanks();
        if (!scan.AtEnd() && !scan.AcceptAny({u'Z', u'z'}) && !NumericOffset(scan, f.offsetMinutes))
            return DateReading::Malformed;
    }
    if (!scan.AtEnd())
        return DateReading::Malformed;
    return Instant(f, time);
}

// Minutes east of UTC of an RFC 822 zone, upper-cased.
bool Rfc822Zone(QStringView zone, int& minutes)
{
    minutes = 0;
    static const struct
    {
        QLatin1StringView name;
        int hours;
    } kNamed[] = {{"UT"_L1, 0},   {"UTC"_L1, 0},  {"GMT"_L1, 0},  {"Z"_L1, 0},
                  {"EDT"_L1, -4}, {"EST"_L1, -5}, {"CDT"_L1, -5}, {"CST"_L1, -6},
                  {"MDT"_L1, -6}, {"MST"_L1, -7}, {"PDT"_L1, -7}, {"PST"_L1, -8}};
    for (const auto& named : kNamed) {
        if (zone == named.name) {
            minutes = named.hours * 60;
            return true;
        }
    }
    if (zone.size() == 1)
        return zone[0] >= u'A' && zone[0] <= u'Z' && zone[0] != u'J';
    // "GMT+01:00" and the like: the name says nothing the offset does not.
    for (const QLatin1StringView name : {"GMT"_L1, "UTC"_L1, "UT"_L1}) {
        if (zone.startsWith(name) && zone.size() > name.size() &&
            (zone[name.size()] == u'+' || zone[name.size()] == u'-')) {
            zone = zone.mid(name.size());
            break;
        }
    }
    CDateScanner scan(zone);
    return NumericOffset(scan, minutes) && scan.AtEnd();
}

// "hh:mm" or "hh:mm:ss".
bool Rfc822Clock(QStringView clock, DateFields& f)
{
    CDateScanner scan(clock);
    if (!scan.Digits(2, f.hour) || !scan.Accept(u':') || !scan.Digits(2, f.minute))
        return false;
    if (scan.Accept(u':') && !scan.Digits(2, f.second))
        return false;
    return scan.AtEnd() && f.hour < 24;
}

DateReading ReadRfc822(QStringView text, qint64& time)
{
    // A comment after the zone, as in "+0000 (GMT)".
    if (text.endsWith(u')')) {
        const qsizetype open = text.lastIndexOf(u'(');
        if (open < 0)
            return DateReading::Malformed;
        text = text.left(open).trimmed();
    }
    std::vector<QStringView> tokens;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool separator =
            i == text.size() || text[i] == u' ' || text[i] == u',' || text[i] == u'\t';
        if (separator && start >= 0) {
            tokens.push_back(text.mid(start, i - start));
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    size_t next = 0;
    // The weekday is skipped without being checked.
    if (!tokens.empty() && tokens[0][0].isLetter())
        ++next;

    QStringView dayToken, monthToken, yearToken;
    if (next < tokens.size() && tokens[next].count(u'-') == 2) { // "07-Sep-2002"
        const QStringView joined = tokens[next++];
        const qsizetype first = joined.indexOf(u'-');
        const qsizetype second = joined.indexOf(u'-', first + 1);
        dayToken = joined.left(first);
        monthToken = joined.mid(first + 1, second - first - 1);
        yearToken = joined.mid(second + 1);
    } else if (next + 3 <= tokens.size()) {
        dayToken = tokens[next];
        monthToken = tokens[next + 1];
        yearToken = tokens[next + 2];
        next += 3;
    } else {
        return DateReading::Malformed;
    }
    if (dayToken.size() > 2 || !IsAllDigits(dayToken) || monthToken.size() != 3 ||
        (yearToken.size() != 2 && yearToken.size() != 4) || !IsAllDigits(yearToken))
        return DateReading::Malformed;
    const QString monthName = monthToken.toString().toUpper();
    int month = 0;
    while (month < 12 && kMonths[month] != monthName)
        ++month;
    if (month == 12)
        return DateReading::Malformed;
    int year = DigitValue(yearToken);
    if (yearToken.size() == 2)
        year += year < 50 ? 2000 : 1900;

    DateFields f;
    if (!CalendarDays(year, month + 1, DigitValue(dayToken), f.days))
        return DateReading::Malformed;
    if (next < tokens.size()) {
        // The zone may follow the time without a blank: "09:42:31+0200".
        QStringView clock = tokens[next++];
        QStringView zone;
        const qsizetype sign = clock.indexOf(u'+') >= 0 ? clock.indexOf(u'+') : clock.indexOf(u'-');
        if (sign > 0) {
            zone = clock.mid(sign);
            clock = clock.left(sign);
        } else if (next < tokens.size()) {
            zone = tokens[next++];
        }
        if (next != tokens.size() || !Rfc822Clock(clock, f))
            return DateReading::Malformed;
        if (!zone.isEmpty() && !Rfc822Zone(zone.toString().toUpper(), f.offsetMinutes))
            return DateReading::Malformed;
    }
    return Instant(f, time);
}

} // namespace

bool ParseRfc822Date(const QString& text, qint64& time)
{
    return ReadRfc822(QStringView(text).trimmed(), time) == DateReading::Read;
}

bool ParseIso8601Date(const QString& text, qint64& time)
{
    return ReadIso8601(QStringView(text).trimmed(), time) == DateReading::Read;
}

DateReading ReadFeedDate(const QString& text, FeedDateForm first, qint64& time, FeedDateForm* form)
{
    const QStringView s = QStringView(text).trimmed();
    const FeedDateForm order[] = {first, first == FeedDateForm::Rfc822 ? FeedDateForm::Iso8601
                                                                       : FeedDateForm::Rfc822};
    DateReading result = DateReading::Malformed;
    for (const FeedDateForm candidate : order) {
        const DateReading reading =
            candidate == FeedDateForm::Rfc822 ? ReadRfc822(s, time) : ReadIso8601(s, time);
        if (reading == DateReading::Read) {
            if (form)
                *form = candidate;
            return reading;
        }
        if (reading == DateReading::OutOfRange)
            result = reading;
    }
    return result;
}

QString FormatGmtDate(qint64 time)
{
    if (time < 0 || time > kLastInstant)
        return QString();
    const CivilDate date = CivilFromDays(time / kSecondsPerDay);
    const qint64 secondOfDay = time % kSecondsPerDay;
    return QString::asprintf("%02d %s %04d %02d:%02d:%02d GMT", date.day,
                             kMonthNames[date.month - 1], int(date.year), int(secondOfDay / 3600),
                             int(secondOfDay / 60 % 60), int(secondOfDay % 60));
}
