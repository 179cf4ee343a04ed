// The article text extraction script (voice/script/extract.pl and its modules in
// voice/include/): the development set of real pages and hostile pages through
// calvoria-tool, and the script's rules on small pages, run by perl the way the
// program's script host runs it (module path = the include folder only, the page as
// characters in $input_stream, the text as UTF-8 bytes in $output_stream, one
// interpreter for many pages).
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// A guard against runaway patterns (they take minutes or hours), not a speed target: the
// speed is measured by bench/ExtractBench, and a busy machine must not fail this.
constexpr qint64 kTimeLimitMs = 30000;

QString Tool()
{
    return BinDir() + u"/calvoria-tool"_s;
}

// ---------------------------------------------------------------------------------------
// Hostile pages

// 16 million bytes of a busy news page: scripts, navigation, and article blocks full of
// links, lists and tables, repeated.
QByteArray HugePage()
{
    const QByteArray block =
        "<div class=\"story\"><h2>Section heading</h2>\n"
        "<p>Paragraph text of the story, with <a href=\"/a\">a link</a>, some <b>bold</b> "
        "and <i>italic</i> words, commas, and a full stop. &amp; &eacute; &#8212;</p>\n"
        "<ul class=\"related\"><li><a href=\"/1\">Related one</a></li>"
        "<li><a href=\"/2\">Related two</a></li></ul>\n"
        "<table><tr><td>cell</td><td>cell</td></tr></table>\n"
        "<script>var x = '<p>not text</p>';</script><!-- comment -->\n"
        "<div class=\"share\"><span>Share</span></div></div>\n";
    QByteArray page = "<!DOCTYPE html><html><head><title>Huge</title></head><body>\n"
                      "<nav><a href=\"/\">Home</a></nav><article>\n";
    while (page.size() + block.size() < 16'000'000)
        page += block;
    return page;
}

