#pragma once

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

// The world a fuzz target reads in: services with settings and a data root in a
// temporary folder, and a fixed clock.
struct FuzzWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(QStringLiteral("bin"))};
    CFeedContext context{app};

    FuzzWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")),
                                        QSettings::IniFormat),
            app.ProgramFolder()));
        if (!app.Prefs()->ChangeRoot(dir.filePath(QStringLiteral("data"))))
            std::abort();
        context.SetClock([] { return qint64(1700000000); });
    }

    // A file in the data root.
    QString File(const QString& name) const { return app.Prefs()->DataRoot() + name; }

    // Channel files of the last input must not be found by the next one.
    void ForgetChannelFiles() const
    {
        const QString feeds = app.Prefs()->FeedsFolder();
        QDir(feeds).removeRecursively();
        QDir().mkpath(feeds);
    }
};
