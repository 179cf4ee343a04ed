#include "ToolCommands.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void Usage()
{
    std::fputs("usage: calvoria-tool COMMAND [ARGS]\ncommands:\n", stderr);
    for (const ToolCommand& command : ToolCommands())
        std::fprintf(stderr, "  %s %s\n", command.name, command.usage);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty()) {
        const QString name = args.takeFirst();
        for (const ToolCommand& command : ToolCommands())
            if (name == QLatin1String(command.name))
                return command.run(args);
    }
    Usage();
    return 2;
}