// 100,000 start tags that are never closed, of the kinds that open nested elements.
QByteArray NestedPage()
{
    static const char* const tags[] = {"<div>", "<span>", "<section>", "<b>", "<table>",
                                       "<td>", "<ul>", "<li>", "<blockquote>", "<a href=x>"};
    QByteArray page = "<html><body>";
    for (int i = 0; i < 100'000; ++i)
        page += tags[i % 10];
    page += "The text at the bottom of it all, with commas, and an end.";
    return page;
}

// 4 MB of random bytes (no zero byte, which would end the page early) between two
// readable paragraphs, the second after a script.
QByteArray GarbagePage()
{
    QByteArray garbage(4 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240607);
    for (char& c : garbage)
        c = char(1 + random.bounded(255));
    return "<html><body><p>Readable words before the noise, with commas, and a full stop.</p>" +
           garbage +
           "<script>var words = 'Script words are never read';</script>"
           "<p>Readable words after the noise, with commas, and a full stop.</p>";
}

// Attribute values that never end, runs of '=', quotes of both kinds.
QByteArray QuotingPage()
{
    QByteArray page = "<html><body><p>Before the storm.</p>";
    for (int i = 0; i < 100'000; ++i)
        page += "<a b=\"x ";
    page += "<div ";
    page += QByteArray(100'000, '=');
    page += " c=";
    page += QByteArray(100'000, '\'');
    for (int i = 0; i < 50'000; ++i)
        page += "<p x='y z=\"w";
    return page;
}

// ---------------------------------------------------------------------------------------
// The script run the way the program runs it

// Runs the script over pages in one interpreter: each page is read as bytes, cut at the
// first zero byte, decoded as UTF-8 (or as ISO-8859-1 when its name starts with
// "latin1:", as the program does for a page without a charset), put into
// $main::input_stream, and the script is evaluated as a string in package main with a
// module path holding only the include folder. The text goes to PAGE.out, the error of
// a page that failed to PAGE.err.
constexpr char kHost[] = R"PERL(
BEGIN { $SIG{__WARN__} = sub { $main::__w_warnings .= $_[0] } }
my ($include, $script_file, @pages) = @ARGV;
open my $sfh, '<:raw', $script_file or die "$script_file: $!";
my $script = do { local $/; <$sfh> };
for my $page (@pages) {
  my $latin1 = $page =~ s/^latin1://;
  open my $fh, '<:raw', $page or die "$page: $!";
  my $body = do { local $/; <$fh> };
  $body =~ s/\0.*//s;
  if ($latin1) { utf8::upgrade($body) } else { utf8::decode($body) }
  @INC = ($include);
  $main::input_stream = $body;
  $main::__w_warnings = '';
  eval $script;
  my $error = $@;
  my $name = $error ne '' ? "$page.err" : "$page.out";
  open my $out, '>:raw', $name or die "$name: $!";
  print $out ($error ne '' ? $error : $main::output_stream // '(output not set)');
  close $out;
}
)PERL";

// Prints the tree that the extraction modules build from a page (argument 2) as
// tag(children...), text with its white space runs shortened to one space.
constexpr char kOutline[] = R"PERL(
use v5.36;
my ($include, $html) = @ARGV;
@INC = ($include);
require Calvoria::Extract::Tree;
utf8::decode($html);
my $doc = Calvoria::Extract::Tree::build(\$html);
my ($tag, $text, $end) = @$doc{qw(tag text end)};
my ($out, @open) = ('');
for my $i (1 .. $#$tag) {
  while (@open && $open[-1] < $i) { pop @open; $out .= ')' }
  if ($tag->[$i] eq '#text') { $out .= $text->[$i] =~ s/\s+/ /gr }
  else { $out .= "$tag->[$i]("; push @open, $end->[$i] }
}
print $out, ')' x @open;
)PERL";

struct ScriptResult
{
    bool ok = false;
    QByteArray text;  // the output bytes
    QByteArray error; // the error message of a page that failed
    QStringList Lines() const { return QString::fromUtf8(text).split(u'\n'); }
};

struct ScriptPage
{
    QByteArray html;
    bool latin1 = false;
};

class ExtractionScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_perl = QStandardPaths::findExecutable(u"perl"_s);
        if (m_perl.isEmpty())
            GTEST_SKIP() << "no perl";
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(WriteFile(m_dir.filePath(u"host.pl"_s), kHost));
    }

    // The results of the pages, run one after the other in one interpreter.
    std::vector<ScriptResult> Run(const std::vector<ScriptPage>& pages)
    {
        QStringList args{m_dir.filePath(u"host.pl"_s), SourceDir() + u"/voice/include/"_s,
                         SourceDir() + u"/voice/script/extract.pl"_s};
        for (size_t i = 0; i < pages.size(); ++i) {
            const QString file = m_dir.filePath(u"page%1.html"_s.arg(m_next++));
            EXPECT_TRUE(WriteFile(file, pages[i].html));
            args << (pages[i].latin1 ? u"latin1:"_s : QString()) + file;
        }
        QProcess perl;
        perl.start(m_perl, args);
        EXPECT_TRUE(perl.waitForFinished(120'000));
        EXPECT_EQ(perl.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(perl.exitCode(), 0);
        // the script prints nothing of its own
        EXPECT_EQ(perl.readAllStandardOutput(), QByteArray());
        EXPECT_EQ(perl.readAllStandardError(), QByteArray());

        std::vector<ScriptResult> results;
        for (int i = 3; i < args.size(); ++i) {
            const QString file = QString(args[i]).remove(QRegularExpression(u"^latin1:"_s));
            ScriptResult r;
            r.ok = QFileInfo::exists(file + u".out"_s);
            r.text = ReadFile(file + u".out"_s);
            r.error = ReadFile(file + u".err"_s);
            results.push_back(r);
        }
        return results;
    }

    // The outline of the tree built from $html (see kOutline).
    QString Outline(const QByteArray& html)
    {
        QProcess perl;
        perl.start(m_perl, {u"-e"_s, QString::fromUtf8(kOutline), SourceDir() + u"/voice/include/"_s,
                            QString::fromUtf8(html)});
        EXPECT_TRUE(perl.waitForFinished(30'000));
        EXPECT_EQ(perl.readAllStandardError(), QByteArray());
        return QString::fromUtf8(perl.readAllStandardOutput());
    }

    ScriptResult RunOne(const QByteArray& html, bool latin1 = false)
    {
        auto results = Run({{html, latin1}});
        return results.empty() ? ScriptResult{} : results.front();
    }

private:
    QString m_perl;
    QTemporaryDir m_dir;
    int m_next = 0;
};

// An article of ordinary length around $body, with furniture around it.
QByteArray ArticlePage(const QByteArray& body, const QByteArray& head = "<title>News</title>")
{
    return "<!DOCTYPE html><html><head>" + head + "</head><body>"
           "<nav><a href=\"/\">Home</a> <a href=\"/world\">World</a></nav>"
           "<div id=\"main\"><article>" + body +
           "<p>The last paragraph of the article, long enough to count, with commas, and a "
           "full stop at its end.</p></article></div>"
           "<footer>Copyright 2024 Example News</footer></body></html>";
}

// ---------------------------------------------------------------------------------------
// Character references and markup

TEST_F(ExtractionScript, CharacterReferencesBecomeTheirCharacters)
{
    const auto r = RunOne(ArticlePage(
        "<p>Caf&eacute; &amp; bar &copy 2024 &#8212; &#x2014; &#150; &notit; &#0; &#xFFFFFFFF; "
        "&unknown; AT&T &lt;b&gt; &NotNestedLessLess; &#x1F600; &amp;amp;</p>"));
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines().value(0),
              u"Café & bar © 2024 — — – ¬it; \uFFFD \uFFFD &unknown; AT&T <b> ⪡̸ 😀 &amp;"_s);
}

TEST_F(ExtractionScript, BrokenMarkupLosesNoText)
{
    const auto r = RunOne(
        "<!doctype html><html><head><title>Markup</title></head><body>\n"
        "<div class=content id='main' data-x=1>\n"
        "<p title=\"a > b\" class=x>First paragraph, its attribute holds a greater-than sign, "
        "and it is never closed.\n"
        "<p>Second paragraph, also never closed, says that a < b and b > a, both true.\n"
        "<p>Third paragraph <b>bold <i>italic</b> not closed</i> properly, read anyway.</p>\n"
        "<p>Fourth paragraph<br>broken in two by a line break, and <span>a span that never "
        "ends.\n"
        "</div>\n"
        "<div>Loose text after the box, with commas, and words, enough of them to count.");
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines(),
              (QStringList{
                  u"First paragraph, its attribute holds a greater-than sign, and it is never closed."_s,
                  u"Second paragraph, also never closed, says that a < b and b > a, both true."_s,
                  u"Third paragraph bold italic not closed properly, read anyway."_s,
                  u"Fourth paragraph"_s,
                  u"broken in two by a line break, and a span that never ends."_s,
                  u"Loose text after the box, with commas, and words, enough of them to count."_s}));
}

TEST_F(ExtractionScript, ScriptsStylesAndCommentsNeverReachTheText)
{
    const auto r = RunOne(ArticlePage(
        "<style>p { color: red } /* <p>style text</p> */</style>"
        "<script>document.write(\"<p>written by script</p>\"); if (a < b && c > d) {}</script>"
        "<p>Before, a paragraph with commas, and words, enough of them to be read out.</p>"
        "<!-- <p>commented out</p> -->"
        "<script><!-- <script>var x = \"</script>\"; --> still script</script>"
        "<![CDATA[ cdata text ]]><noscript><p>Please enable JavaScript</p></noscript>"
        "<p>After the tricky script, a paragraph, which must come through in one piece.</p>"
        "<template><p>template text</p></template>"
        "<!-- a comment that never ends <p>lost</p>"));
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines(),
              (QStringList{
                  u"Before, a paragraph with commas, and words, enough of them to be read out."_s,
                  u"After the tricky script, a paragraph, which must come through in one piece."_s}));
}

TEST_F(ExtractionScript, TheTreeRepairsNestingAsBrowsersDo)
{
    const std::pair<const char*, const char*> cases[] = {
        {"<p>a<div>b</div>c", "p(a)div(b)c"},
        {"<ul><li>a<li>b</ul>c", "ul(li(a)li(b))c"},
        {"<table><tr><td>a<td>b<tr><td>c</table>d", "table(tr(td(a)td(b))tr(td(c)))d"},
        {"<p>a<p>b<h1>c<h2>d</h2>", "p(a)p(b)h1(c)h2(d)"},
        {"<div><span>a</div>b", "div(span(a))b"},
        {"<a href=1>a<a href=2>b</a>", "a(a)a(b)"},
        {"<dl><dt>a<dd>b<dt>c</dl>", "dl(dt(a)dd(b)dt(c))"},
        {"<p>a</p></p>b", "p(a)p()b"},                           // a stray </p> is an empty p
        {"<div><p>a</span></i>b</div>c", "div(p(ab))c"},          // stray end tags are ignored
        {"<table><tr><td><div>a</div></td></tr></table></div>b", "table(tr(td(div(a))))b"},
        {"<td><div>a</td>b", "td(div(a))b"},                      // a cell ends what it holds
        {"<div><table><tr><td>a</div>b</table>c", "div(table(tr(td(ab)))c)"}, // ...and keeps it
        {"<svg><path/><text>t</text></svg><p>x", "svg(path()text(t))p(x)"},
        {"<svg><g><p>x", "svg(g())p(x)"},                         // HTML ends the drawing
        {"x</br>y<img src=a>z", "xbr()yimg()z"},
        {"<select><option>a<option>b</select>", "select(option(a)option(b))"},
        {"<title>a <b> c</title><script>if (a<b) x = '</p>';</script>",
         "title(a <b> c)script(if (a<b) x = '</p>';)"},
        {"<div class=\"x\" title='a>b' data-x=<y>z</div>", "div(z)"},
        {"<p>a<!-- <p>b --> c<!--->d<!-->e", "p(a cde)"},
    };
    for (const auto& [html, outline] : cases)
        EXPECT_EQ(Outline(html), QString::fromUtf8(outline)) << html;
}

TEST_F(ExtractionScript, WhiteSpaceCollapsesAndBlocksMakeLines)
{
    const auto r = RunOne(ArticlePage(
        "<p>  Spaces,\t tabs\n\n and&nbsp;&nbsp;non-breaking   spaces,   all become one space "
        "each.  </p>"
        "<ul><li>First item of the list</li><li>Second   item</li></ul>"
        "<table><tr><td>Cell one</td><td>Cell two</td></tr></table>"
        "<pre>line one\nline two</pre>"));
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines().mid(0, 7),
              (QStringList{u"Spaces, tabs and non-breaking spaces, all become one space each."_s,
                           u"First item of the list"_s, u"Second item"_s, u"Cell one"_s,
                           u"Cell two"_s, u"line one"_s, u"line two"_s}));
}

// ---------------------------------------------------------------------------------------
// Choosing the article

constexpr char kNewsPage[] = R"HTML(<html><head><title>Council approves the new bridge - Example News</title></head><body>
<header><a href="/">Example News</a> <a href="/world">World</a> <a href="/sport">Sport</a></header>
<nav><ul><li><a href="/a">Home</a></li><li><a href="/b">Politics</a></li></ul></nav>
<div class="cookie-banner">We use cookies to improve your experience. Accept all cookies?</div>
<div id="wrapper"><div class="sidebar-left"><ul>
<li><a href="/1">Another story with a long headline that goes on</a></li>
<li><a href="/2">Yet another story, with a comma, in its headline</a></li></ul></div>
<article>
<h1>Council approves the new bridge</h1>
<ul class="share-buttons"><li><a href="#">Share on Facebook</a></li><li><a href="#">Tweet</a></li></ul>
<p>The city council voted on Tuesday to build a new bridge across the river, ending a debate that lasted for more than ten years.</p>
<p>The bridge, which will carry cars, bicycles and pedestrians, is expected to open in three years, the mayor said after the vote.</p>
<div style="display: none"><p>Hidden paragraph that nobody can see, with commas, and more.</p></div>
<p>Opponents, who had argued that the money should go to schools instead, said they would not give up, and promised a referendum.<span aria-hidden="true">Screen junk</span></p>
<p hidden>Another hidden paragraph.</p>
<p>Work on the foundations will start in the spring, and the river will stay open to boats during construction.</p>
<div class="tags"><a href="/t/1">Bridges</a> <a href="/t/2">Council</a> <a href="/t/3">River</a></div>
</article>
<aside><h2>Most read</h2><p>Some other story, with a teaser that has commas, and, more commas.</p></aside>
<div class="comments"><p>Great news, finally, I have waited for years, and years, for this bridge to come.</p></div>
</div>
<form><input name=q><button>Search</button></form>
<footer>Copyright 2024 Example News. All rights reserved.</footer>
</body></html>)HTML";

TEST_F(ExtractionScript, TheArticleComesWithoutHeadlineAndPageFurniture)
{
    const auto r = RunOne(kNewsPage);
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines(),
              (QStringList{
                  u"The city council voted on Tuesday to build a new bridge across the river, ending a debate that lasted for more than ten years."_s,
                  u"The bridge, which will carry cars, bicycles and pedestrians, is expected to open in three years, the mayor said after the vote."_s,
                  u"Opponents, who had argued that the money should go to schools instead, said they would not give up, and promised a referendum."_s,
                  u"Work on the foundations will start in the spring, and the river will stay open to boats during construction."_s}));
}

