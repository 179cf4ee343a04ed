// Turning cached pages into text: the character set step, and the real extraction script.
#include "ArticleCache.h"
#include "CVoiceConverter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Prints the code points that the script received, in hexadecimal.
const QByteArray kCodePointScript =
    "$output_stream = join ' ', map { sprintf '%X', ord } split //, $input_stream;";

QString ProgramFolder()
{
    return BinDir() + u'/';
}

class ConverterTest : public ::testing::Test
{
protected:
    QString Page(const QString& contentType, const QByteArray& body)
    {
        EXPECT_TRUE(WriteArticleCacheFile(path, contentType, u"en"_s, body));
        return path;
    }
    // The code points the script saw, or the failure's log lines.
    QString CodePoints(const QString& contentType, const QByteArray& body)
    {
        converter.SetScriptText(kCodePointScript);
        QString text;
        if (!converter.PageToText(Page(contentType, body), text))
            return u"failed: "_s + log.Lines().mid(1).join(u'|');
        return text;
    }

    ScopedLog log;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.html"_s);
    CVoiceConverter converter{ProgramFolder()};
};

} // namespace

TEST_F(ConverterTest, WithoutACharsetThePageIsIso88591)
{
    // 0x80 is a C1 control in ISO-8859-1, the euro sign in windows-1252.
    EXPECT_EQ(CodePoints(u"text/html"_s, "caf\xE9 \x80"), u"63 61 66 E9 20 80"_s);
    EXPECT_EQ(CodePoints(QString(), "\xFF"), u"FF"_s);
}

TEST_F(ConverterTest, Windows1251AndShiftJisPagesAreDecoded)
{
    EXPECT_EQ(CodePoints(u"text/html; charset=Windows-1251"_s, "\xCF\xF0\xE8\xE2\xE5\xF2"),
              u"41F 440 438 432 435 442"_s);
    EXPECT_EQ(CodePoints(u"text/html; charset=shift_jis"_s, "\x93\xFA\x96\x7B\x8C\xEA"),
              u"65E5 672C 8A9E"_s);
}

TEST_F(ConverterTest, Utf8IsPassedOnByteForByte)
{
    EXPECT_EQ(CodePoints(u"text/html; charset=utf-8"_s, "\xE2\x82\xAC\xF0\x9F\x93\xB0"),
              u"20AC 1F4F0"_s);
}

TEST_F(ConverterTest, AnEmptyUtf8PageStillReachesTheScript)
{
    converter.SetScriptText("$output_stream = 'length ' . length($input_stream);");
    QString text;
    ASSERT_TRUE(converter.PageToText(Page(u"text/html; charset=utf-8"_s, {}), text));
    EXPECT_EQ(text, u"length 0"_s);

    // Whatever the script says of it.
    converter.SetScriptText("$output_stream = $input_stream;");
    EXPECT_FALSE(converter.PageToText(path, text));
    EXPECT_TRUE(log.Contains(u"*ITEM: empty text: '%1'"_s.arg(path)));
}

TEST_F(ConverterTest, AUtf16PageIsHalfItsBytesInCodeUnits)
{
    EXPECT_EQ(CodePoints(u"text/html; charset=unicode"_s, QByteArray("h\0e\0l\0l\0o\0", 10)),
              u"68 65 6C 6C 6F"_s);
    // An odd last byte is not a code unit.
    EXPECT_EQ(CodePoints(u"text/html; charset=unicode"_s, QByteArray("\xAC\x20!", 3)), u"20AC"_s);
}

TEST_F(ConverterTest, PagesThatDecodeToNothingFail)
{
    EXPECT_EQ(CodePoints(u"text/html; charset=unicode"_s, "x"),
              u"failed: *ITEM: Cannot convert to UTF16-8: '%1'"_s.arg(path));
    EXPECT_EQ(
        CodePoints(u"text/html"_s, {}),
        u"failed: *ITEM: Cannot convert to UTF16-8: '%1'|*ITEM: Cannot convert to UTF16: '%1'"_s
            .arg(path));
    EXPECT_EQ(converter.ConversionCount(), 0);
}

TEST_F(ConverterTest, ABrokenCacheFileEndsTheConversion)
{
    ASSERT_TRUE(WriteFile(dir.filePath(u"cut.html"_s), QByteArray("\x10\0\0\0t\0", 6)));
    converter.SetScriptText(kCodePointScript);
    QString text;
    EXPECT_FALSE(converter.PageToText(dir.filePath(u"cut.html"_s), text));
    EXPECT_EQ(log.Lines().mid(1), QStringList{u"*ITEM: Cannot read encoding 2: '%1'"_s.arg(
                                      dir.filePath(u"cut.html"_s))});
    EXPECT_EQ(converter.InterpreterGeneration(), 0);
}

TEST(EmbeddedScript, TurnsAnArticlePageIntoItsText)
{
    ScopedLog log;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.html"_s);
    const QByteArray page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Bridge reopens</title>"
        "<style>p { color: #123456 }</style>"
        "<script>var tracker = 'trackingPixelLoaded';</script></head><body>"
        "<nav><a href=\"/\">Home</a> <a href=\"/sport\">Sport</a></nav>"
        "<article><h1>Old bridge reopens after repairs</h1>"
        "<p>The old stone bridge over the river reopened on Monday after eighteen months of "
        "repairs, the town council said in a statement.</p>"
        "<p>Engineers replaced the worn arches and strengthened the foundations, so that "
        "buses can cross it again for the first time since the floods.</p>"
        "<p>Residents gathered on both banks to watch the first bus drive across, and the "
        "mayor thanked the workers for finishing \xE2\x80\x9C"
        "ahead of time\xE2\x80\x9D.</p>"
        "</article><footer>Copyright the Town Courier</footer></body></html>";
    ASSERT_TRUE(WriteArticleCacheFile(path, u"text/html; charset=utf-8"_s, {}, page));

    CVoiceConverter converter(ProgramFolder());
    ASSERT_TRUE(converter.LoadScript());
    QString text;
    ASSERT_TRUE(converter.PageToText(path, text)) << log.Lines().join(u'\n').toStdString();
    EXPECT_TRUE(text.contains(u"reopened on Monday after eighteen months of repairs"_s))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"strengthened the foundations"_s));
    EXPECT_TRUE(text.contains(u"\u201Cahead of time\u201D"_s));
    EXPECT_FALSE(text.contains(u"trackingPixelLoaded"_s));
    EXPECT_FALSE(text.contains(u"#123456"_s));
}
