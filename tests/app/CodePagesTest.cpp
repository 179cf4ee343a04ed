#include "CodePages.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace {

struct CharsetCase
{
    const char* contentType;
    int codePage;
};

void PrintTo(const CharsetCase& c, std::ostream* os)
{
    *os << '"' << c.contentType << '"';
}

class CodePagesCharset : public ::testing::TestWithParam<CharsetCase>
{
};

TEST_P(CodePagesCharset, MapsTheContentTypeToItsCodePage)
{
    EXPECT_EQ(CharsetToCodePage(QString::fromLatin1(GetParam().contentType)), GetParam().codePage);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CodePagesCharset,
    ::testing::Values(CharsetCase{"text/html; charset=UTF-8", 65001},
                      CharsetCase{"text/html", 28591}, CharsetCase{"", 28591},
                      CharsetCase{"text/html; charset=latin-1", 1252},
                      CharsetCase{"text/html; charset=\"utf-8\"", 1252},
                      CharsetCase{"text/html; charset= utf-8", 1252},
                      CharsetCase{"text/html; charset=", 1252},
                      CharsetCase{"text/html; charset=Shift_JIS; x=y", 932},
                      CharsetCase{"text/html; charset=iso-2022-jp", 50222},
                      CharsetCase{"text/html; charset=csISO2022JP", 50221},
                      CharsetCase{"text/html;charset=x-ebcdic-finlandsweden-euro", 1143},
                      CharsetCase{"text/html; charset=ISO-8859-8-I", 38598},
                      CharsetCase{"text/html; charset=windows-1251", 1251},
                      CharsetCase{"text/html; charset=unicodeFFFE", 1201},
                      CharsetCase{"text/html; charset=macintosh", 10000}));

QByteArray NoiseBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 12345;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = char(state >> 24);
    }
    return bytes;
}

// Catches misspelt encoding names and decoders that stop, loop or crash on garbage.
TEST(CodePagesIconv, EveryMappedNameOpensAndSurvivesRandomBytes)
{
    const QByteArray noise = NoiseBytes(4096);
    int mapped = 0;
    for (int codePage = 0; codePage <= 65535; ++codePage) {
        const char* name = CodePageToIconvName(codePage);
        if (name == nullptr)
            continue;
        ++mapped;
        iconv_t cd = iconv_open("UTF-8", name);
        ASSERT_NE(cd, iconv_t(-1)) << codePage << " " << name;
        iconv_close(cd);
        QString text;
        ASSERT_TRUE(DecodeCodePage(noise, codePage, text)) << codePage;
        EXPECT_FALSE(text.isEmpty()) << codePage;
    }
    EXPECT_GT(mapped, 90);
}

struct DecodeCase
{
    int codePage;
    QByteArray bytes;
    QString text;
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.codePage << ' ';
    PrintTo(c.bytes, os);
}

class CodePagesDecode : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(CodePagesDecode, GivesTheText)
{
    QString text = u"old"_s;
    ASSERT_TRUE(DecodeCodePage(GetParam().bytes, GetParam().codePage, text));
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CodePagesDecode,
    ::testing::Values(DecodeCase{65001,
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e \xE6\x97\xA5",
                                 u"Gr\u00FC\u00DFe \u65E5"_s},
                      DecodeCase{28591, "\xE9t\xE9 \xA0", u"\u00E9t\u00E9 \u00A0"_s},
                      DecodeCase{1252, "\x80 \x93q\x94", u"\u20AC \u201Cq\u201D"_s},
                      DecodeCase{1251, "\xCF\xF0\xE8\xE2\xE5\xF2",
                                 u"\u041F\u0440\u0438\u0432\u0435\u0442"_s},
                      DecodeCase{932, "\x93\xFA\x96\x7B", u"\u65E5\u672C"_s},
                      DecodeCase{50222, "\x1B$B$3$s\x1B(Bx", u"\u3053\u3093x"_s},
                      DecodeCase{1200, QByteArray("A\0\x42\x30", 4), u"A\u3042"_s},
                      DecodeCase{1201, QByteArray("\0A\x30\x42", 4), u"A\u3042"_s},
                      DecodeCase{37, "\xC8\x85\x93\x93\x96", u"Hello"_s},
                      DecodeCase{28591, "", QString()},
                      // pages that glibc has under another name, or after unwrapping
                      DecodeCase{10007, "\x80\x81\xDF", u"\u0410\u0411\u044F"_s},
                      DecodeCase{20000, "\xC4\xE3\xC5\xC6", u"\u4E2D\u6587"_s},
                      DecodeCase{20838, "\x42\x43", u"\u0E01\u0E02"_s},
                      DecodeCase{20833, "\xC8\x85\x93\x93\x96\x43", u"Hello\uFFA1"_s},
                      DecodeCase{50931, "\xC1\x0E\x45\x62\x45\x66\x0F\x81",
                                 u"A\u65E5\u672Ca"_s},
                      DecodeCase{52936, "GB~{<:Ky2;S{#,~}~~x~\ny",
                                 u"GB\u5DF1\u6240\u4E0D\u6B32\uFF0C~xy"_s},
                      // invalid and cut-off sequences
                      DecodeCase{65001,
                                 "a\xFF"
                                 "b",
                                 u"a\uFFFDb"_s},
                      DecodeCase{20127,
                                 "a\xC0"
                                 "b",
                                 u"a\uFFFDb"_s},
                      DecodeCase{1252,
                                 "a\x81"
                                 "b",
                                 u"a\uFFFDb"_s},
                      DecodeCase{932, "a\x93", u"a\uFFFD"_s},
                      DecodeCase{1200, QByteArray("A\0\0\xD8", 4), u"A\uFFFD"_s}));

