#pragma once

#include <QStringList>

// Each command takes its arguments (after the command name) and returns the exit code.
int RunPathsCommand(const QStringList& args);
int RunDateCommand(const QStringList& args);
int RunParseCommand(const QStringList& args);
int RunLoadCommand(const QStringList& args);
int RunRefreshCommand(const QStringList& args);
