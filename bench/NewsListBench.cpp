// The news list over a group of 500 channels of 200 items each: showing the 100,000 rows,
// sorting them by date and by title, and painting one screen of rows with the preview on.
//     bench_news [--news-shot=FILE.png] [benchmark options]
// The shot option also saves pictures of the list with a few sample items, with and
// without the preview.

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssHeader.h"
#include "CRssReaderDoc.h"
#include "CRssReaderView.h"
#include "CThemeColors.h"
#include "IFrameServices.h"
#include "NewsListModel.h"
#include "SampleWords.h"

#include <QApplication>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

struct NoFrame : IFrameServices
{
    bool OpenInBrowser(const QString&) override { return false; }
    bool BrowseForFolder(QString&) override { return false; }
    void HideSearchBarIfVisible() override {}
    CRssHeader* RightSideHeader() const override { return nullptr; }
    CThemeColors& Theme() const override { return theme; }
    void ApplyOptions(const OptionChanges&) override {}
    mutable CThemeColors theme;
};

struct BenchWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    CRssReaderDoc doc{context};
    CThemeColors theme;
    NoFrame frame;
    CRefPtr<CRssGroup> group = CRssGroup::Create(&context);
    CRefPtr<CRssChannel> empty = CRssChannel::Create(&context);

    BenchWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        app.Prefs()->ChangeRoot(dir.filePath(u"data"_s));
        context.SetClock([] { return qint64(1700000000); });
        std::mt19937 rng(7);
        std::uniform_int_distribution<qint64> age(0, 90 * 86400);
        for (int c = 0; c < 500; ++c) {
            CRefPtr<CRssChannel> channel = CRssChannel::Create(&context);
            channel->SetNameAndUrl(u"Channel "_s + QString::number(c),
                                   u"http://bench.example.com/"_s + QString::number(c));
            for (int i = 0; i < 200; ++i) {
                CRefPtr<CRssItem> item =
                    CRssItem::Create(&context, SampleWords(rng, 50) + u' ' + QString::number(i),
                                     SampleWords(rng, 300));
                item->SetPublicationTime(1700000000 - age(rng));
                channel->AddChild(item.get());
            }
            group->AddChild(channel.get());
        }
    }
};

BenchWorld& World()
{
    static BenchWorld world;
    return world;
}

// A view the size of a screen's news pane, with the preview on.
struct BenchView
{
    CRssReaderView view{World().doc, World().theme, World().frame, *World().app.Prefs()};

    BenchView()
    {
        view.resize(900, 600);
        view.InitialUpdate();
    }
};

void ShowGroupOf100000(benchmark::State& state)
{
    BenchView bench;
    QPixmap screen(bench.view.viewport()->size());
    for (auto _ : state) {
        bench.view.OnUpdate(RssEvent::GroupSelected, World().group.get());
        bench.view.viewport()->render(&screen); // the first screen of rows shows
        state.PauseTiming();
        if (bench.view.Model().rowCount() != 100000)
            state.SkipWithError("rows missing");
        bench.view.OnUpdate(RssEvent::ChannelSelected, World().empty.get());
        state.ResumeTiming();
    }
}

void Sort100000(benchmark::State& state, int kind)
{
    BenchView bench;
    bench.view.OnUpdate(RssEvent::GroupSelected, World().group.get());
    bench.view.setCurrentIndex(bench.view.Model().index(500, 2));
    int sortValue = kind + 1;
    for (auto _ : state) {
        bench.view.Model().Sort(sortValue); // every run reverses the last one
        sortValue = -sortValue;
    }
}

void SortByDate(benchmark::State& state)
{
    Sort100000(state, 3);
}
void SortByTitle(benchmark::State& state)
{
    Sort100000(state, 2);
}

void PaintOneScreen(benchmark::State& state)
{
    BenchView bench;
    bench.view.OnUpdate(RssEvent::GroupSelected, World().group.get());
    bench.view.setCurrentIndex(bench.view.Model().index(3, 2));
    QPixmap screen(bench.view.viewport()->size());
    int rows = 0;
    for (auto _ : state) {
        bench.view.viewport()->render(&screen);
        rows = bench.view.viewport()->height() / bench.view.sizeHintForRow(0) + 1;
    }
    state.counters["rows"] = rows;
}

