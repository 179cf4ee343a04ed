// The synchronisation dialog over 2,000 prepared news (20 channels of 100, each with its
// MP3 file): collecting the rows and opening the dialog up to its first paint.
//     bench_sync [benchmark options]
//     bench_sync --move FOLDER FILE...    moves the files as Synchronize does, prints seconds

#include "CAppServices.h"
#include "CDeviceFolder.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CSyncDlg.h"
#include "CThemeColors.h"
#include "DeviceCopy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

struct PreparedWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    CRefPtr<CRssGroup> root = CRssGroup::Create(&context, true);
    CThemeColors theme;

    PreparedWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        app.Prefs()->ChangeRoot(dir.filePath(u"data"_s));
        for (int c = 0; c < 20; ++c) {
            CRefPtr<CRssChannel> channel = CRssChannel::Create(&context);
            channel->SetNameAndUrl(u"Channel "_s + QString::number(c),
                                   u"http://bench.example.com/"_s + QString::number(c));
            root->AddChild(channel.get());
            for (int i = 0; i < 100; ++i) {
                CRefPtr<CRssItem> item = CRssItem::Create(
                    &context, u"Prepared news %1 of channel %2"_s.arg(i).arg(c), u"Text"_s);
                item->SetPublicationTime(1700000000 - i * 600);
                channel->AddChild(item.get());
                item->SetState(RssItemState::Ready);
                QFile file(item->Mp3File());
                if (file.open(QIODevice::WriteOnly))
                    file.write(QByteArray(1000 + i, 'x'));
            }
        }
    }
};

void OpenDialog(benchmark::State& state)
{
    PreparedWorld world;
    for (auto _ : state) {
        CSyncDlg dialog(CollectSyncRows(*world.root), *world.app.Prefs(), world.theme);
        dialog.show();
        dialog.grab(); // the first paint
        benchmark::DoNotOptimize(dialog.Model().rowCount());
        if (dialog.Model().EntryCount() != 2000)
            state.SkipWithError("not every prepared news is listed");
    }
}
BENCHMARK(OpenDialog)->Unit(benchmark::kMillisecond)->UseRealTime();

int Move(int argc, char** argv)
{
    QStringList files;
    for (int i = 3; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    QElapsedTimer timer;
    timer.start();
    CDeviceFolder folder;
    QString error;
    if (!folder.Open(QString::fromLocal8Bit(argv[2]), {}, 0, CDeviceFolder::Missing::Make,
                     &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const MoveReport report = MoveFiles(files, folder);
    std::printf("%.3f s, %lld moved, %zu failed\n", timer.nsecsElapsed() / 1e9,
                qlonglong(report.moved.size()), report.failed.size());
    return report.failed.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string_view(argv[1]) == "--move")
        return Move(argc, argv);
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
