// calvoria-tool import FILE.opml [--group PATH]: subscriptions from another reader.
#include "DataCommand.h"
#include "OpmlExchange.h"
#include "ToolCommands.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

// The import's "name TAB url" and "url TAB reason" lines as two escaped fields: the text from
// the file comes first and may hold tabs itself; the second field never does.
QString TsvRowOfTwo(const QString& line)
{
    const qsizetype tab = line.lastIndexOf(u'\t');
    if (tab < 0)
        return TsvField(line);
    return TsvField(line.left(tab)) + u'\t' + TsvField(line.mid(tab + 1));
}

int RunImportCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--group"_s}, {});
    if (!options.Ok())
        return UsageError("import", options.Error());
    if (options.Positional().size() != 1)
        return UsageError("import", u"give one OPML file"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    QElapsedTimer timer;
    timer.start();
    CRefPtr<CRssGroup> group = FindGroup(session.Root(), options.Value(u"--group"_s), true);
    const OpmlImportResult result = ImportOpml(options.Positional().first(), *group, session.Doc());
    if (!result.ok) {
        err << result.error << '\n';
        return 1;
    }
    const qint64 importMs = timer.restart();
    const bool saved = session.Save(err);
    const qint64 saveMs = timer.elapsed();
    for (const QString& line : result.addedFeeds)
        out << "added\t" << TsvRowOfTwo(line) << '\n';
    for (const QString& line : result.skippedFeeds)
        out << "skipped\t" << TsvRowOfTwo(line) << '\n';
    out << "added " << result.added << ", skipped " << result.skipped << ", rejected "
        << result.rejected << ", new groups " << result.groupsAdded << ", import ms " << importMs
        << ", save ms " << saveMs << '\n';
    return saved ? 0 : 1;
}

const std::string kImportDetails =
    std::string("  Folders become groups (merged with groups of the same name); feeds already\n"
                "  subscribed are skipped. Prints \"added TAB name TAB url\" and\n"
                "  \"skipped TAB url TAB reason\" lines, then the counts.\n"
                "  --group PATH  import under this group, made when missing\n") +
    kGroupPathHelp;

const ToolCommandRegistration kImportCommand{
    {"import",
     "FILE.opml [--group PATH] [--data DIR]\n"
     "subscribe to the feeds of another reader's OPML file (nothing is downloaded)",
     RunImportCommand, kImportDetails.c_str()}};

} // namespace
