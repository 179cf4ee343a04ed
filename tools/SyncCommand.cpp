// calvoria-tool sync DEVICE-ROOT [--folder PATH] [--clean] [--channel C]... [--data DIR]:
// the synchronisation's Copy from a script.
#include "DataCommand.h"
#include "ToolCommands.h"

#include "CDeviceFolder.h"
#include "DeviceSync.h"
#include "RemovableDeviceList.h"
#include "SyncSelection.h"
#include "SyncStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunSyncCommand(const QStringList& args)
{
    // --channel may be given more than once.
    QStringList rest, channelNames;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == "--channel"_L1 && i + 1 < args.size())
            channelNames << args[++i];
        else if (args[i].startsWith("--channel="_L1))
            channelNames << args[i].mid(10);
        else
            rest << args[i];
    }
    const CToolArgs options(rest, {u"--data"_s, u"--folder"_s}, {u"--clean"_s});
    if (!options.Ok())
        return UsageError("sync", options.Error());
    if (options.Positional().size() != 1)
        return UsageError("sync", u"give the device's mount point"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QString root = options.Positional().first();
    const SystemRoots system = SystemRoots::FromEnvironment();
    // A phone or camera the desktop mounted is a folder of the GVfs mount.
    const QFileInfo rootInfo(root);
    const bool phone =
        QFileInfo(rootInfo.absolutePath()).canonicalFilePath() ==
            QFileInfo(system.gvfs).canonicalFilePath() &&
        !RemovableDeviceList::GvfsDisplayName(rootInfo.fileName()).isEmpty() && rootInfo.isDir();
    if (!phone && !RemovableDeviceList::IsMountPoint(root, system)) {
        err << TsvField(root) << " is not a mount point: connect the device and give the folder "
                              "it is mounted at\n";
        return 1;
    }
    DeviceSyncRequest request;
    request.root = QFileInfo(root).canonicalFilePath();
    request.fileSystem = CDeviceFolder::FileSystemOf(request.root);

    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    std::vector<CRefPtr<CRssChannel>> channels;
    for (const QString& name : std::as_const(channelNames)) {
        std::vector<CRefPtr<CRssChannel>> named;
        if (!ChannelsNamed(session.Root(), name, named, err))
            return 1;
        for (CRefPtr<CRssChannel>& channel : named)
            if (std::find(channels.begin(), channels.end(), channel) == channels.end())
                channels.push_back(std::move(channel));
    }
    const std::vector<SyncRow> rows = channelNames.isEmpty()
                                          ? CollectSyncRows(session.Root())
                                          : CollectSyncRows(channels);

    // The folder the dialog would offer, unless one is given.
    request.folder = options.Has(u"--folder"_s)
                         ? options.Value(u"--folder"_s)
                         : QSettings(u"Trevane Labs"_s, u"Calvoria"_s)
                               .value(u"Options/DefaultDeviceFolder"_s)
                               .toString();
    request.clean = options.Has(u"--clean"_s);
    std::vector<const SyncRow*> news;
    SyncSpace space;
    for (const SyncRow& row : rows)
        if (!row.heading) {
            news.push_back(&row);
            request.files << row.mp3;
            space.required += row.size;
        }
    space.entries = int(news.size());
    space.devices = 1;
    space.deviceSelected = true;
    space.clean = request.clean;
    space.available = RemovableDeviceList::GetFreeSpace(request.root);
    CDeviceFolder folder;
    if (folder.Open(request.root, request.folder, request.fileSystem,
                    CDeviceFolder::Missing::Leave, &space.folderError))
        space.existing = folder.Mp3Bytes();
    folder.Close();
    if (space.entries == 0) {
        out << SyncStatusText(space) << '\n';
        return 0;
    }
    if (const QString problem = SyncStatusText(space); !problem.isEmpty()) {
        err << problem << '\n';
        return 1;
    }

    const DeviceSyncResult result = SyncToDevice(request);
    if (!result.error.isEmpty()) {
        err << result.error << '\n';
        return 1;
    }
    for (const QString& name : result.notCleaned)
        err << "not deleted\t" << TsvField(QDir(result.destination).filePath(name)) << '\n';
    qint64 movedBytes = 0;
    for (const QString& source : result.report.moved) {
        const auto row = std::find_if(news.begin(), news.end(),
                                      [&](const SyncRow* r) { return r->mp3 == source; });
        const QString name = QFileInfo(source).fileName();
        movedBytes += (*row)->size;
        out << "moved\t" << TsvField(QDir(result.destination).filePath(name)) << '\t'
            << TsvField((*row)->item->DisplayTitle()) << '\n';
    }
    for (const MoveFailure& failure : result.report.failed)
        err << "not moved\t" << TsvField(failure.file) << '\t' << TsvField(failure.reason) << '\n';
    out << result.report.moved.size() << " of " << news.size() << " files ("
        << movedBytes << " bytes) moved to " << TsvField(result.destination) << '\n';
    return result.report.failed.empty() && result.notCleaned.isEmpty() ? 0 : 1;
}

const ToolCommandRegistration kSyncCommand{
    {"sync",
     "DEVICE-ROOT [--folder PATH] [--clean] [--channel C]... [--data DIR]\n"
     "move the ready MP3 files to the device mounted at DEVICE-ROOT, as File > Synchronize does",
     RunSyncCommand,
     "  --folder PATH  the folder on the device (default: the one the Synchronize dialog\n"
     "                 remembers; empty is the device's root)\n"
     "  --clean        delete the MP3 files already in that folder first\n"
     "  --channel C    only the news of channel C (name or address); may be repeated\n"
     "  Each file is copied, flushed and checked on the device before it leaves the voice\n"
     "  folder. Nothing is written through links or outside the device's file system.\n"
     "  Prints one line per moved file (moved TAB path on the device TAB title) and a\n"
     "  summary; problems go to standard error. Exit code 0 when every file was moved, 1\n"
     "  otherwise (nothing moved when the files do not fit or the device is gone).\n"}};

} // namespace
