#pragma once

#include <QStringList>
#include <vector>

// One command of calvoria-tool. Each command lives in a file of its own and registers
// itself with a ToolCommandRegistration at namespace scope.
struct ToolCommand {
    const char* name;
    const char* usage; // arguments and a short description, for the usage text
    int (*run)(const QStringList& args); // arguments after the command name; exit code
    const char* details = nullptr;       // more for "help COMMAND": options, output columns
};

class ToolCommandRegistration
{
public:
    explicit ToolCommandRegistration(const ToolCommand& command);
};

// Every registered command, sorted by name.
std::vector<ToolCommand> ToolCommands();
// The usage text split into its arguments and its one-line description.
struct ToolUsage {
    QString arguments;
    QString description;
};
ToolUsage SplitUsage(const ToolCommand& command);