// A page of the table that no converter here can read is still read, as ISO-8859-1, and the
// log says so; any other page is read by its converter, without that line.
TEST(CodePagesDecodeUnknown, TablePagesWithoutConverterReadAsLatin1WithALogLine)
{
    const std::set<int> expectedFallbacks = {720,   10004, 10005, 10006, 10081, 20105,
                                             29001, 57002, 57003, 57004, 57005, 57006,
                                             57007, 57008, 57009, 57010, 57011};
    const QByteArray noise = NoiseBytes(256);
    ScopedLog log;
    std::set<int> fellBack;
    const std::vector<int> pages = CharsetTableCodePages();
    EXPECT_EQ(pages.size(), 117u);
    for (int codePage : pages) {
        QString text;
        ASSERT_TRUE(DecodeCodePage(noise, codePage, text)) << codePage;
        const QString line =
            u"No converter for code page %1: reading the page as ISO-8859-1"_s.arg(codePage);
        if (log.Contains(line)) {
            fellBack.insert(codePage);
            EXPECT_EQ(text, QString::fromLatin1(noise)) << codePage;
        }
    }
    EXPECT_EQ(fellBack, expectedFallbacks);

    for (int codePage : {12345, -1}) {
        QString text = u"old"_s;
        EXPECT_FALSE(DecodeCodePage("abc", codePage, text)) << codePage;
        EXPECT_EQ(text, u"old"_s);
    }
}

} // namespace

// A page whose HTTP header names no charset is read by what the page itself declares: the
// XML declaration, or a meta tag of either form; the header still wins when it names one.
TEST(CodePagesBody, PageWithoutHeaderCharsetIsReadByItsOwnDeclaration)
{
    const QByteArray title = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x6A\x83\x85\x81\x5B\x83\x58";
    const QByteArray metaPage = "<html><head><META http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=Shift_JIS\"><title>" +
                                title + "</title></head></html>";
    const int codePage = BodyCodePage(u"text/html"_s, metaPage);
    EXPECT_EQ(codePage, 932);
    QString text;
    ASSERT_TRUE(DecodeCodePage(metaPage, codePage, text));
    EXPECT_TRUE(text.contains(u"<title>\u65E5\u672C\u8A9E\u306E\u30CB\u30E5\u30FC\u30B9</title>"_s))
        << text.toStdString();

    EXPECT_EQ(BodyCodePage(u"text/html"_s, "<meta charset='shift_jis'><p>" + title), 932);
    EXPECT_EQ(BodyCodePage({}, "<?xml version='1.0' encoding='windows-1251'?><rss/>"), 1251);
    EXPECT_EQ(BodyCodePage(u"text/html; charset=utf-8"_s, metaPage), 65001);
    EXPECT_EQ(BodyCodePage(u"text/html"_s, "<meta charset='no-such-set'>"), 28591);
    EXPECT_EQ(BodyCodePage(u"text/html"_s, QByteArray(5000, ' ') + "<meta charset='big5'>"), 28591);
}