TEST_F(ExtractionScript, FurnitureInsideTheArticleIsTrimmed)
{
    const auto r = RunOne(
        "<html><head><title>Fixes</title></head><body><article>"
        "<p>The team shipped three fixes this week, all of them small, and one of them overdue.</p>"
        "<figure><img src=\"a.jpg\"><figcaption>The team at work in Berlin</figcaption></figure>"
        "<figure><iframe src=\"player.html\"></iframe><figcaption>Media caption Watch the "
        "video</figcaption></figure>"
        "<p>Fixed so far, each with its own report:</p>"
        "<ul><li><a href=\"/b/1\">Bug 101 - The window flickers when it is moved to another screen</a></li>"
        "<li><a href=\"/b/2\">Bug 102 - Saving a file twice in a row loses the second change</a></li></ul>"
        "<p>More fixes will follow next week, once the reviews, which take time, are done.</p>"
        "<div class=\"topics\"><a href=\"/t/1\">Software</a> <a href=\"/t/2\">Bugs</a> "
        "<a href=\"/t/3\">Teams</a></div>"
        "<h2>Read next</h2><ul>"
        "<li><a href=\"/s/1\">A story about something else entirely, with a long headline</a></li>"
        "<li><a href=\"/s/2\">Another story about another thing, and its headline is long too</a></li>"
        "<li><a href=\"/s/3\">The third story that the page would like you to read after this</a></li>"
        "</ul></article></body></html>");
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines(),
              (QStringList{u"The team shipped three fixes this week, all of them small, and one of them overdue."_s,
                           u"The team at work in Berlin"_s, // a photo's caption stays, a player's goes
                           u"Fixed so far, each with its own report:"_s,
                           u"Bug 101 - The window flickers when it is moved to another screen"_s,
                           u"Bug 102 - Saving a file twice in a row loses the second change"_s,
                           u"More fixes will follow next week, once the reviews, which take time, are done."_s}));
}

