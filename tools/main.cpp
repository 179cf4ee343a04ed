#include "ProgramLicense.h"
#include "ToolCommands.h"
#include "ToolSupport.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// Every command on a line of its own, the descriptions in one column.
void PrintCommands(QTextStream& out)
{
    const std::vector<ToolCommand> commands = ToolCommands();
    qsizetype width = 0;
    for (const ToolCommand& command : commands)
        width = std::max(width, qsizetype(qstrlen(command.name)));
    out << "usage: calvoria-tool COMMAND [ARGS]\n"
           "       calvoria-tool help COMMAND    the arguments of one command\n"
           "commands:\n";
    for (const ToolCommand& command : commands)
        out << "  " << QString::fromLatin1(command.name).leftJustified(width + 2)
            << SplitUsage(command).description << '\n';
}

void PrintCommand(QTextStream& out, const ToolCommand& command)
{
    const ToolUsage usage = SplitUsage(command);
    out << "usage: calvoria-tool " << command.name;
    if (!usage.arguments.isEmpty())
        out << ' ' << usage.arguments;
    out << "\n  " << usage.description << '\n';
    if (command.details)
        out << QString::fromUtf8(command.details);
}

const ToolCommand* Find(const QString& name)
{
    static const std::vector<ToolCommand> commands = ToolCommands();
    for (const ToolCommand& command : commands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

bool AsksForHelp(const QStringList& args)
{
    return args.contains(u"--help"_s) || args.contains(u"-h"_s);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty()) {
        PrintCommands(err);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == u"--version"_s) {
        out << "calvoria-tool " << CALVORIA_VERSION << '\n' << kLicenseNotice;
        return 0;
    }
    if (name == u"--help"_s || name == u"-h"_s || (name == u"help"_s && args.isEmpty())) {
        PrintCommands(out);
        return 0;
    }
    if (name == u"help"_s) {
        const ToolCommand* command = Find(args.first());
        if (!command) {
            err << "calvoria-tool: no command " << args.first() << " (calvoria-tool --help)\n";
            return 2;
        }
        PrintCommand(out, *command);
        return 0;
    }
    const ToolCommand* command = Find(name);
    if (!command) {
        err << "calvoria-tool: no command " << name << " (calvoria-tool --help)\n";
        return 2;
    }
    if (AsksForHelp(args)) {
        PrintCommand(out, *command);
        return 0;
    }
    // Nothing the command leaves in the temporary folder outlives it, killed or not.
    const CToolTempRoot temporaries;
    return command->run(args);
}
