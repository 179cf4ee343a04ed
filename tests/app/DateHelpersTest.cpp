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
        {"Thu, 01 Jan 2004 19:48:21 UTC", Utc(2004, 1, 1, 19, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21 +01:00", Utc(2004, 1, 1, 18, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21 -08:00", Utc(2004, 1, 2, 3, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21 GMT+01:00", Utc(2004, 1, 1, 18, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21+0100", Utc(2004, 1, 1, 18, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21 +0000 (GMT)", Utc(2004, 1, 1, 19, 48, 21)},
        {"Thu, 01 Jan 2004 19:48:21", Utc(2004, 1, 1, 19, 48, 21)}, // no zone: UTC
        {"Thu, 1 Jan 2004 19:48 CST", Utc(2004, 1, 2, 1, 48)},
        {"01 Jan 2004 19:48:21 MDT", Utc(2004, 1, 2, 1, 48, 21)},
        {"Thu,01 Jan 2004 19:48:21 GMT", Utc(2004, 1, 1, 19, 48, 21)},
        {"Thursday, 01-Jan-04 19:48:21 GMT", Utc(2004, 1, 1, 19, 48, 21)},
        {"Thu, 01 Jan 2004", Utc(2004, 1, 1)},
        {"1 Jan 04", Utc(2004, 1, 1)},
        {"Sun, 29 Feb 2004 12:00:00 GMT", Utc(2004, 2, 29, 12)},
        {"Wed, 31 Dec 2003 23:59:60 GMT", Utc(2003, 12, 31, 23, 59, 59)}, // leap second
        {"01 Jan 49 00:00:00 GMT", Utc(2049, 1, 1)},
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

TEST_P(DateHelpersInZone, Iso8601DatesApplyTheirOffset)
{
    const DateCase cases[] = {
        {"2004-06-11T15:20:00Z", Utc(2004, 6, 11, 15, 20)},
        {"2004-06-11T15:20Z", Utc(2004, 6, 11, 15, 20)},
        {"2004-06-11T15:20", Utc(2004, 6, 11, 15, 20)},
        {"2004-06-11T15Z", Utc(2004, 6, 11, 15)},
        {"2004-06-11T15:20:00+05:00", Utc(2004, 6, 11, 10, 20)},
        {" 2004-01-11T15:20:45.123-08:00 ", Utc(2004, 1, 11, 23, 20, 45)},
        {"2003-12-31T22:14:55-0800", Utc(2004, 1, 1, 6, 14, 55)},
        {"2003-12-31T10:14:55+01", Utc(2003, 12, 31, 9, 14, 55)},
        {"2003-12-31t10:14:55,5z", Utc(2003, 12, 31, 10, 14, 55)},
        {"2003-12-31 10:14:55", Utc(2003, 12, 31, 10, 14, 55)},
        {"2003-12-31", Utc(2003, 12, 31)},
        {"2003-12", Utc(2003, 12, 1)},
        {"2003", Utc(2003, 1, 1)},
        {"20031231", Utc(2003, 12, 31)},
        {"20031231T101455Z", Utc(2003, 12, 31, 10, 14, 55)},
        {"2003-335", Utc(2003, 12, 1)},
        {"2004-W01-1", Utc(2003, 12, 29)},
        {"2009-W53-7", Utc(2010, 1, 3)},
        {"2004-02-29T00:00:00Z", Utc(2004, 2, 29)},
        {"2004-06-11T24:00:00Z", Utc(2004, 6, 12)},
        {"2003-12-31T23:59:60Z", Utc(2003, 12, 31, 23, 59, 59)},
        {"3000-12-31T23:59:59Z", Utc(3000, 12, 31, 23, 59, 59)},
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

// RFC 822 gave these the wrong signs and feeds use them either way; RFC 2822 says to take
// them as UTC.
TEST(DateHelpersRfc822, MilitaryZoneLettersAreTakenAsUtc)
{
    const QString letters = u"ABCDEFGHIKLMNOPQRSTUVWXYZ"_s;
    for (const QChar letter : letters) {
        SCOPED_TRACE(letter.toLatin1());
        qint64 t = -1;
        ASSERT_TRUE(ParseRfc822Date(u"Sat, 07 Sep 2002 12:00:00 "_s + letter, t));
        EXPECT_EQ(t, Utc(2002, 9, 7, 12));
    }
    qint64 t = -1;
    EXPECT_FALSE(ParseRfc822Date(u"Sat, 07 Sep 2002 12:00:00 J"_s, t));
}

TEST(DateHelpersRfc822, MalformedDatesAndImpossibleFieldsFail)
{
    const char* texts[] = {
        "07 Sept 2002 09:42:31 GMT",      // four-letter month
        "07 Sep 002 09:42:31 GMT",        // three-digit year
        "07 Set 2002 09:42:31 GMT",       // unknown month
        "32 Sep 2002 09:42:31 GMT",       // day out of range
        "00 Sep 2002 09:42:31 GMT",       //
        "31 Apr 2005 10:00:00 GMT",       // no 31 April
        "30 Feb 2004 10:00:00 GMT",       //
        "29 Feb 2003 10:00:00 GMT",       // not a leap year
        "007 Sep 2002 09:42:31 GMT",      // day of three characters
        "07 Sep 2002 09.42.31 GMT",       // no colons
        "07 Sep 2002 09:42:3 GMT",        // one-digit second
        "7 Sep 02 9:42 Z",                // one-digit hour
        "01 Jan 2005 24:00:00 GMT",       // hour out of range
        "01 Jan 2005 12:60:00 GMT",       // minute out of range
        "01 Jan 2005 12:00:61 GMT",       // second out of range
        "07 Sep 2002 09:42:31 *0200",     // five characters without a sign
        "07 Sep 2002 09:42:31 +2500",     // offset out of range
        "07 Sep 2002 09:42:31 +0160",     //
        "07 Sep 2002 09:42:31 CEST",      // unknown zone name
        "07 Sep 2002 09:42:31 GMT later", // words after the zone
        "Thu, 01 Jan 2004 GMT",           // a zone without a time
        "Thu, 01 Jan 2004 19:48:21 (GMT", // unclosed comment
        "Thu, 01 Jan",
        "",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        qint64 t = 42;
        EXPECT_FALSE(ParseRfc822Date(QString::fromLatin1(text), t));
        EXPECT_EQ(t, 42);
    }
}

TEST(DateHelpersIso8601, MalformedDatesAndImpossibleFieldsFail)
{
    for (const char* text : {"2004/06/11T15:20:00Z",
                             "2004-06-11T15-20:00Z",
                             "2004-13-01T00:00:00Z",
                             "2004-02-30T00:00:00Z",
                             "2004-00-10T00:00:00Z",
                             "2004-03-00T12:00:00Z",
                             "2003-02-29",
                             "2004-06-11T25:00Z",
                             "2004-06-11T12:60Z",
                             "2004-06-11T24:30Z",
                             "2004-06-11T12:00:00+25:00",
                             "2004-06-11T12:00:00 garbage",
                             "2004-06-11T15:20:00.Z",
                             "2003-06T10:00",
                             "2003-366",
                             "2004-W54",
                             "2003-W53-1",
                             "2004-6-11",
                             "abcd-ef-ghTij:klZ",
                             "T10:00",
                             ""}) {
        SCOPED_TRACE(text);
        qint64 t = 42;
        EXPECT_FALSE(ParseIso8601Date(QString::fromLatin1(text), t));
        EXPECT_EQ(t, 42);
    }
}

// A date beyond what channel files may hold is refused, never raised: one such item once
// cost every item after it.
TEST(DateHelpersRange, WellFormedDatesOutsideTheRangeAreRefusedWithoutThrowing)
{
    for (const char* text :
         {"Fri, 31 Dec 9999 23:59:59 GMT", "01 Jan 3001 00:00:00 GMT", "31 Dec 3000 23:59:59 -0100",
          "01 Jan 1970 00:30:00 +0100", "07 Sep 1969 09:42:31 GMT", "07 Sep 0100 09:42:31 GMT",
          "01 Jan 69 00:00:00 GMT", "9999-12-31T23:59:59Z", "3001-01-01T00:00:00Z",
          "1969-12-31T23:59:59Z", "1970-01-01T00:30:00+01:00"}) {
        SCOPED_TRACE(text);
        qint64 t = 42;
        DateReading reading = DateReading::Read;
        ASSERT_NO_THROW(reading = ReadFeedDate(QString::fromLatin1(text), FeedDateForm::Rfc822, t));
        EXPECT_EQ(reading, DateReading::OutOfRange);
        EXPECT_NO_THROW(ParseRfc822Date(QString::fromLatin1(text), t));
        EXPECT_NO_THROW(ParseIso8601Date(QString::fromLatin1(text), t));
        EXPECT_EQ(t, 42);
    }
}

TEST(DateHelpersFeedDate, EitherFormIsReadWhicheverComesFirst)
{
    qint64 t = 0;
    FeedDateForm form = FeedDateForm::Rfc822;
    EXPECT_EQ(ReadFeedDate(u"2003-12-31T10:14:55-08:00"_s, FeedDateForm::Rfc822, t, &form),
              DateReading::Read);
    EXPECT_EQ(form, FeedDateForm::Iso8601);
    EXPECT_EQ(t, Utc(2003, 12, 31, 18, 14, 55));
    EXPECT_EQ(ReadFeedDate(u"Wed, 31 Dec 2003 10:14:55 PST"_s, FeedDateForm::Iso8601, t, &form),
              DateReading::Read);
    EXPECT_EQ(form, FeedDateForm::Rfc822);
    EXPECT_EQ(t, Utc(2003, 12, 31, 18, 14, 55));
    EXPECT_EQ(ReadFeedDate(u"yesterday"_s, FeedDateForm::Iso8601, t), DateReading::Malformed);
}

TEST(DateHelpersFormat, WritesTwoDigitDaysEnglishMonthsAndGmtWithinTheParsersRange)
{
    EXPECT_EQ(FormatGmtDate(Utc(2005, 6, 5, 14, 5, 9)), u"05 Jun 2005 14:05:09 GMT"_s);
    EXPECT_EQ(FormatGmtDate(0), u"01 Jan 1970 00:00:00 GMT"_s);
    EXPECT_EQ(FormatGmtDate(-1), QString());
    EXPECT_EQ(FormatGmtDate(Utc(3000, 12, 31, 23, 59, 59) + 1), QString());
}

} // namespace
