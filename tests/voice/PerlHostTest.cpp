// The embedded interpreter, and the converter's use of it across pages.
#include "ArticleCache.h"
#include "CPerlWrap.h"
#include "CVoiceConverter.h"
#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray Result(CPerlWrap& perl, const QByteArray& code)
{
    EXPECT_TRUE(perl.Eval(code)) << perl.GetLastError().constData();
    return perl.LastResultString();
}

} // namespace

TEST(PerlHost, EvalReturnsTheValueAndAnEmptyError)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.IsValid());
    EXPECT_TRUE(perl.Eval("my @a = (1, 2, 3); scalar(@a) * 7"));
    EXPECT_EQ(perl.LastResultNumber(), 21.0);
    EXPECT_TRUE(perl.GetLastError().isEmpty());
}

TEST(PerlHost, ADyingScriptFailsWithItsMessageAndTheNextEvalSucceeds)
{
    CPerlWrap perl;
    EXPECT_FALSE(perl.Eval("$before = 1; die qq{no article here\\n}; $after = 1;"));
    EXPECT_EQ(perl.GetLastError(), "no article here\n");

    EXPECT_TRUE(perl.Eval("$before + 1"));
    EXPECT_TRUE(perl.GetLastError().isEmpty());
    EXPECT_EQ(perl.LastResultString(), "2");
    QByteArray after;
    EXPECT_FALSE(perl.GetString("after", after) && !after.isEmpty());
}

TEST(PerlHost, Utf8InputReachesTheScriptAsCharacters)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.SetStringUtf8("input_stream", "\xE2\x82\xAC\xC3\xA9x")); // "€éx"
    EXPECT_EQ(Result(perl, "length($input_stream)"), "3");
    EXPECT_EQ(Result(perl, "sprintf '%X', ord($input_stream)"), "20AC");
    EXPECT_EQ(Result(perl, "$input_stream =~ /^\\x{20AC}\\x{E9}x$/ ? 1 : 0"), "1");
}

TEST(PerlHost, Utf8InputStopsAtTheFirstZeroByte)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.SetStringUtf8("input_stream", QByteArray("ab\0cd", 5)));
    EXPECT_EQ(Result(perl, "length($input_stream)"), "2");
}

TEST(PerlHost, InvalidUtf8InputBecomesReplacementCharacters)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.SetStringUtf8("input_stream", "\xFF\xE2\x82\xACz"));
    EXPECT_EQ(Result(perl, "join ' ', map { sprintf '%X', ord } split //, $input_stream"),
              "FFFD 20AC 7A");
}

TEST(PerlHost, GetStringFailsForAMissingScalarAndGivesCharactersAsUtf8)
{
    CPerlWrap perl;
    QByteArray value = "untouched";
    EXPECT_FALSE(perl.GetString("output_stream", value));
    EXPECT_EQ(value, "untouched");

    ASSERT_TRUE(perl.Eval("$output_stream = qq{\\x{20AC} 5}; 1"));
    ASSERT_TRUE(perl.GetString("output_stream", value));
    EXPECT_EQ(value, "\xE2\x82\xAC 5");
}

TEST(PerlHost, NamesWithoutAPackageAreThoseOfMain)
{
    CPerlWrap perl;
    ASSERT_TRUE(
        perl.Eval("package Other; $main::output_stream = 'main'; $output_stream = 'other';"));
    QByteArray value;
    ASSERT_TRUE(perl.GetString("output_stream", value));
    EXPECT_EQ(value, "main");
    ASSERT_TRUE(perl.GetString("Other::output_stream", value));
    EXPECT_EQ(value, "other");
}

TEST(PerlHost, SetArrayReplacesTheWholeArray)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.SetArray("list", {"a", "b", "c"}));
    ASSERT_TRUE(perl.SetArray("list", {"x", QByteArray("y\0z", 3)}));
    EXPECT_EQ(Result(perl, "scalar(@list) . ':' . length($list[1])"), "2:3");
    QList<QByteArray> values;
    ASSERT_TRUE(perl.GetArray("list", values));
    EXPECT_EQ(values, (QList<QByteArray>{"x", QByteArray("y\0z", 3)}));
}

TEST(PerlHost, ModulesAreFoundInTheFolderGivenAsInc)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath(u"Calvoria/Probe.pm"_s),
                          "package Calvoria::Probe;\nsub Answer { 42 }\n1;\n"));
    CPerlWrap perl;
    ASSERT_TRUE(perl.SetArray("INC", {QFile::encodeName(dir.path() + u'/')}));
    EXPECT_EQ(Result(perl, "use Calvoria::Probe; Calvoria::Probe::Answer()"), "42");
    // Nothing else is searched.
    EXPECT_FALSE(perl.Eval("require Data::Dumper; 1"));
}

TEST(PerlHost, CompiledExtensionsLoadThroughDynaLoader)
{
    CPerlWrap perl;
    EXPECT_EQ(Result(perl, "require List::Util; List::Util::sum(1, 2, 3)"), "6");
}

TEST(PerlHost, WarningsAreCollectedAndClearedNotPrinted)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.Eval("use warnings; my $x; my $y = $x + 1; 1"));
    EXPECT_TRUE(perl.Warnings().contains("uninitialized"));
    perl.ClearWarnings();
    EXPECT_TRUE(perl.Warnings().isEmpty());

    ASSERT_TRUE(perl.Eval("warn qq{first\\n}; 1"));
    ASSERT_TRUE(perl.Eval("warn qq{second\\n}; 1"));
    EXPECT_EQ(perl.Warnings(), "second\n"); // each evaluation starts with none
}

