#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One run of the built calvoria-tool.
struct ToolRun
{
    int exitCode = -1; // -1 when it did not end in time, -2 when a signal ended it
    QStringList out;   // standard output, one entry a line
    QByteArray bytes;  // standard output as written
    QString err;
};

// Runs calvoria-tool with args and waits for it, two minutes at most.
ToolRun Tool(const QStringList& args);
