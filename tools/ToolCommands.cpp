#include "ToolCommands.h"

#include <algorithm>

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

std::vector<ToolCommand>& Registry()
{
    static std::vector<ToolCommand> commands;
    return commands;
}

} // namespace

ToolCommandRegistration::ToolCommandRegistration(const ToolCommand& command)
{
    Registry().push_back(command);
}

std::vector<ToolCommand> ToolCommands()
{
    std::vector<ToolCommand> commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const ToolCommand& a, const ToolCommand& b) { return qstrcmp(a.name, b.name) < 0; });
    return commands;
}

namespace {

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

const ToolCommandRegistration kPaths{
    {"paths", "             where the settings, the data and the log live", RunPathsCommand}};
const ToolCommandRegistration kDate{
    {"date", "TEXT          read a feed date (RFC 822 or ISO 8601) and print it as UTC",
     RunDateCommand}};

} // namespace