// A channel of the shown group reads its file late: its 200 items join the 100,000 rows.
void ChannelArrivesInShownGroup(benchmark::State& state)
{
    BenchView bench;
    bench.view.OnUpdate(RssEvent::GroupSelected, World().group.get());
    bench.view.setCurrentIndex(bench.view.Model().index(500, 2));
    CRefPtr<CRssChannel> late = NodeCast<CRssChannel>(World().group->ChildrenSnapshot()[250]);
    const CRssNode::Children items = late->ChildrenSnapshot();
    for (auto _ : state) {
        state.PauseTiming();
        late->Clear();
        bench.view.OnUpdate(RssEvent::ChannelReloaded, late.get());
        for (const CRefPtr<CRssNode>& item : items)
            late->AddChild(item.get());
        state.ResumeTiming();
        bench.view.OnUpdate(RssEvent::ChannelReloaded, late.get());
    }
    if (bench.view.Model().rowCount() != 100000)
        state.SkipWithError("rows missing");
}

// A few sample news, as a person sees them, saved to `path`.
void SaveShot(const QString& path)
{
    BenchWorld& world = World();
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&world.context);
    channel->SetNameAndUrl(u"Harbour Gazette"_s, u"http://gazette.example.com/rss"_s);
    struct Sample
    {
        const char16_t* title;
        const char16_t* text;
        const char16_t* author;
        int minutesAgo;
        bool unread;
        RssItemState state;
        bool podcast;
    };
    const Sample samples[] = {
        {u"Storm closes the old harbour bridge for the weekend",
         u"The council closed the bridge on Friday evening after the storm loosened two of its "
         u"cables. Engineers will inspect it on Saturday; ferries run every half hour until then.",
         u"Mira Olsen", 12, true, RssItemState::None, false},
        {u"Museum opens its new river gallery",
         u"Three hundred objects from the river bed, from Roman coins to a medieval boat, are on "
         u"show from today. Entry is free for schools during the first month.",
         u"Jon Tarrant", 95, false, RssItemState::Ready, false},
        {u"Weekly podcast: the budget in twenty minutes",
         u"Our reporters explain what the new budget means for schools, trains and the harbour.",
         u"Gazette Audio", 240, true, RssItemState::PodcastPending, true},
        {u"Festival programme announced",
         u"Forty concerts over nine days, with the opening night on the harbour wall.", u"Ada Brun",
         1600, false, RssItemState::DownloadPending, false},
        {u"Village school wins the science fair",
         u"Pupils built a water filter from sand and charcoal that impressed the judges.",
         u"Mira Olsen", 3000, false, RssItemState::Failed, false},
    };
    for (const Sample& sample : samples) {
        CRefPtr<CRssItem> item = CRssItem::Create(&world.context, QString::fromUtf16(sample.title),
                                                  QString::fromUtf16(sample.text));
        item->SetAuthor(QString::fromUtf16(sample.author));
        item->SetPublicationTime(1700000000 - 60 * sample.minutesAgo);
        item->unread = sample.unread;
        item->SetState(sample.state);
        if (sample.podcast)
            item->SetEnclosure({u"http://gazette.example.com/budget.mp3"_s, 1000, u"audio/mpeg"_s});
        channel->AddChild(item.get());
    }
    CRssReaderView view(world.doc, world.theme, world.frame, *world.app.Prefs());
    view.resize(760, 330);
    view.show();
    view.InitialUpdate();
    view.SetColumnShown(4, true);
    view.OnUpdate(RssEvent::ChannelSelected, channel.get());
    view.setFocus();
    view.setCurrentIndex(view.Model().index(1, 2));
    QApplication::processEvents();
    view.grab().save(path);
    // The same without the preview, with the focus elsewhere: "<name>-plain.png".
    CPreferences& prefs = *world.app.Prefs();
    prefs.showPreview = false;
    view.OnUpdate(RssEvent::PreviewChanged, nullptr);
    view.clearFocus();
    QApplication::processEvents();
    view.grab().save(QString(path).replace(u".png"_s, u"-plain.png"_s));
    prefs.showPreview = true;
    view.SetColumnShown(4, false);
}

} // namespace

BENCHMARK(ShowGroupOf100000)->Unit(benchmark::kMillisecond);
BENCHMARK(SortByDate)->Unit(benchmark::kMillisecond);
BENCHMARK(SortByTitle)->Unit(benchmark::kMillisecond);
BENCHMARK(ChannelArrivesInShownGroup)->Unit(benchmark::kMillisecond);
BENCHMARK(PaintOneScreen)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--news-shot="))
            SaveShot(QString::fromLocal8Bit(arg.mid(12)));
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
