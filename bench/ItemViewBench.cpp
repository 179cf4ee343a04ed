// The reading pane: from selecting a news item to its page loaded (200 items, one after the
// other), and a channel page of 200 items, with the tests' small reading style or the one
// given with --style=FILE.
//     QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a bench_item [--style=FILE] [benchmark options]

#include "ArticleCache.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CItemView.h"
#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "IFrameServices.h"
#include "SampleWords.h"
#include "WebEngineSetup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

QString g_style = QStringLiteral(CALVORIA_SOURCE_DIR "/tests/item/data/Tiny.xsl");

struct NoFrame : IFrameServices
{
    bool OpenInBrowser(const QString&) override { return false; }
    bool BrowseForFolder(QString&) override { return false; }
    void HideSearchBarIfVisible() override {}
    CRssHeader* RightSideHeader() const override { return nullptr; }
    CThemeColors& Theme() const override { std::abort(); }
    void ApplyOptions(const OptionChanges&) override {}
};

// One channel of 200 news with paragraphs of description, as a feed brings them.
struct BenchWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    CRssReaderDoc doc{context};
    NoFrame frame;
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&context);

    BenchWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        app.Prefs()->ChangeRoot(dir.filePath(u"data"_s));
        app.hasIe6 = true;
        QDir().mkpath(app.Prefs()->StylesFolder());
        QFile::copy(g_style, app.Prefs()->StylesFolder() + u"Bench.xsl"_s);
        app.Prefs()->SetReadingStyle(u"Bench.xsl"_s);
        app.Prefs()->markReadDelayMs = 1000000;
        context.SetClock([] { return qint64(1700000000); });
        std::mt19937 rng(7);
        channel->SetNameAndUrl(u"Bench"_s, u"http://bench.example.com/rss"_s);
        for (int i = 0; i < 200; ++i) {
            CRefPtr<CRssItem> item =
                CRssItem::Create(&context, SampleWords(rng, 60) + u' ' + QString::number(i),
                                 u"<p>"_s + SampleWords(rng, 400) + u"</p><p>"_s +
                                     SampleWords(rng, 400) + u"</p>"_s);
            item->SetLink(u"http://bench.example.com/"_s + QString::number(i));
            item->SetPublicationTime(1700000000 - 600 * i);
            channel->AddChild(item.get());
        }
        doc.RootGroup().AddChild(channel.get());
    }
};

BenchWorld& World()
{
    static BenchWorld world;
    return world;
}

// Selects the node and times until its page has loaded; negative when it did not load.
double SelectAndTime(CItemView& view, CRssNode* node, RssEvent hint)
{
    QSignalSpy loaded(&view, &CItemView::loadFinished);
    QElapsedTimer clock;
    clock.start();
    World().doc.Select(node, false);
    view.OnUpdate(hint, node);
    if (!loaded.wait(20000) || !loaded.last().at(0).toBool())
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

void Finish(benchmark::State& state, std::vector<double>& times)
{
    std::sort(times.begin(), times.end());
    if (!times.empty())
        state.counters["median_ms"] = times[times.size() / 2] * 1000;
}

void SelectItemToLoaded(benchmark::State& state)
{
    CItemView view(World().doc, World().app, World().frame);
    view.resize(800, 600);
    view.show();
    const CRssNode::Children items = World().channel->ChildrenSnapshot();
    SelectAndTime(view, items[0].get(), RssEvent::ItemSelected); // the engine starts
    std::vector<double> times;
    size_t next = 1;
    for (auto _ : state) {
        const double seconds =
            SelectAndTime(view, items[next++ % items.size()].get(), RssEvent::ItemSelected);
        if (seconds < 0) {
            state.SkipWithError("page did not load");
            break;
        }
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    Finish(state, times);
}

void ChannelOf200ToLoaded(benchmark::State& state)
{
    CItemView view(World().doc, World().app, World().frame);
    view.resize(800, 600);
    view.show();
    CRefPtr<CRssChannel> other = CRssChannel::Create(&World().context);
    World().doc.RootGroup().AddChild(other.get());
    SelectAndTime(view, other.get(), RssEvent::ChannelSelected);
    std::vector<double> times;
    for (auto _ : state) {
        // Another channel between runs, so each run renders and loads anew.
        state.PauseTiming();
        SelectAndTime(view, other.get(), RssEvent::ChannelSelected);
        state.ResumeTiming();
        const double seconds =
            SelectAndTime(view, World().channel.get(), RssEvent::ChannelSelected);
        if (seconds < 0) {
            state.SkipWithError("page did not load");
            break;
        }
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    Finish(state, times);
}

// Whether the page file holds the text (it is UTF-16 with a byte order mark).
bool PageFileHolds(const CItemView& view, const QString& text)
{
    QFile file(view.PageFile().Path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                              bytes.size() / 2)
        .contains(text);
}

// The full-article view of news whose pages are already in the page cache: from the
// selection to the page of the article loaded (its text extracted on the reader's thread,
// then styled and shown).
void FullArticleFromCacheToLoaded(benchmark::State& state)
{
    BenchWorld& world = World();
    QDir().mkpath(world.app.ProgramFolder());
    QFile::link(QStringLiteral(CALVORIA_BUILD_BIN "/include"),
                world.app.ProgramFolder() + u"include"_s);
    const QString cache =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/Articles/"_s;
    QDir().mkpath(cache);
    const CRssNode::Children items = world.channel->ChildrenSnapshot();
    std::mt19937 rng(11);
    for (size_t i = 0; i < items.size(); ++i) {
        QByteArray page = "<html><body><nav><a href='/'>Home</a></nav><article><h1>Story</h1>";
        for (int p = 0; p < 6; ++p)
            page += "<p>Article" + QByteArray::number(qulonglong(i)) + ' ' +
                    SampleWords(rng, 60).toUtf8() + ".</p>";
        page += "</article></body></html>";
        WriteArticleCacheFile(cache + static_cast<CRssItem*>(items[i].get())->AudioFileName() +
                                  u".html"_s,
                              u"text/html; charset=utf-8"_s, {}, page);
    }
    CItemView view(world.doc, world.app, world.frame);
    view.resize(800, 600);
    view.show();
    SelectAndTime(view, items[0].get(), RssEvent::ItemSelected); // the engine starts
    view.RunCommand(Command::FullArticle);
    std::vector<double> times;
    size_t next = 1;
    for (auto _ : state) {
        CRssNode* item = items[next % items.size()].get();
        const QString marker = u"Article"_s + QString::number(next++ % items.size()) + u' ';
        QSignalSpy loaded(&view, &CItemView::loadFinished);
        QElapsedTimer clock;
        clock.start();
        world.doc.Select(item, false);
        view.OnUpdate(RssEvent::ItemSelected, item);
        // The "Loading article…" page may load first, or be cut short by the article's.
        const auto shown = [&] {
            return !loaded.isEmpty() && loaded.last().at(0).toBool() &&
                   PageFileHolds(view, marker);
        };
        while (!shown() && clock.elapsed() < 20000)
            loaded.wait(5);
        if (!shown()) {
            state.SkipWithError("the article did not show");
            break;
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    Finish(state, times);
}

} // namespace

BENCHMARK(SelectItemToLoaded)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(ChannelOf200ToLoaded)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(FullArticleFromCacheToLoaded)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    PrepareWebEngine();
    // The article pages are cached here, not in the person's own cache.
    const QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", cacheHome.path().toUtf8());
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(u"--style="_s))
            g_style = arg.mid(8);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
