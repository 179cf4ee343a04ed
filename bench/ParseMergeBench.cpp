// Parsing a large feed and merging it into a channel: the first download into an empty
// channel, and the next download of the same feed, where every item is already known;
// RSS and the same items as a JSON Feed.

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "JsonFeed.h"
#include "SampleWords.h"
#include "XmlHelpers.h"

#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kSource = u"http://bench.example.com/feed"_s;

// 10,000 items: titles of about 60 characters, descriptions of about 600 with some HTML;
// as RSS, or as a JSON Feed with the same texts.
QByteArray MakeFeed(int items, bool json = false)
{
    std::mt19937 rng(42);
    QString xml =
        json ? u"{\"version\":\"https://jsonfeed.org/version/1.1\",\"title\":\"Bench "
               u"News\",\"home_page_url\":\"http://bench.example.com/\",\"items\":[\n"_s
             : u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
               u"<title>Bench News</title><link>http://bench.example.com/</link>"
               u"<description>Many items</description><ttl>30</ttl>\n"_s;
    for (int i = 0; i < items; ++i) {
        const QString number = QString::number(i);
        const QString title = number + u' ' + SampleWords(rng, 54);
        const QString description = u"<p><b>"_s + SampleWords(rng, 20) + u"</b> "_s +
                                    SampleWords(rng, 215) +
                                    u"</p><p><a href=\"http://bench.example.com/"_s + number +
                                    u"\">more</a> "_s + SampleWords(rng, 200) + u"</p>"_s;
        const QString time = QString::number(i / 60 % 24).rightJustified(2, u'0') + u':' +
                             QString::number(i % 60).rightJustified(2, u'0');
        if (json) {
            xml += u"{\"id\":\"news-"_s + number + u"\",\"title\":\""_s + title +
                   u"\",\"url\":\"http://bench.example.com/news/"_s + number +
                   u"\",\"content_html\":\""_s + QString(description).replace(u'"', u"\\\""_s) +
                   u"\",\"date_published\":\"2023-11-14T"_s + time + u":00Z\"}"_s +
                   (i + 1 < items ? u",\n"_s : u"\n"_s);
            continue;
        }
        xml += u"<item><title>"_s + title.toHtmlEscaped() +
               u"</title><link>http://bench.example.com/news/"_s + number +
               u"</link><description>"_s + description.toHtmlEscaped() +
               u"</description><pubDate>Tue, 14 Nov 2023 "_s + time +
               u":00 GMT</pubDate><guid>news-"_s + number + u"</guid></item>\n"_s;
    }
    xml += json ? u"]}\n"_s : u"</channel></rss>\n"_s;
    return xml.toUtf8();
}

struct BenchWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    QByteArray feed = MakeFeed(10000);
    QByteArray jsonFeed = MakeFeed(10000, true);

    BenchWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        app.Prefs()->ChangeRoot(dir.filePath(u"data"_s));
        app.Prefs()->limitNewsPerChannel = false; // every item takes part
        context.SetClock([] { return qint64(1700000000); });
    }
};

BenchWorld& World()
{
    static BenchWorld world;
    return world;
}

void ParseAndMergeIntoEmptyChannel(benchmark::State& state)
{
    BenchWorld& world = World();
    for (auto _ : state) {
        state.PauseTiming();
        auto channel = CRssChannel::Create(&world.context);
        state.ResumeTiming();
        XmlDocPtr doc = ParseXml(world.feed, kSource);
        if (MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live,
                              ChannelNotice::Post) != kResultOk ||
            channel->ChildCount() != 10000)
            state.SkipWithError("merge failed");
        state.PauseTiming();
        doc.reset();
        channel.reset();
        state.ResumeTiming();
    }
    state.counters["MB"] = double(world.feed.size()) / (1024 * 1024);
}

void ParseAndMergeUnchangedFeed(benchmark::State& state)
{
    BenchWorld& world = World();
    auto channel = CRssChannel::Create(&world.context);
    {
        XmlDocPtr doc = ParseXml(world.feed, kSource);
        MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live, ChannelNotice::Post);
    }
    for (auto _ : state) {
        XmlDocPtr doc = ParseXml(world.feed, kSource);
        if (MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live,
                              ChannelNotice::Post) != kResultOk ||
            channel->ChildCount() != 10000)
            state.SkipWithError("merge failed");
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}

// The same without the XML parse: reading the items and the merge alone.
void MergeUnchangedDocument(benchmark::State& state)
{
    BenchWorld& world = World();
    auto channel = CRssChannel::Create(&world.context);
    XmlDocPtr doc = ParseXml(world.feed, kSource);
    MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live, ChannelNotice::Post);
    for (auto _ : state) {
        if (MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live,
                              ChannelNotice::Post) != kResultOk)
            state.SkipWithError("merge failed");
    }
}

void ParseOnly(benchmark::State& state)
{
    BenchWorld& world = World();
    for (auto _ : state) {
        XmlDocPtr doc = ParseXml(world.feed, kSource);
        benchmark::DoNotOptimize(doc.get());
    }
}

// The JSON Feed of the same items, read into its RSS form and merged.
void JsonFeedParseAndMergeIntoEmptyChannel(benchmark::State& state)
{
    BenchWorld& world = World();
    for (auto _ : state) {
        state.PauseTiming();
        auto channel = CRssChannel::Create(&world.context);
        state.ResumeTiming();
        XmlLoadError error;
        XmlDocPtr doc = JsonFeedToRss(world.jsonFeed, error);
        if (!doc ||
            MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live,
                              ChannelNotice::Post) != kResultOk ||
            channel->ChildCount() != 10000)
            state.SkipWithError("merge failed");
        state.PauseTiming();
        doc.reset();
        channel.reset();
        state.ResumeTiming();
    }
    state.counters["MB"] = double(world.jsonFeed.size()) / (1024 * 1024);
}

void JsonFeedParseAndMergeUnchanged(benchmark::State& state)
{
    BenchWorld& world = World();
    auto channel = CRssChannel::Create(&world.context);
    XmlLoadError error;
    {
        XmlDocPtr doc = JsonFeedToRss(world.jsonFeed, error);
        MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live, ChannelNotice::Post);
    }
    for (auto _ : state) {
        XmlDocPtr doc = JsonFeedToRss(world.jsonFeed, error);
        if (!doc ||
            MergeFeedDocument(*channel, doc.get(), kSource, FeedOrigin::Live,
                              ChannelNotice::Post) != kResultOk ||
            channel->ChildCount() != 10000)
            state.SkipWithError("merge failed");
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(JsonFeedParseAndMergeIntoEmptyChannel)->Unit(benchmark::kMillisecond);
BENCHMARK(JsonFeedParseAndMergeUnchanged)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseAndMergeIntoEmptyChannel)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseAndMergeUnchangedFeed)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeUnchangedDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
