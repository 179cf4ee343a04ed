#include "DateHelpers.h"
#include "TestSupport.h"

#include <QDateTime>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

qint64 Utc(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* tz) : m_env(std::in_place, "TZ", QByteArray(tz))
    {
        tzset();
    }
    ~ScopedTimeZone()
    {
        m_env.reset();
        tzset();
    }

private:
    std::optional<ScopedEnv> m_env;
};

struct DateCase
{
    const char* text;
    qint64 expected;
};

// The parsers must not depend on the process time zone, with or without daylight saving.
class DateHelpersInZone : public ::testing::TestWithParam<const char*>
{
protected:
    ScopedTimeZone m_zone{GetParam()};
};

TEST_P(DateHelpersInZone, Rfc822DatesGiveTheWrittenInstant)
{
    const DateCase cases[] = {
        {"Sat, 07 Sep 2002 09:42:31 GMT", Utc(2002, 9, 7, 9, 42, 31)},
        {"7 Sep 02 09:42 +0200", Utc(2002, 9, 7, 7, 42)},
        {"Sat, 07 Sep 2002 09:42:31 Z", Utc(2002, 9, 7, 9, 42, 31)},
        {"  Mon, 15 jul 2002 12:00:00 ut  ", Utc(2002, 7, 15, 12)},
        {"Sat, 07 Sep 2002 09:42:31 EST", Utc(2002, 9, 7, 14, 42, 31)},
        {"Sat, 07 Sep 2002 09:42:31 pdt", Utc(2002, 9, 7, 16, 42, 31)},
        {"Sat, 07 Sep 2002 09:42:31 -0530", Utc(2002, 9, 7, 15, 12, 31)},
        {"Sat, 07 Sep 2002 09:42:31 +0530", Utc(2002, 9, 7, 4, 12, 31)},
        {"Xyz, 31 Apr 2005 10:00:00 GMT", Utc(2005, 5, 1, 10)},
        {"01 Jan 2005 25:00:61 GMT", Utc(2005, 1, 2, 1, 1, 1)},
        {"01 Jan 69 00:00:00 GMT", Utc(2069, 1, 1)},
        {"01 Jan 70 00:00:00 GMT", 0},
        {"31 Dec 99 23:59:59 GMT", Utc(1999, 12, 31, 23, 59, 59)},
        {"31 Dec 3000 23:59:59 GMT", Utc(3000, 12, 31, 23, 59, 59)},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.text);
        qint64 t = -1;
        ASSERT_TRUE(ParseRfc822Date(QString::fromLatin1(c.text), t));
        EXPECT_EQ(t, c.expected);
    }
}

TEST_P(DateHelpersInZone, Iso8601DatesTakeTheWallTimeAsUtc)
{
    const DateCase cases[] = {
        {"2004-06-11T15:20:00Z", Utc(2004, 6, 11, 15, 20)},
        {"2004-06-11T15:20Z", Utc(2004, 6, 11, 15, 20)},
        {"2004-06-11T15:20:00+05:00", Utc(2004, 6, 11, 15, 20)},
        {" 2004-01-11T15:20:45.123-08:00 ", Utc(2004, 1, 11, 15, 20, 45)},
        {"2004-13-01T00:00:00Z", Utc(2005, 1, 1)},
        {"2004-02-30T00:00:00Z", Utc(2004, 3, 1)},
        {"2004-00-10T00:00:00Z", Utc(2003, 12, 10)},
        {"2004-03-00T24:00:00Z", Utc(2004, 3, 1)},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.text);
        qint64 t = -1;
        ASSERT_TRUE(ParseIso8601Date(QString::fromLatin1(c.text), t));
        EXPECT_EQ(t, c.expected);
    }
}

TEST_P(DateHelpersInZone, FormattedDatesReadBackExactly)
{
    const qint64 times[] = {0,
                            Utc(2000, 2, 29, 23, 59, 59),
                            Utc(2005, 6, 5, 14, 5, 9),
                            Utc(2024, 3, 10, 7, 30),
                            Utc(2100, 3, 1),
                            Utc(3000, 12, 31, 23, 59, 59)};
    for (const qint64 t : times) {
        const QString text = FormatGmtDate(t);
        SCOPED_TRACE(text.toStdString());
        qint64 back = -1;
        ASSERT_TRUE(ParseRfc822Date(text, back));
        EXPECT_EQ(back, t);
    }
}