TEST(PerlHost, AnInterpreterServesAnotherThreadThanTheOneThatBuiltIt)
{
    CPerlWrap perl;
    ASSERT_TRUE(perl.Eval("our %seen; $seen{build} = 1; 1"));
    QByteArray value;
    for (int run = 1; run <= 2; ++run) {
        std::thread([&] {
            perl.Eval("$seen{use}++; join ',', map { \"$_=$seen{$_}\" } sort keys %seen");
            value = perl.LastResultString();
        }).join();
    }
    EXPECT_EQ(value, "build=1,use=2");
    EXPECT_TRUE(perl.Eval("1"));
}

TEST(PerlHost, EndBlocksRunWhenTheInterpreterIsDestroyed)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(u"end.txt"_s);
    {
        CPerlWrap perl;
        ASSERT_TRUE(perl.SetStringUtf8("marker", marker.toUtf8()));
        ASSERT_TRUE(
            perl.Eval("END { open my $f, '>', $marker or die; print $f 'ended'; close $f } 1"));
        EXPECT_FALSE(QFile::exists(marker));
    }
    EXPECT_EQ(ReadFile(marker), "ended");
}

// The converter running small scripts over cached pages.
class ScriptHostTest : public ::testing::Test
{
protected:
    QString Page(const QByteArray& body = "<p>text</p>")
    {
        const QString path = dir.filePath(u"page%1.html"_s.arg(++pages));
        EXPECT_TRUE(WriteArticleCacheFile(path, u"text/html; charset=utf-8"_s, {}, body));
        return path;
    }
    int CountLines(const QString& prefix) const
    {
        int count = 0;
        for (const QString& line : log.Lines())
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
    }

    ScopedLog log;
    QTemporaryDir dir;
    CVoiceConverter converter{dir.path()};
    int pages = 0;
};

TEST_F(ScriptHostTest, ADyingScriptLogsOneLineAndTheNextPageUsesTheSameInterpreter)
{
    converter.SetScriptText("our $runs; $runs++;"
                            "die qq{no article\\n} if $input_stream =~ /bad/;"
                            "$output_stream = qq{run $runs};");
    QString text;
    const QString bad = Page("bad page");
    EXPECT_FALSE(converter.PageToText(bad, text));
    EXPECT_EQ(CountLines(u"*ITEM: Script error: "_s), 1);
    EXPECT_TRUE(log.Contains(u"*ITEM: Script error: 'no article"_s));
    EXPECT_TRUE(log.Contains(u"': '%1'"_s.arg(bad)));

    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, u"run 2"_s);
    EXPECT_EQ(converter.InterpreterGeneration(), 1);
}

TEST_F(ScriptHostTest, AScriptThatNeverSetsTheOutputFails)
{
    converter.SetScriptText("my $length = length($input_stream);");
    QString text;
    const QString page = Page();
    EXPECT_FALSE(converter.PageToText(page, text));
    EXPECT_EQ(log.Lines(),
              QStringList({u"Log file started"_s, u"*ITEM: output var not set: '%1'"_s.arg(page)}));
}

TEST_F(ScriptHostTest, WarningsNeverReachTheLog)
{
    // @INC holds only the module folder, so warnings are switched on without the pragma.
    converter.SetScriptText("$^W = 1; my $u; my $s = \"$u\"; warn qq{loud\\n};"
                            "$output_stream = 'fine';");
    QString text;
    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, u"fine"_s);
    EXPECT_EQ(log.Lines(), QStringList({u"Log file started"_s}));
}

TEST_F(ScriptHostTest, TheOutputIsTakenAsUtf8)
{
    converter.SetScriptText(
        "$output_stream = qq{Stra\\x{DF}e \\x{20AC} ok}; utf8::encode($output_stream);");
    QString text;
    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, u"Straße € ok"_s);
}

TEST_F(ScriptHostTest, TheFirstInterpreterServesAHundredPagesAndEachLaterOneAHundredAndOne)
{
    converter.SetScriptText("our $count; $count++; $output_stream = $count;");
    QString text;
    for (int page = 1; page <= 100; ++page)
        ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, u"100"_s);
    EXPECT_EQ(converter.InterpreterGeneration(), 1);

    ASSERT_TRUE(converter.PageToText(Page(), text)); // the 101st
    EXPECT_EQ(text, u"1"_s);
    EXPECT_EQ(converter.InterpreterGeneration(), 2);

    for (int page = 102; page <= 201; ++page)
        ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, u"101"_s);
    EXPECT_EQ(converter.InterpreterGeneration(), 2);
    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(converter.InterpreterGeneration(), 3);
}

TEST_F(ScriptHostTest, OnlyPagesPastTheCharacterSetStepAreCounted)
{
    converter.SetScriptText("$output_stream = 'x';");
    QString text;
    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_FALSE(converter.PageToText(dir.filePath(u"missing.html"_s), text));
    const QString empty = dir.filePath(u"empty-latin1.html"_s);
    ASSERT_TRUE(WriteArticleCacheFile(empty, u"text/html"_s, {}, {}));
    EXPECT_FALSE(converter.PageToText(empty, text));
    EXPECT_EQ(converter.ConversionCount(), 1);

    converter.SetScriptText("die 'always';");
    EXPECT_FALSE(converter.PageToText(Page(), text));
    EXPECT_EQ(converter.ConversionCount(), 2);
}

TEST_F(ScriptHostTest, TheModuleFolderIsTheOnlyIncEntry)
{
    converter.SetScriptText("$output_stream = join '|', @INC;");
    QString text;
    ASSERT_TRUE(converter.PageToText(Page(), text));
    EXPECT_EQ(text, QDir(dir.path()).filePath(u"include/"_s));
}
