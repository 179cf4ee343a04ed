// calvoria-tool refresh DATA-ROOT [--auto]: the program's background refresh, without a
// window (for cron jobs too).
#include "DataCommand.h"
#include "ToolCommands.h"
#include "ToolSupport.h"

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CItemJobs.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"
#include "CVoiceConverter.h"
#include "CWorkQueue.h"
#include "SpeechEngineCheck.h"
#include "UpdateSchedule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <map>
#include <mutex>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunRefreshCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const CToolArgs options(args, {u"--data"_s}, {u"--auto"_s});
    if (!options.Ok())
        return UsageError("refresh", options.Error());
    if (options.Positional().size() > 1 ||
        (options.Has(u"--data"_s) && !options.Positional().isEmpty()))
        return UsageError("refresh", u"give one data folder"_s);
    const bool autoOnly = options.Has(u"--auto"_s);
    // The data folder as a word of its own (as cron jobs were written), --data, or the
    // program's.
    QString root =
        options.Positional().isEmpty() ? options.Value(u"--data"_s) : options.Positional().first();
    if (root.isEmpty())
        root = ProgramDataRoot();

    CToolServices services;
    services.CopyUserSettings(); // the news limit and the voice the person chose
    if (!services.UseDataRoot(root, err))
        return 1;
    CAppServices& app = services.App();
    CHttpSession::GlobalInit();
    app.SetSession(CRefPtr<CHttpSession>::Make());

    // New items per channel, counted from the notifications the workers post.
    std::mutex lock;
    std::map<const CRefCounted*, int> newItems;
    app.SetNotifier([&](RssEvent code, CRefPtr<CRefCounted> object) {
        if (code != RssEvent::NewItem || !object)
            return;
        CRefPtr<CRssNode> channel = static_cast<CRssItem*>(object.get())->Parent();
        std::lock_guard guard(lock);
        ++newItems[channel.get()];
    });

    // Auto-convert channels have their new items spoken or their podcasts fetched, as in
    // the program.
    app.hasVoice = CheckSpeechEngine();
    CVoiceConverter converter(app.ProgramFolder());
    const bool canConvert = converter.Initialize();
    CFeedContext context(app);
    CWorkQueue downloadQueue;
    CWorkQueue conversionQueue;
    CItemJobs itemJobs(app, downloadQueue, conversionQueue, canConvert ? &converter : nullptr);
    itemJobs.SetSpeechSettings(SpeechSettings::FromStore(app.Prefs()->Store()));
    context.SetDownloadQueue(&downloadQueue);
    context.SetItemJobs(&itemJobs);
    CRssReaderDoc doc(context);
    if (!doc.LoadNews()) {
        err << doc.LoadError() << '\n';
        return 1;
    }
    doc.WaitForChannels();
    for (const QString& problem : doc.LoadProblems())
        err << problem << '\n';

    QElapsedTimer timer;
    timer.start();
    conversionQueue.Start(1, 0, false);
    downloadQueue.Start(3, 2, true);
    UpdateGroup(doc.RootGroup(), autoOnly);
    // A page download posts its conversion: idle means both queues idle at one moment,
    // the download queue looked at last.
    while (!(downloadQueue.Idle() && conversionQueue.Idle() && downloadQueue.Idle()))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const qint64 refreshMs = timer.elapsed();
    downloadQueue.Stop();
    conversionQueue.Stop();
    const bool saved = doc.SaveNews();
    for (const QString& error : doc.SaveErrors())
        err << error << '\n';

    const std::vector<CRefPtr<CRssChannel>> channels = ChannelsBelow(doc.RootGroup());
    int failed = 0, added = 0, unread = 0, total = 0;
    out << "state\tnew\tunread\ttotal\tchannel\n";
    for (const CRefPtr<CRssChannel>& channel : channels) {
        const int fresh = newItems[channel.get()];
        out << channel->DownloadState() << '\t' << fresh << '\t' << channel->UnreadCount() << '\t'
            << channel->TotalCount() << '\t' << TsvField(channel->Name()) << '\n';
        failed += channel->DownloadState() == CRssChannel::DownloadFailed;
        added += fresh;
        unread += channel->UnreadCount();
        total += channel->TotalCount();
    }
    out << "channels " << channels.size() << ", failed " << failed << ", new " << added
        << ", unread " << unread << ", total " << total << ", refresh ms " << refreshMs << '\n';
    context.SetItemJobs(nullptr);
    converter.Unload();
    app.SetNotifier({});
    app.SetSession({});
    CHttpSession::GlobalCleanup();
    return failed || !saved || !doc.LoadProblems().isEmpty() ? 1 : 0;
}

const ToolCommandRegistration kRefreshCommand{
    {"refresh",
     "[DATA-ROOT|--data DIR] [--auto]\n                 update "
     "every channel (--auto: the auto-update ones) and save",
     RunRefreshCommand}};

} // namespace
