#include "DateHelpers.h"

#include "TextHelpers.h"

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

// Date fields are at most four characters long.
int FieldValue(QStringView s)
{
    return int(LeadingInt(s));
}

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

// Fields out of their range carry into the next larger one, the month first.
qint64 InstantFromFields(qint64 year, int month, int day, int hour, int minute, int second)
{
    const int m0 = month - 1;
    const int carry = m0 >= 0 ? m0 / 12 : (m0 - 11) / 12;
    const qint64 days = DaysFromCivil(year + carry, m0 - carry * 12 + 1, 1) + day - 1;
    return days * kSecondsPerDay + hour * 3600LL + minute * 60LL + second;
}

qint64 CheckedInstant(qint64 t, const QString& text)
{
    if (t < 0 || t > kLastInstant)
        throw CDateRangeError(text);
    return t;
}


// The next token of characters other than U+0020 from p, leading blanks skipped; p ends
// one character past the token.
QStringView NextToken(QStringView text, qsizetype& p)
{
    while (p < text.size() && text[p] == u' ')
        ++p;
    const qsizetype start = p;
    while (p < text.size() && text[p] != u' ')
        ++p;
    const QStringView token = text.mid(start, p - start);
    ++p;
    return token;
}

// Offset east of UTC written as hhmm (-0500 is -500).
bool ZoneOffset(const QString& zone, int& z)
{
    if (zone.size() == 5) {
        if (zone[0] != u'-' && zone[0] != u'+')
            return false;
        z = FieldValue(QStringView(zone).mid(1, 4));
        if (zone[0] == u'-')
            z = -z;
        return true;
    }
    if (zone.size() == 1) {
        const char16_t c = zone[0].unicode();
        if (c >= u'A' && c <= u'I')
            z = -100 * (c - u'A' + 1);
        else if (c >= u'K' && c <= u'M')
            z = -100 * (c - u'A');
        else if (c >= u'N' && c <= u'Y')
            z = 100 * (c - u'M');
        else if (c == u'Z')
            z = 0;
        else
            return false;
        return true;
    }
    static const struct
    {
        QLatin1StringView name;
        int offset;
    } kNamed[] = {{"UT"_L1, 0},     {"GMT"_L1, 0},    {"EDT"_L1, -400}, {"EST"_L1, -500},
                  {"CDT"_L1, -500}, {"CST"_L1, -600}, {"MDT"_L1, -600}, {"MST"_L1, -700},
                  {"PDT"_L1, -700}, {"PST"_L1, -800}};
    for (const auto& named : kNamed) {
        if (zone == named.name) {
            z = named.offset;
            return true;
        }
    }
    return false;
}

} // namespace

CDateRangeError::CDateRangeError(const QString& text)
    : std::runtime_error("Date out of range: " + text.toStdString())
{
}

bool ParseRfc822Date(const QString& text, qint64& time)
{
    const QString s = text.trimmed();
    if (s.size() < 16)
        return false;
    const qsizetype comma = s.indexOf(u',');
    qsizetype p = comma < 0 ? 0 : comma + 1;

    const QStringView dayToken = NextToken(s, p);
    const QStringView monthToken = NextToken(s, p);
    const QStringView yearToken = NextToken(s, p);
    if (dayToken.size() < 1 || dayToken.size() > 2 || monthToken.size() != 3 ||
        (yearToken.size() != 2 && yearToken.size() != 4))
        return false;

    const int day = FieldValue(dayToken);
    if (day < 1 || day > 31)
        return false;
    int year = FieldValue(yearToken);
    if (year <= 69)
        year += 2000;
    else if (year <= 99)
        year += 1900;
    else if (year < 1970)
        return false;

    const QString monthName = monthToken.toString().toUpper();
    int month = 0;
    while (month < 12 && kMonths[month] != monthName)
        ++month;
    if (month == 12)
        return false;

    const QStringView clock = NextToken(s, p);
    if ((clock.size() != 5 && clock.size() != 8) || clock[2] != u':' ||
        (clock.size() == 8 && clock[5] != u':'))
        return false;
    const int hour = FieldValue(clock.mid(0, 2));
    const int minute = FieldValue(clock.mid(3, 2));
    const int second = clock.size() == 8 ? FieldValue(clock.mid(6, 2)) : 0;

    const QString zone = p < s.size() ? s.mid(p).toUpper() : QString();
    int z = 0;
    if (!ZoneOffset(zone, z))
        return false;

    const qint64 t = InstantFromFields(year, month + 1, day, hour, minute, second) -
                     (z / 100) * 3600LL - (z % 100) * 60LL;
    time = CheckedInstant(t, text);
    return true;
}

bool ParseIso8601Date(const QString& text, qint64& time)
{
    const QString s = text.trimmed();
    if (s.size() < 17 || s[4] != u'-' || s[7] != u'-' || s[10] != u'T' || s[13] != u':')
        return false;
    const QStringView v(s);
    const int second = s.size() >= 19 ? FieldValue(v.mid(17, 2)) : 0;
    const qint64 t =
        InstantFromFields(FieldValue(v.mid(0, 4)), FieldValue(v.mid(5, 2)), FieldValue(v.mid(8, 2)),
                          FieldValue(v.mid(11, 2)), FieldValue(v.mid(14, 2)), second);
    time = CheckedInstant(t, text);
    return true;
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
