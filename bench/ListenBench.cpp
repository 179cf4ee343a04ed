// First sound of the news player: loading a 60 s spoken MP3 (16 kHz mono, 64 kbit/s, no
// Info header, as the program makes them) and playing it, against a PulseAudio server of
// the bench's own whose sink plays into silence.
//     bench_listen [benchmark options]
// FirstSound stops at started(), when the first audio was handed to the device. It runs
// after one warm-up play, printed on its own: that one includes connecting to the server.

#include "AudioFixtures.h"
#include "CAudioOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

QString g_mp3;

// Milliseconds from Load() to started(); negative when it never came.
double TimeToSound()
{
    CAudioOutput output;
    bool started = false;
    QObject::connect(&output, &CAudioOutput::started, [&] { started = true; });
    QElapsedTimer clock;
    clock.start();
    if (!output.Load(g_mp3, 0))
        return -1;
    output.Play();
    while (!started && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    output.Stop();
    return started ? ms : -1;
}

void FirstSound(benchmark::State& state)
{
    for (auto _ : state) {
        const double ms = TimeToSound();
        if (ms < 0) {
            state.SkipWithError("no sound within five seconds");
            return;
        }
        state.SetIterationTime(ms / 1000);
    }
}

} // namespace

BENCHMARK(FirstSound)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(25)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString unavailable = CNullAudioServer::Start();
    if (!unavailable.isEmpty()) {
        std::fprintf(stderr, "No audio server: %s\n", qPrintable(unavailable));
        return 1;
    }
    QTemporaryDir dir;
    g_mp3 = dir.filePath(u"spoken.mp3"_s);
    const TestTone spoken{.sampleRate = 16000, .channels = 1, .ms = 60000, .hz = 220, .gapMs = 300};
    const QString made = MakeToneMp3(g_mp3, spoken, {u"-b"_s, u"64"_s, u"-t"_s});
    if (!made.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(made));
        return 1;
    }
    std::printf("First play, connecting to the sound server: %.1f ms\n", TimeToSound());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
