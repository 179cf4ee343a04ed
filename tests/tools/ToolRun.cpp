#include "ToolRun.h"

#include "TestSupport.h"

#include <QProcess>

using namespace Qt::Literals::StringLiterals;

ToolRun Tool(const QStringList& args)
{
    QProcess tool;
    tool.start(BinDir() + u"/calvoria-tool"_s, args);
    ToolRun run;
    if (!tool.waitForFinished(120000))
        return run;
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -2;
    run.bytes = tool.readAllStandardOutput();
    run.out = QString::fromUtf8(run.bytes).split(u'\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}