TEST_F(ExtractionScript, ArticleCutIntoSeveralBlocksIsReadWhole)
{
    QByteArray body = "<div class=\"body\">";
    for (int part = 1; part <= 3; ++part) {
        body += "<div class=\"part\"><h2>Part " + QByteArray::number(part) + "</h2>";
        for (int p = 1; p <= 3; ++p)
            body += "<p>Part " + QByteArray::number(part) + ", paragraph " + QByteArray::number(p) +
                    ": the story goes on, with commas, and detail, for a while longer.</p>";
        body += "</div>";
    }
    body += "</div>";
    const auto r = RunOne(ArticlePage(body));
    ASSERT_TRUE(r.ok) << r.error.constData();
    const QString text = QString::fromUtf8(r.text);
    for (const char* needle : {"Part 1, paragraph 1", "Part 2, paragraph 3", "Part 3, paragraph 2"})
        EXPECT_TRUE(text.contains(QLatin1StringView(needle))) << needle;
    EXPECT_FALSE(text.contains(u"Home"_s));
    EXPECT_FALSE(text.contains(u"Copyright"_s));
}

TEST_F(ExtractionScript, TheHeadlineGoesEvenWithTheSiteNameInTheTitle)
{
    const auto r = RunOne(ArticlePage("<h1>Storm closes the harbour</h1>"
                                      "<p>The harbour was closed on Monday as the storm, the worst "
                                      "in a decade, reached the coast.</p>",
                                      "<title>Storm closes the harbour | The Daily Example</title>"));
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_TRUE(r.Lines().value(0).startsWith(u"The harbour was closed"_s)) << r.text.constData();
}

