// calvoria-tool export [FILE.opml] [--group PATH]: subscriptions for another reader.
#include "DataCommand.h"
#include "OpmlExchange.h"
#include "ToolCommands.h"

#include <QTextStream>
#include <cstdio>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunExportCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--group"_s}, {});
    if (!options.Ok())
        return UsageError("export", options.Error());
    if (options.Positional().size() > 1)
        return UsageError("export", u"give at most one file"_s);
    QTextStream err(stderr);
    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    CRefPtr<CRssGroup> group = FindGroup(session.Root(), options.Value(u"--group"_s), false);
    if (!group) {
        err << "no group " << options.Value(u"--group"_s) << '\n';
        return 1;
    }
    if (options.Positional().isEmpty()) {
        const QByteArray bytes = ExportOpmlBytes(*group, session.Context().Now());
        return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
                       size_t(bytes.size())
                   ? 0
                   : 1;
    }
    QString error;
    if (!ExportOpml(*group, options.Positional().first(), &error)) {
        err << "cannot write " << options.Positional().first() << ": " << error << '\n';
        return 1;
    }
    return 0;
}

const std::string kExportDetails =
    std::string("  Without FILE the OPML goes to standard output.\n") + kGroupPathHelp;

const ToolCommandRegistration kExportCommand{
    {"export",
     "[FILE.opml] [--group PATH] [--data DIR]\n"
     "write the subscriptions (or one group) as OPML 2.0 for other readers",
     RunExportCommand, kExportDetails.c_str()}};

} // namespace
