// News popups on the window thread: three channels' popups appear at once, then the one
// nearest the panel closes and the other two slide down into its place. Every step of
// their animations is timed, and so is every stretch the window thread spends awake.
//     xvfb-run -a bench_popups        (or QT_QPA_PLATFORM=offscreen bench_popups)
// Counters: frame intervals seen; the longest, the 99th percentile and the median interval
// between two frames of one popup's animation; how many exceed 16 ms, one 60 Hz frame
// and two; the longest the window thread spent on one event (an animation tick, a paint).
// Qt's animation timer ticks every 16 ms.

#include "CNewsPopups.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CThemeColors.h"
#include "CTrayMessage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// Times every event the window thread handles, from the outermost delivery.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer clock;
        clock.start();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (ms > longestEventMs) {
            longestEventMs = ms;
            longestEventType = int(event->type());
        }
        --m_depth;
        return handled;
    }
    double longestEventMs = 0;
    int longestEventType = 0;

private:
    int m_depth = 0;
};

struct FrameLog
{
    QElapsedTimer clock;
    std::vector<double> intervals; // ms between two frames of one popup

    // The last frame of each watched popup; cleared between two animations, so the pause
    // between them is not taken for a frame interval.
    std::vector<std::shared_ptr<qint64>> lastFrames;

    void watch(CTrayMessage* popup)
    {
        auto last = std::make_shared<qint64>(-1);
        lastFrames.push_back(last);
        QObject::connect(popup, &CTrayMessage::frameApplied, popup, [this, last] {
            const qint64 now = clock.nsecsElapsed();
            if (*last >= 0)
                intervals.push_back(double(now - *last) / 1e6);
            *last = now;
        });
    }
    void animationsEnded()
    {
        for (const auto& last : lastFrames)
            *last = -1;
    }
};

// Runs the event loop (never sleeping past it, unlike QTest::qWaitFor) until `done`.
bool RunUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return done();
}

bool Settled(CNewsPopups& popups, size_t count)
{
    const QList<CTrayMessage*> stack = popups.stack();
    if (size_t(stack.size()) != count)
        return false;
    for (CTrayMessage* popup : stack)
        if (popup->isDismissing() || popup->isSliding() || !popup->isDisplayTimerRunning())
            return false;
    return true;
}

void ThreePopupsAppearThenOneCloses(benchmark::State& state)
{
    CThemeColors theme;
    FrameLog log;
    auto* app = static_cast<TimedApplication*>(QCoreApplication::instance());
    app->longestEventMs = 0;
    size_t frames = 0;
    for (auto _ : state) {
        log.clock.start();
        CNewsPopups popups(&theme);
        std::vector<CRefPtr<CRssChannel>> channels;
        for (int n = 0; n < 3; ++n) {
            channels.push_back(CRssChannel::Create(nullptr));
            channels.back()->SetNameAndUrl(u"Channel %1"_s.arg(n),
                                           u"http://example.com/%1"_s.arg(n));
            for (int i = 0; i < 4; ++i) {
                CRefPtr<CRssItem> item = CRssItem::Create(
                    nullptr, u"Headline %1 of a channel with a long name for the popup"_s.arg(i),
                    u"Text"_s);
                channels.back()->AddChild(item.get());
                if (CTrayMessage* popup = popups.showPopup(item.get()); popup && i == 0)
                    log.watch(popup);
            }
        }
        if (!RunUntil([&] { return Settled(popups, 3); })) {
            state.SkipWithError("the popups did not appear");
            break;
        }
        log.animationsEnded();
        popups.stack().front()->dismiss();
        if (!RunUntil([&] { return Settled(popups, 2); })) {
            state.SkipWithError("the gap did not close");
            break;
        }
        state.SetIterationTime(double(log.clock.nsecsElapsed()) / 1e9);
        log.lastFrames.clear();
    }
    std::vector<double> sorted = log.intervals;
    std::sort(sorted.begin(), sorted.end());
    frames = sorted.size();
    auto over = [&](double limit) {
        return double(
            std::count_if(sorted.begin(), sorted.end(), [&](double ms) { return ms > limit; }));
    };
    state.counters["frames"] = double(frames);
    state.counters["max_interval_ms"] = frames ? sorted.back() : 0;
    state.counters["p99_interval_ms"] = frames ? sorted[size_t(double(frames - 1) * 0.99)] : 0;
    state.counters["median_interval_ms"] = frames ? sorted[frames / 2] : 0;
    state.counters["over_16ms"] = over(16);
    state.counters["over_16.7ms"] = over(1000.0 / 60);
    state.counters["over_33ms"] = over(33);
    state.counters["max_event_ms"] = app->longestEventMs;
    state.SetLabel("longest event: QEvent::Type " + std::to_string(app->longestEventType));
}
BENCHMARK(ThreePopupsAppearThenOneCloses)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    TimedApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