TEST_F(ExtractionScript, NonLatinScriptsCountByCharacters)
{
    // Chinese needs no spaces: its paragraphs are short in bytes and words, long in
    // meaning, and must win over the menu.
    const QByteArray chinese =
        "<html><head><meta charset=\"utf-8\"><title>新闻</title></head><body>"
        "<div class=\"menu\"><a href=\"/1\">首页</a> <a href=\"/2\">国内新闻</a> <a href=\"/3\">国际新闻</a>"
        " <a href=\"/4\">体育新闻</a> <a href=\"/5\">娱乐新闻</a> <a href=\"/6\">科技新闻</a></div>"
        "<div class=\"main\"><p>今天上午，市政府召开新闻发布会，宣布将在明年春天开始建设一座新的跨河大桥。</p>"
        "<p>据介绍，这座大桥全长一千二百米，设有双向六车道，并专门设置了自行车道和人行道。</p></div>"
        "<div class=\"links\"><a href=\"/x\">相关新闻一</a><a href=\"/y\">相关新闻二</a></div></body></html>";
    const QByteArray russian =
        "<html><head><title>Новости</title></head><body>"
        "<ul class=\"menu\"><li><a href=\"/\">Главная</a></li><li><a href=\"/n\">Новости</a></li></ul>"
        "<div id=\"content\"><h1>Новости</h1><p>Городской совет во вторник одобрил строительство "
        "нового моста через реку, завершив спор, который длился более десяти лет.</p></div></body></html>";
    const QByteArray arabic =
        "<html dir=\"rtl\"><head><title>أخبار</title></head><body><nav><a href=\"/\">الرئيسية</a></nav>"
        "<div class=\"article-body\"><p>وافق مجلس المدينة يوم الثلاثاء على بناء جسر جديد فوق النهر، "
        "منهيا بذلك جدلا استمر أكثر من عشر سنوات.</p></div></body></html>";
    const auto r = Run({{chinese}, {russian}, {arabic}});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Lines(),
              (QStringList{u"今天上午，市政府召开新闻发布会，宣布将在明年春天开始建设一座新的跨河大桥。"_s,
                           u"据介绍，这座大桥全长一千二百米，设有双向六车道，并专门设置了自行车道和人行道。"_s}));
    EXPECT_EQ(r[1].Lines(),
              (QStringList{u"Городской совет во вторник одобрил строительство нового моста через "
                           u"реку, завершив спор, который длился более десяти лет."_s}));
    EXPECT_EQ(r[2].Lines(),
              (QStringList{u"وافق مجلس المدينة يوم الثلاثاء على بناء جسر جديد فوق النهر، منهيا بذلك "
                           u"جدلا استمر أكثر من عشر سنوات."_s}));
}

