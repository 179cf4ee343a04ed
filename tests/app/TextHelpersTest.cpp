#include "TextHelpers.h"
#include "TestSupport.h"

#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString Cleaned(QString text)
{
    CleanText(text);
    return text;
}

struct CleanCase
{
    QString in;
    QString out;
};

void PrintTo(const CleanCase& c, std::ostream* os)
{
    PrintTo(c.in, os);
}

class TextHelpersClean : public ::testing::TestWithParam<CleanCase>
{
};

TEST_P(TextHelpersClean, GivesPlainOneLineText)
{
    EXPECT_EQ(Cleaned(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(TextHelpers, TextHelpersClean,
                         ::testing::Values(
                             // tags
                             CleanCase{u"Hello <b>world</b>  &#169;"_s, u"Hello world \u00A9"_s},
                             CleanCase{u"x<a href='y'>z</a>"_s, u"x z "_s},
                             CleanCase{u"a<b"_s, u"a<b"_s}, CleanCase{u"a>b<c"_s, u"a>b<c"_s},
                             CleanCase{u"<<b>>"_s, u" >"_s},
                             CleanCase{u"1 <2> 3 < 4"_s, u"1 3 < 4"_s},
                             // unprintable characters and blank runs
                             CleanCase{u"a\tb\r\nc"_s, u"a b c"_s}, CleanCase{u"   a"_s, u" a"_s},
                             CleanCase{u"a \u0085\u200B\u0001b"_s, u"a b"_s},
                             CleanCase{u"a   "_s, u"a   "_s}, CleanCase{u"a\r\n\t"_s, u"a   "_s},
                             CleanCase{u"caf\u00E9\u00A0\u00A0ok"_s, u"caf\u00E9\u00A0\u00A0ok"_s},
                             CleanCase{u"smile \U0001F600!"_s, u"smile \U0001F600!"_s},
                             CleanCase{u"a"_s + QChar(0xD800) + u'b', u"a b"_s},
                             // character references
                             CleanCase{u"&#65;&#66;"_s, u"AB"_s}, CleanCase{u"&#0;"_s, u"&#0;"_s},
                             CleanCase{u"&#65536;&#65601;"_s, u"&#65536;A"_s},
                             CleanCase{u"&#65 &#x41; &amp; &#;"_s, u"&#65 &#x41; &amp; &#;"_s},
                             CleanCase{u"&#&#66;"_s, u"&#B"_s},
                             CleanCase{u"a&#32;&#32;b&#10;"_s, u"a  b\n"_s}));

// Stored items get their identity from this text again at every start: what counts as
// printable must not follow the C library's locale.
TEST(TextHelpersCleanText, GivesTheSameResultInEveryLocale)
{
    const QString text = u"<p>Gr\u00FC\u00DFe\t\u00A0\u2028 \u00AD\u0301x &#1071;</p>"_s;
    const char* const oldLocale = std::setlocale(LC_ALL, nullptr);
    const std::string saved = oldLocale ? oldLocale : "C";
    for (const char* locale : {"C", "C.UTF-8", "POSIX"}) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(Cleaned(text), u" Gr\u00FC\u00DFe \u00A0\u2028 \u0301x \u042F "_s) << locale;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(TextHelpersCleanText, HandlesMegabytesOfMarkup)
{
    const QString piece = u"<p class='x'>word</p>\t\r\n  &#65; "_s;
    QString text = piece.repeated(200000);
    CleanText(text);
    EXPECT_EQ(text, u" word A"_s.repeated(200000) + u' ');
}

TEST(TextHelpersFeedUrl, AcceptsTheFirstWordOfAnHttpOrFeedAddress)
{
    const struct
    {
        QString in;
        QString out;
    } cases[] = {
        {u"   feed://example.com/rss.xml and more words"_s, u"http://example.com/rss.xml"_s},
        {u"HTTP://Example.com/Feed"_s, u"HTTP://Example.com/Feed"_s},
        {u"https://example.com/a?b=c\r\nsecond line"_s, u"https://example.com/a?b=c"_s},
        {u"\tFeed:example.com/x\tz"_s, u"http:example.com/x"_s},
        {u"feed:https://example.com/x"_s, u"https://example.com/x"_s},
    };
    for (const auto& c : cases) {
        QString url;
        EXPECT_TRUE(NormalizeFeedUrl(c.in, url)) << c.in.toStdString();
        EXPECT_EQ(url, c.out);
    }
}

TEST(TextHelpersFeedUrl, RejectsOtherSchemesAndTextWithoutColon)
{
    for (const QString& text : {u"ftp://example.com/rss"_s, u"example.com/rss.xml"_s,
                                u"no colon: here"_s, u"  \r\n"_s, QString()}) {
        QString url = u"unchanged"_s;
        EXPECT_FALSE(NormalizeFeedUrl(text, url)) << text.toStdString();
    }
}

TEST(TextHelpersHexDigest, WritesTwoUpperCaseDigitsPerByte)
{
    EXPECT_EQ(HexDigest(QByteArray::fromHex("00ff7f10abcdef0123456789a5b6c7d8")),
              u"00FF7F10ABCDEF0123456789A5B6C7D8"_s);
    EXPECT_EQ(HexDigest(QByteArray()), QString());
}

TEST(TextHelpersFormatSize, SwitchesUnitsAtTheBoundaries)
{
    // A default locale with a decimal comma must not change the text.
    const QLocale oldDefault;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatSize(0), u"0 bytes"_s);
    EXPECT_EQ(FormatSize(1023), u"1023 bytes"_s);
    EXPECT_EQ(FormatSize(1024), u"1.0 KB"_s);
    EXPECT_EQ(FormatSize(1536), u"1.5 KB"_s);
    EXPECT_EQ(FormatSize(1048575), u"1024.0 KB"_s);
    EXPECT_EQ(FormatSize(1048576), u"1.0 MB"_s);
    EXPECT_EQ(FormatSize(5368709120), u"5120.0 MB"_s);
    QLocale::setDefault(oldDefault);
}

} // namespace
