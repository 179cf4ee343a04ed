#include "DeviceCopyStep.h"

#include "CRssItem.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

namespace {

// The report of what stayed behind, one line a file.
QString StayedText(const MoveReport& report, const QStringList& notCleaned, int total)
{
    QString text;
    if (!notCleaned.isEmpty())
        text += u"These files in the device folder could not be deleted: %1.\n\n"_s.arg(
            notCleaned.join(u", "_s));
    if (report.cancelled)
        text += u"The copy was cancelled. "_s;
    if (!report.failed.empty() || report.cancelled) {
        text += u"%1 of %2 files were moved to the device; the others stay in the voice "
                "folder."_s.arg(report.moved.size())
                    .arg(total);
        int listed = 0;
        for (const MoveFailure& failure : report.failed) {
            if (++listed > 20) {
                text += u"\n..."_s;
                break;
            }
            text += u"\n%1: %2"_s.arg(QFileInfo(failure.file).fileName(), failure.reason);
        }
    }
    return text;
}

} // namespace

int RunDeviceCopy(QWidget* parent, const DeviceCopyRequest& request)
{
    QProgressDialog progress(
        u"Moving the news to %1..."_s.arg(QDir::toNativeSeparators(
            QDir(request.sync.root).filePath(request.sync.folder))),
        u"Cancel"_s, 0,
        1000, parent);
    progress.setWindowTitle(u"Synchronize"_s);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);

    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    DeviceSyncResult result;
    QEventLoop loop;
    QThread* worker = QThread::create([&] {
        result = SyncToDevice(
            request.sync,
            [&](qint64 done, qint64 total, const QString&) {
                const int now = total > 0 ? int(done * 1000 / total) : 1000;
                if (permille.exchange(now) != now)
                    QMetaObject::invokeMethod(&progress,
                                              [&progress, now] { progress.setValue(now); });
            },
            &cancel);
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &progress,
                     [&cancel] { cancel = true; });
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;
    progress.close();
    if (!result.error.isEmpty()) {
        // Nothing left the voice folder.
        QMessageBox::critical(parent, u"Synchronize"_s, result.error);
        return 0;
    }

    // Their files are gone from the voice folder: the views show it at once.
    for (const CRefPtr<CRssItem>& item : request.items)
        if (item)
            item->ResumeJobs(true);

    const QString stayed =
        StayedText(result.report, result.notCleaned, int(request.sync.files.size()));
    if (!stayed.isEmpty())
        QMessageBox::warning(parent, u"Synchronize"_s, stayed);
    return int(result.report.moved.size());
}