TEST_F(ExtractionScript, ShortChineseParagraphsOutweighALongerLatinLine)
{
    // 16 to 19 characters each: too short to count if characters were counted like
    // letters of words
    const auto r = RunOne(
        "<html><head><meta charset=\"utf-8\"><title>新闻</title></head><body>"
        "<div class=\"main\"><p>市政府今天宣布，明年春天开工建设新大桥。</p>"
        "<p>大桥全长一千二百米，设有双向六车道。</p><p>市长表示，大桥将缓解城市交通压力。</p></div>"
        "<div class=\"note\">Copyright 2024 Example Media Group, all rights reserved, "
        "reproduction prohibited</div></body></html>");
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_EQ(r.Lines(), (QStringList{u"市政府今天宣布，明年春天开工建设新大桥。"_s,
                                      u"大桥全长一千二百米，设有双向六车道。"_s,
                                      u"市长表示，大桥将缓解城市交通压力。"_s}));
}

TEST_F(ExtractionScript, APageWithoutArticleGivesWhatTextItHas)
{
    const auto r = Run({{"<html><head><title>Hello</title></head><body><div>Hello world</div></body></html>"},
                        {"<html><body><h1>Only a headline here</h1></body></html>"},
                        {"<ul><li><a href=\"/1\">One link</a></li><li><a href=\"/2\">Another link</a></li></ul>"}});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].text, "Hello world");
    EXPECT_EQ(r[1].text, "Only a headline here");
    EXPECT_EQ(r[2].Lines(), (QStringList{u"One link"_s, u"Another link"_s}));
}

TEST_F(ExtractionScript, APageWithoutTextFailsWithAMessage)
{
    const auto r = Run({{"<html><head><title>Nothing</title><script>var a = 'script text';</script>"
                         "<style>body{}</style></head><body> <img src=x.png> &nbsp; </body></html>"},
                        {""}});
    ASSERT_EQ(r.size(), 2u);
    for (const ScriptResult& page : r) {
        EXPECT_FALSE(page.ok);
        EXPECT_EQ(page.error, "No readable text in the page.\n");
    }
}

// ---------------------------------------------------------------------------------------
// Interface with the program

TEST_F(ExtractionScript, PagesInOneInterpreterDoNotAffectEachOther)
{
    const QByteArray first = ArticlePage("<p>First page, first paragraph, with commas, and words.</p>");
    const QByteArray second = kNewsPage;
    const auto r = Run({{first}, {second}, {""}, {first}, {second}});
    ASSERT_EQ(r.size(), 5u);
    ASSERT_TRUE(r[0].ok && r[1].ok && r[3].ok && r[4].ok);
    EXPECT_FALSE(r[2].ok);
    EXPECT_EQ(r[3].text, r[0].text);
    EXPECT_EQ(r[4].text, r[1].text);
    EXPECT_NE(r[0].text, r[1].text);
}