INSTANTIATE_TEST_SUITE_P(DateHelpers, DateHelpersInZone,
                         ::testing::Values("UTC", "America/New_York", "Asia/Kolkata"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

TEST(DateHelpersRfc822, MilitaryZoneLettersGiveTheirOffsets)
{
    const QString letters = u"ABCDEFGHIKLMNOPQRSTUVWXYZ"_s;
    const int hours[] = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, 1,
                         2,  3,  4,  5,  6,  7,  8,  9,  10, 11,  12,  0};
    for (qsizetype i = 0; i < letters.size(); ++i) {
        SCOPED_TRACE(letters[i].toLatin1());
        qint64 t = -1;
        ASSERT_TRUE(ParseRfc822Date(u"Sat, 07 Sep 2002 12:00:00 "_s + letters[i], t));
        EXPECT_EQ(t, Utc(2002, 9, 7, 12) - hours[i] * 3600);
    }
    qint64 t = -1;
    EXPECT_FALSE(ParseRfc822Date(u"Sat, 07 Sep 2002 12:00:00 J"_s, t));
}

TEST(DateHelpersRfc822, MalformedDatesFail)
{
    const char* texts[] = {
        "Sat, 07 Sep 2002 09:42:31",  // no zone
        "07 Sept 2002 09:42:31 GMT",  // four-letter month
        "07 Sep 1969 09:42:31 GMT",   // four-digit years below 1970
        "07 Sep 0100 09:42:31 GMT",   //
        "07 Sep 002 09:42:31 GMT",    // three-digit year
        "07 Set 2002 09:42:31 GMT",   // unknown month
        "32 Sep 2002 09:42:31 GMT",   // day out of range
        "00 Sep 2002 09:42:31 GMT",   //
        "007 Sep 2002 09:42:31 GMT",  // day of three characters
        "07 Sep 2002 09.42.31 GMT",   // no colons
        "07 Sep 2002 09:42:3 GMT",    // seven-character time
        "07 Sep 2002 09:42:31 *0200", // five characters without a sign
        "07 Sep 2002 09:42:31 CEST",  // unknown zone name
        "7 Sep 02 9:42 Z",            // shorter than 16 characters
        "",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        qint64 t = 42;
        EXPECT_FALSE(ParseRfc822Date(QString::fromLatin1(text), t));
    }
}

TEST(DateHelpersIso8601, MalformedDatesFail)
{
    for (const char* text : {"2004-06-11T15:20", "2004/06/11T15:20:00Z", "2004-06-11 15:20:00Z",
                             "2004-06-11T15-20:00Z", "20040611T152000Z"}) {
        SCOPED_TRACE(text);
        qint64 t = 42;
        EXPECT_FALSE(ParseIso8601Date(QString::fromLatin1(text), t));
    }
}

TEST(DateHelpersRange, WellFormedDatesOutsideTheRangeThrow)
{
    qint64 t = 0;
    EXPECT_THROW(ParseRfc822Date(u"01 Jan 3001 00:00:00 GMT"_s, t), CDateRangeError);
    EXPECT_THROW(ParseRfc822Date(u"01 Jan 1970 00:30:00 +0100"_s, t), CDateRangeError);
    EXPECT_THROW(ParseIso8601Date(u"1969-12-31T23:59:59Z"_s, t), CDateRangeError);
    EXPECT_THROW(ParseIso8601Date(u"3001-01-01T00:00:00Z"_s, t), CDateRangeError);
    EXPECT_THROW(ParseIso8601Date(u"abcd-ef-ghTij:klZ"_s, t), CDateRangeError);
}

TEST(DateHelpersFormat, WritesTwoDigitDaysEnglishMonthsAndGmtWithinTheParsersRange)
{
    EXPECT_EQ(FormatGmtDate(Utc(2005, 6, 5, 14, 5, 9)), u"05 Jun 2005 14:05:09 GMT"_s);
    EXPECT_EQ(FormatGmtDate(0), u"01 Jan 1970 00:00:00 GMT"_s);
    EXPECT_EQ(FormatGmtDate(-1), QString());
    EXPECT_EQ(FormatGmtDate(Utc(3000, 12, 31, 23, 59, 59) + 1), QString());
}

} // namespace
