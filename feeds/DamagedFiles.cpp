#include "DamagedFiles.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "StoredFile.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

bool KeepDamagedFile(CFeedContext& context, const QString& path, const QString& reason)
{
    const QString kept = KeepFileAside(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (kept.isEmpty()) {
        LogFormat("*ERROR: Cannot read '%s' whole (%s) nor keep it aside: it will not be saved over",
                  qUtf8Printable(path), qUtf8Printable(reason));
        context.ReportStoredFileProblem(
            u"%1 could not be read whole (%2) and could not be kept aside, so Calvoria will not save over it."_s
                .arg(shown, reason));
        return false;
    }
    LogFormat("*ERROR: Cannot read '%s' whole (%s): kept it as '%s'", qUtf8Printable(path),
              qUtf8Printable(reason), qUtf8Printable(kept));
    context.ReportStoredFileProblem(
        u"%1 could not be read whole (%2). It was kept as %3; Calvoria shows what could be read of it."_s
            .arg(shown, reason, QDir::toNativeSeparators(kept)));
    return true;
}

void ReportRefusedFile(CFeedContext& context, const QString& path, const QString& reason)
{
    LogFormat("*ERROR: Refused stored file '%s': %s", qUtf8Printable(path), qUtf8Printable(reason));
    context.ReportStoredFileProblem(
        u"%1 is not a file Calvoria can read or replace (%2)."_s.arg(QDir::toNativeSeparators(path),
                                                                    reason));
}
