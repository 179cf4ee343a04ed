#include "ToolCommands.h"

#include "AppStartup.h"
#include "CPreferences.h"
#include "DateHelpers.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTextStream>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace {

QTextStream& Out()
{
    static QTextStream out(stdout);
    return out;
}

QTextStream& Err()
{
    static QTextStream err(stderr);
    return err;
}

} // namespace

int RunPathsCommand(const QStringList&)
{
    auto store = std::make_unique<QSettings>(u"Trevane Labs"_s, u"Calvoria"_s);
    const QString settingsFile = store->fileName();
    const QString storedRoot = store->value(u"Options/Root"_s).toString();
    Out() << "settings\t" << settingsFile << '\n'
          << "data root\t" << (storedRoot.isEmpty() ? CPreferences::DefaultDataRoot() : storedRoot)
          << '\n'
          << "program folder\t" << QCoreApplication::applicationDirPath() << "/\n"
          << "log fallback\t" << LogFallbackFolder() << '\n';
    return 0;
}

int RunDateCommand(const QStringList& args)
{
    if (args.isEmpty()) {
        Err() << "usage: calvoria-tool date TEXT\n";
        return 2;
    }
    const QString text = args.join(u' ');
    qint64 time = 0;
    try {
        if (ParseRfc822Date(text, time) || ParseIso8601Date(text, time)) {
            Out() << FormatGmtDate(time) << '\t' << time << '\n';
            return 0;
        }
    } catch (const std::exception& e) {
        Err() << "date out of range: " << e.what() << '\n';
        return 1;
    }
    Err() << "not a feed date: " << text << '\n';
    return 1;
}
