#include "ToolCommands.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

void Usage()
{
    std::fputs("usage: calvoria-tool COMMAND [ARGS]\n"
               "commands:\n"
               "  paths        where the settings, the data and the log live\n"
               "  date TEXT    read a feed date (RFC 822 or ISO 8601) and print it as UTC\n"
               "  parse SOURCE read a feed (URL or file): its kind, channel info and items\n"
               "  load DATA-ROOT [--save] [--touch-one|--touch-all]\n"
               "               load a data folder as the program does; time it, and the save\n"
               "  refresh DATA-ROOT [--auto]\n"
               "               update every channel (--auto: the auto-update ones) and save\n",
               stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {u"paths"_s, RunPathsCommand},
        {u"date"_s, RunDateCommand},
        {u"parse"_s, RunParseCommand},
        {u"load"_s, RunLoadCommand},
        {u"refresh"_s, RunRefreshCommand},
    };
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || !commands.contains(args.first())) {
        Usage();
        return 2;
    }
    const QString name = args.takeFirst();
    return commands.at(name)(args);
}