TEST_F(ExtractionScript, TheTextIsUtf8Bytes)
{
    const auto r = RunOne(ArticlePage("<p>Crème brûlée — 東京 — Ωμέγα, and a long enough sentence.</p>"));
    ASSERT_TRUE(r.ok) << r.error.constData();
    EXPECT_TRUE(r.text.startsWith("Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC"))
        << r.text.constData();
}

TEST_F(ExtractionScript, APageDecodedWithTheWrongCharsetIsRepaired)
{
    // Without a charset in the content type the program decodes as ISO-8859-1: a UTF-8
    // page then arrives as one character per byte, a windows-1252 page with its quotes
    // and dashes as control characters.
    const QByteArray utf8 = ArticlePage("<p>Café — naïve text, with commas, and a sentence.</p>",
                                        "<meta charset=\"utf-8\"><title>T</title>");
    const QByteArray cp1252 = ArticlePage("<p>He said \x93hello\x94 \x96 and left, with commas.</p>");
    const QByteArray latin1 = ArticlePage("<p>Caf\xE9 au lait, na\xEFve, with commas, and a sentence.</p>",
                                          "<meta charset=\"iso-8859-1\"><title>T</title>");
    const auto r = Run({{utf8, true}, {cp1252, true}, {latin1, true}});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Lines().value(0), u"Café — naïve text, with commas, and a sentence."_s);
    EXPECT_EQ(r[1].Lines().value(0), u"He said “hello” – and left, with commas."_s);
    EXPECT_EQ(r[2].Lines().value(0), u"Café au lait, naïve, with commas, and a sentence."_s);
}

// ---------------------------------------------------------------------------------------
// Through calvoria-tool

struct ToolRun
{
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    qint64 elapsedMs = 0;
    QString text;   // what the tool printed
    QString errors; // the log lines of a failure
};

