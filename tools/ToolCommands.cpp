#include "ToolCommands.h"

#include <algorithm>

#include "AppStartup.h"
#include "CPreferences.h"
#include "DataCommand.h"
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

ToolUsage SplitUsage(const ToolCommand& command)
{
    const QString usage = QString::fromUtf8(command.usage);
    qsizetype cut = usage.indexOf(u'\n');
    qsizetype next = cut + 1;
    if (cut < 0) { // the arguments, then at least two blanks before the description
        cut = usage.indexOf(u"  "_s);
        next = cut;
    }
    if (cut < 0)
        return {usage.trimmed(), {}};
    return {usage.left(cut).trimmed(), usage.mid(next).simplified()};
}

namespace {

int RunPathsCommand(const QStringList&)
{
    auto store = std::make_unique<QSettings>(u"Trevane Labs"_s, u"Calvoria"_s);
    const QString settingsFile = store->fileName();
    Out() << "settings\t" << TsvField(settingsFile) << '\n'
          << "data root\t" << TsvField(ProgramDataRoot()) << '\n'
          << "program folder\t" << TsvField(QCoreApplication::applicationDirPath()) << "/\n"
          << "log fallback\t" << TsvField(LogFallbackFolder()) << '\n';
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
    switch (ReadFeedDate(text, FeedDateForm::Rfc822, time)) {
    case DateReading::Read:
        Out() << FormatGmtDate(time) << '\t' << time << '\n';
        return 0;
    case DateReading::OutOfRange:
        Err() << "date out of range: " << text << '\n';
        return 1;
    case DateReading::Malformed:
        break;
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
