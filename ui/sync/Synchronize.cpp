#include "Synchronize.h"

#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "CSyncDlg.h"
#include "DeviceCopyStep.h"

void RunSynchronization(CRssReaderDoc& doc, CPreferences& prefs, CThemeColors& theme,
                        QWidget* parent)
{
    // Every channel's news counts, also of channels still being read at start-up.
    doc.WaitForChannels();
    CSyncDlg dialog(CollectSyncRows(doc.RootGroup()), prefs, theme, SystemRoots::FromEnvironment(),
                    parent);
    if (dialog.exec() != QDialog::Accepted || dialog.ResultRoot().isEmpty())
        return;
    DeviceCopyRequest request;
    request.sync.root = dialog.ResultRoot();
    request.sync.fileSystem = dialog.ResultFileSystem();
    request.sync.folder = dialog.Folder();
    request.sync.clean = prefs.cleanDeviceFolder;
    for (const SyncRow* row : dialog.Ticked()) {
        request.sync.files << row->mp3;
        request.items.push_back(row->item);
    }
    RunDeviceCopy(parent, request);
}