ToolRun RunTool(const QString& page, const QStringList& options = {})
{
    QProcess tool;
    QElapsedTimer timer;
    timer.start();
    tool.start(Tool(), QStringList{u"extract"_s, page} + options);
    ToolRun run;
    run.finished = tool.waitForFinished(60'000);
    run.elapsedMs = timer.elapsed();
    run.status = tool.exitStatus();
    run.exitCode = tool.exitCode();
    if (!run.finished)
        tool.kill();
    run.text = QString::fromUtf8(tool.readAllStandardOutput());
    run.errors = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

class ExtractionTool : public ::testing::Test
{
protected:
    // The text the tool printed for the page, after checking that it ended in time.
    QString Check(const QByteArray& page)
    {
        const QString file = m_home.File(u"page.html"_s);
        EXPECT_TRUE(WriteFile(file, page));
        const ToolRun run = RunTool(file);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.status, QProcess::NormalExit) << "crashed";
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        EXPECT_LT(run.elapsedMs, kTimeLimitMs);
        return run.text;
    }

    ScopedHome m_home;
};

TEST_F(ExtractionTool, HugePageEndsInTime)
{
    const QString text = Check(HugePage());
    EXPECT_TRUE(text.startsWith(u"Section heading\nParagraph text of the story, with a link, some "
                                u"bold and italic words, commas, and a full stop. & \u00E9 \u2014\n"
                                u"cell\ncell\nSection heading\n"_s))
        << text.left(300).toStdString();
    for (const QString& furniture :
         {u"Home"_s, u"Related one"_s, u"Share"_s, u"not text"_s, u"comment"_s, u"<"_s})
        EXPECT_FALSE(text.contains(furniture)) << furniture.toStdString();
}

TEST_F(ExtractionTool, HundredThousandUnclosedTagsEndInTime)
{
    EXPECT_EQ(Check(NestedPage()),
              u"The text at the bottom of it all, with commas, and an end.\n"_s);
}

TEST_F(ExtractionTool, BinaryGarbageEndsInTime)
{
    const QString text = Check(GarbagePage());
    EXPECT_TRUE(
        text.startsWith(u"Readable words before the noise, with commas, and a full stop.\n"_s));
    EXPECT_TRUE(
        text.endsWith(u"\nReadable words after the noise, with commas, and a full stop.\n"_s))
        << text.right(300).toStdString();
    EXPECT_FALSE(text.contains(u"Script words"_s));
}

TEST_F(ExtractionTool, PathologicalQuotingEndsInTime)
{
    EXPECT_EQ(Check(QuotingPage()), u"Before the storm.\n"_s);
}

// The development set and its scorer live beside the project's folder;
// CALVORIA_EXTRACTION_DEV points elsewhere.
QString DevelopmentSet()
{
    const QString devSet = qEnvironmentVariable("CALVORIA_EXTRACTION_DEV");
    return devSet.isEmpty() ? SourceDir() + u"/../shared/extraction-dev"_s : devSet;
}

// The scorer's report on the pages of a folder (all of them listed).
QString ScoreReport(const QStringList& pagesArgs)
{
    QProcess score;
    score.start(u"python3"_s, QStringList{DevelopmentSet() + u"/score.py"_s} + pagesArgs +
                                  QStringList{u"--show"_s, u"1000"_s, u"--"_s, Tool(),
                                              u"extract"_s, u"{}"_s});
    EXPECT_TRUE(score.waitForFinished(540'000));
    return QString::fromUtf8(score.readAllStandardOutput());
}

// The shingle F1 of the development set's scorer (word 4-grams, precision and recall
// averaged over its 130 pages).
TEST_F(ExtractionTool, DevelopmentSetScoresAtLeast0975)
{
    if (!QFileInfo::exists(DevelopmentSet() + u"/score.py"_s))
        GTEST_SKIP() << "no development set at " << DevelopmentSet().toStdString();
    const QString report = ScoreReport({});
    const auto f1 = QRegularExpression(u"^F1 ([0-9.]+)"_s, QRegularExpression::MultilineOption).match(report);
    ASSERT_TRUE(f1.hasMatch()) << report.toStdString();
    EXPECT_GE(f1.captured(1).toDouble(), 0.975) << report.toStdString();
    const auto timeouts = QRegularExpression(u"timeouts (\\d+)"_s).match(report);
    EXPECT_EQ(timeouts.captured(1), u"0"_s) << report.toStdString();
}

// Pages of our own (extraction-pages/), each made like the pages where extraction went
// wrong: class words on the article's container, galleries and captions, wrappers with
// bylines, teaser lists, plugs inside the text, link lists, recipes, comment boxes,
// pages without paragraphs, blog furniture, soft hyphens; in several languages. Every
// page must come out nearly as expected, and the set almost exactly.
TEST_F(ExtractionTool, EachOfOurPagesScoresAtLeast092)
{
    if (!QFileInfo::exists(DevelopmentSet() + u"/score.py"_s))
        GTEST_SKIP() << "no scorer at " << DevelopmentSet().toStdString();
    const QString report =
        ScoreReport({u"--pages"_s, SourceDir() + u"/tests/voice/extraction-pages"_s});
    const QRegularExpression row(u"^ +(\\S+) +precision ([0-9.]+) recall ([0-9.]+)$"_s,
                                 QRegularExpression::MultilineOption);
    int pages = 0;
    for (const auto& m : row.globalMatch(report)) {
        const double p = m.captured(2).toDouble(), r = m.captured(3).toDouble();
        EXPECT_GE(p + r > 0 ? 2 * p * r / (p + r) : 0.0, 0.92) << m.captured(0).toStdString();
        ++pages;
    }
    EXPECT_GE(pages, 40) << report.toStdString();
    const auto f1 = QRegularExpression(u"^F1 ([0-9.]+)"_s, QRegularExpression::MultilineOption).match(report);
    EXPECT_GE(f1.captured(1).toDouble(), 0.98) << report.toStdString();
}

// --explain tells which element was taken and what was cut, and why; the text is the same.
TEST_F(ExtractionTool, ExplainTellsTheChoiceAndTheCuts)
{
    const QString page = SourceDir() + u"/tests/voice/extraction-pages/036-comments-box-de"_s;
    const ToolRun plain = RunTool(page);
    const ToolRun explained = RunTool(page, {u"--explain"_s});
    EXPECT_EQ(explained.exitCode, 0);
    EXPECT_EQ(explained.text, plain.text);
    EXPECT_TRUE(explained.errors.contains(
        u"\nchosen: main > div.article > div.article-text (score "_s)) << explained.errors.toStdString();
    EXPECT_TRUE(explained.errors.contains(
        u"\ncut: div.login-box: class word 'login': \"Bitte melden Sie sich an"_s));
    EXPECT_EQ(plain.errors, QString());
}

} // namespace
