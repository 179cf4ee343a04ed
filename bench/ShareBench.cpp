// Sharing the audio with a phone: building the feed of 1,000 episodes from a tree of 5,000
// news, reading the durations of 1,000 files from their headers, one 50 MB download over
// the loopback, and 50 downloads at once (the peak memory they add to the server's process).

#include "CAppServices.h"
#include "CAudioServer.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "Mp3Duration.h"
#include "PodcastFeed.h"
#include "SampleWords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

using namespace Qt::Literals::StringLiterals;

extern char** environ;

namespace {

constexpr int kGroups = 4;
constexpr int kChannelsPerGroup = 5;
constexpr int kReadyPerChannel = 50; // 1,000 episodes
constexpr int kOtherPerChannel = 200;

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Constant-rate frames as our encoder writes them: 100 frames, 3.6 s.
QByteArray SmallMp3()
{
    QByteArray frame(288, '\0');
    frame[0] = char(0xFF), frame[1] = char(0xF3), frame[2] = char(0x88), frame[3] = char(0xC4);
    return frame.repeated(100);
}

struct ShareWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    CRefPtr<CRssGroup> root = CRssGroup::Create(&context, true);
    QStringList files;

    ShareWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        app.Prefs()->ChangeRoot(dir.filePath(u"data"_s));
        QDir().mkpath(app.Prefs()->Mp3Folder());
        std::mt19937 rng(42);
        const QByteArray mp3 = SmallMp3();
        int n = 0;
        for (int g = 0; g < kGroups; ++g) {
            auto group = CRssGroup::Create(&context);
            group->Rename(u"Group "_s + QString::number(g));
            root->AddChild(group.get());
            for (int c = 0; c < kChannelsPerGroup; ++c) {
                auto channel = CRssChannel::Create(&context);
                channel->SetNameAndUrl(SampleWords(rng, 20), u"http://bench.example/"_s + QString::number(n));
                group->AddChild(channel.get());
                for (int i = 0; i < kReadyPerChannel + kOtherPerChannel; ++i, ++n) {
                    const QString description = u"<p><b>"_s + SampleWords(rng, 20) + u"</b> "_s +
                                                SampleWords(rng, 400) + u"</p><p>"_s +
                                                SampleWords(rng, 300) + u" &amp; more</p>"_s;
                    auto item = CRssItem::Create(&context, QString::number(n) + u' ' + SampleWords(rng, 50),
                                                 description);
                    item->SetLink(u"http://bench.example/news/"_s + QString::number(n));
                    item->SetPublicationTime(1700000000 + n * 37 % 100000);
                    channel->AddChild(item.get());
                    if (i < kReadyPerChannel) {
                        item->SetState(RssItemState::Ready);
                        Write(item->Mp3File(), mp3);
                        files << item->Mp3File();
                    }
                }
            }
        }
    }
};

ShareWorld& World()
{
    static ShareWorld world;
    return world;
}

void BM_PodcastFeedOf1000Episodes(benchmark::State& state)
{
    ShareWorld& world = World();
    PodcastFeedInfo info;
    info.title = u"Calvoria"_s;
    info.selfUrl = u"http://192.168.1.5:8765/0123456789abcdef0123456789abcdef/podcast.xml"_s;
    size_t episodes = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const std::vector<PodcastEpisode> list = CollectEpisodes(*world.root, nullptr);
        const QByteArray feed = BuildPodcastFeed(
            info, list, u"http://192.168.1.5:8765/0123456789abcdef0123456789abcdef/audio/"_s);
        episodes = list.size();
        bytes = feed.size();
        benchmark::DoNotOptimize(feed.constData());
    }
    state.counters["episodes"] = double(episodes);
    state.counters["feed_KB"] = double(bytes) / 1024;
}
BENCHMARK(BM_PodcastFeedOf1000Episodes)->Unit(benchmark::kMillisecond);

// The durations as read the first time a file is seen (the cache misses every time).
void BM_DurationHeadersOf1000Files(benchmark::State& state)
{
    ShareWorld& world = World();
    qint64 miss = 0;
    for (auto _ : state) {
        ++miss;
        qint64 total = 0;
        for (const QString& file : world.files)
            total += Mp3DurationMs(file, 28800, -miss);
        if (total != qint64(world.files.size()) * 3600)
            state.SkipWithError("wrong durations");
    }
}
BENCHMARK(BM_DurationHeadersOf1000Files)->Unit(benchmark::kMillisecond);

// A server sharing one large file.
struct LargeFileServer
{
    QTemporaryDir dir;
    CAudioServer server;
    QString url;
    qint64 size = 50 * 1024 * 1024;

    LargeFileServer()
    {
        QByteArray piece(1024 * 1024, '\0');
        std::mt19937 rng(7);
        for (char& c : piece)
            c = char(rng());
        QFile file(dir.filePath(u"large.mp3"_s));
        if (file.open(QIODevice::WriteOnly))
            for (int i = 0; i < 50; ++i)
                file.write(piece);
        file.close();
        server.Start(u"127.0.0.1"_s, 0);
        auto snapshot = std::make_shared<ShareSnapshot>();
        snapshot->secret = "0123456789abcdef0123456789abcdef";
        snapshot->files.insert(u"large.mp3"_s, {file.fileName(), size, 0});
        server.Publish(snapshot);
        url = u"http://127.0.0.1:%1/%2/audio/large.mp3"_s.arg(server.Port()).arg(
            QString::fromLatin1(snapshot->secret));
    }
};

LargeFileServer& Large()
{
    static LargeFileServer large;
    return large;
}

// curl downloads, n at once, to /dev/null; true when all got the whole file.
bool Download(const QString& url, int n)
{
    const QByteArray address = url.toLatin1();
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const char* argv[] = {"curl", "-s", "-f", "-o", "/dev/null", address.constData(), nullptr};
        pid_t pid;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
            children.push_back(pid);
    }
    bool whole = int(children.size()) == n;
    for (pid_t pid : children) {
        int status = 0;
        whole = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && whole;
    }
    return whole;
}

void BM_ServeLargeFile(benchmark::State& state)
{
    LargeFileServer& large = Large();
    for (auto _ : state)
        if (!Download(large.url, 1))
            state.SkipWithError("download failed");
    state.SetBytesProcessed(state.iterations() * large.size);
}
BENCHMARK(BM_ServeLargeFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

qint64 StatusKb(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return 0;
}

// Each round with a server of its own: what its threads, buffers and connections add at
// their peak to the memory the process had before it.
void BM_FiftyDownloadsAtOnce(benchmark::State& state)
{
    qint64 growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const qint64 before = StatusKb("VmRSS:");
        auto large = std::make_unique<LargeFileServer>();
        QFile clear(u"/proc/self/clear_refs"_s); // "5": the peak starts again from now
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        state.ResumeTiming();
        if (!Download(large->url, 50))
            state.SkipWithError("a download failed");
        state.PauseTiming();
        growth = std::max(growth, StatusKb("VmHWM:") - before);
        large.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * 50 * qint64(50 * 1024 * 1024));
    state.counters["peak_rss_growth_MB"] = double(growth) / 1024;
}
BENCHMARK(BM_FiftyDownloadsAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
