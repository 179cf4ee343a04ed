// Article text extraction: building the interpreter, and turning a typical news page of
// about 300 KB into text (reading the cache file, decoding, running the script) with the
// interpreter already built. CALVORIA_BENCH_PAGE names a saved UTF-8 page to use instead
// of the generated ISO-8859-1 one.

#include "ArticleCache.h"
#include "CAppLog.h"
#include "CPerlWrap.h"
#include "CVoiceConverter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kWords[] = {"market",  "council",  "weather", "storm",     "season", "science",
                              "energy",  "water",    "school",  "harbour",   "river",  "museum",
                              "budget",  "report",   "bridge",  "festival",  "train",  "village",
                              "caf\xE9", "na\xEFve", "r\xF4le", "M\xFCnchen"};

QByteArray Words(std::mt19937& rng, int count)
{
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += kWords[pick(rng)];
    }
    return text;
}

// A news page as sites serve them: scripts and styles, menus and link lists around an
// article of a dozen paragraphs, in ISO-8859-1.
QByteArray MakePage()
{
    std::mt19937 rng(42);
    QByteArray page = "<!DOCTYPE html><html><head><title>Council approves harbour budget</title>"
                      "<meta name=\"description\" content=\"News\"><style>";
    for (int i = 0; i < 400; ++i)
        page += ".c" + QByteArray::number(i) + " { margin: 0 " + QByteArray::number(i % 7) +
                "px; color: #" + QByteArray::number(i * 4099 % 0xFFFFFF, 16) + " }\n";
    page += "</style><script>var config = {";
    for (int i = 0; i < 2500; ++i)
        page += "\"key" + QByteArray::number(i) + "\": \"" + Words(rng, 3) + "\",";
    page += "};</script></head><body><header><nav><ul>";
    for (int i = 0; i < 150; ++i)
        page += "<li class=\"c" + QByteArray::number(i) + "\"><a href=\"/section/" +
                QByteArray::number(i) + "\">" + Words(rng, 2) + "</a></li>";
    page += "</ul></nav></header><main><article><h1>Council approves harbour budget</h1>"
            "<p class=\"byline\">By a staff reporter</p>";
    for (int i = 0; i < 14; ++i)
        page += "<p>" + Words(rng, 90) + ", <a href=\"/more\">" + Words(rng, 3) + "</a> " +
                Words(rng, 40) + ".</p>\n";
    page += "</article><aside>";
    for (int block = 0; block < 24; ++block) {
        page += "<section><h2>" + Words(rng, 2) + "</h2><ul>";
        for (int i = 0; i < 60; ++i)
            page += "<li><a href=\"/story/" + QByteArray::number(block * 100 + i) +
                    "\"><img src=\"/t.jpg\" alt=\"\">" + Words(rng, 8) + "</a></li>";
        page += "</ul></section>";
    }
    page += "</aside></main><footer>";
    for (int i = 0; i < 80; ++i)
        page += "<a href=\"/about/" + QByteArray::number(i) + "\">" + Words(rng, 2) + "</a> ";
    page += "</footer></body></html>\n";
    return page;
}

struct BenchPage
{
    QByteArray body;
    QString contentType;
};

BenchPage LoadPage()
{
    const QString path = qEnvironmentVariable("CALVORIA_BENCH_PAGE");
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly))
        return {file.readAll(), u"text/html; charset=utf-8"_s};
    return {MakePage(), u"text/html; charset=iso-8859-1"_s};
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath() + u'/';
}

void BM_BuildInterpreter(benchmark::State& state)
{
    const QByteArray modules = (ProgramFolder() + u"include/"_s).toUtf8();
    for (auto _ : state) {
        auto perl = std::make_unique<CPerlWrap>();
        perl->SetArray("INC", {modules});
        benchmark::DoNotOptimize(perl.get());
        state.PauseTiming();
        perl.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildInterpreter)->Unit(benchmark::kMillisecond);

// What a rebuilt interpreter costs: building it and its first page, which compiles the
// script and loads its modules.
void BM_BuildInterpreterAndFirstPage(benchmark::State& state)
{
    QTemporaryDir dir;
    const BenchPage page = LoadPage();
    const QString cachePath = dir.filePath(u"page.html"_s);
    WriteArticleCacheFile(cachePath, page.contentType, {}, page.body);
    QString text;
    for (auto _ : state) {
        CVoiceConverter converter(ProgramFolder());
        converter.LoadScript();
        converter.PageToText(cachePath, text);
        benchmark::DoNotOptimize(text.data());
        state.PauseTiming();
        converter.Unload();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildInterpreterAndFirstPage)->Unit(benchmark::kMillisecond);

// The converter over the page; scriptText empty means the script built into the program.
void RunPageToText(benchmark::State& state, const QByteArray& scriptText)
{
    QTemporaryDir dir;
    CAppLog log;
    log.Open({dir.path()});
    SetProcessLog(&log);
    const BenchPage page = LoadPage();
    const QString cachePath = dir.filePath(u"page.html"_s);
    WriteArticleCacheFile(cachePath, page.contentType, {}, page.body);

    CVoiceConverter converter(ProgramFolder());
    if (scriptText.isEmpty())
        converter.LoadScript();
    else
        converter.SetScriptText(scriptText);
    QString text;
    if (!converter.PageToText(cachePath, text)) { // builds the interpreter
        state.SkipWithError("the page gives no text; see the log");
        SetProcessLog(nullptr);
        return;
    }
    for (auto _ : state) {
        converter.PageToText(cachePath, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["page KB"] = double(page.body.size()) / 1024;
    state.counters["text chars"] = double(text.size());
    SetProcessLog(nullptr);
}

void BM_ExtractPage(benchmark::State& state)
{
    RunPageToText(state, {});
}
BENCHMARK(BM_ExtractPage)->Unit(benchmark::kMillisecond);

// Everything but the script's own work: reading, decoding, handing the page over.
void BM_PageToTextOverhead(benchmark::State& state)
{
    RunPageToText(state, "$output_stream = length($input_stream);");
}
BENCHMARK(BM_PageToTextOverhead)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
