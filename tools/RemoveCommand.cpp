// calvoria-tool remove URL|NAME and move URL|NAME --group PATH.
#include "DataCommand.h"
#include "ToolCommands.h"

#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunRemoveCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s}, {});
    if (!options.Ok())
        return UsageError("remove", options.Error());
    if (options.Positional().size() != 1 || options.Positional().first().isEmpty())
        return UsageError("remove", u"give one channel's address or name"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    std::vector<CRefPtr<CRssChannel>> named;
    if (!session.OpenChannels(options.Value(u"--data"_s), options.Positional().first(), named, err))
        return 1;
    const CRefPtr<CRssChannel> channel = named.front();
    // As the tree's Delete: the channel's news, voice files and channel file go with it.
    CRefPtr<CRssNode> parent = channel->Parent();
    channel->DeleteOwnFiles();
    parent->RemoveChild(channel.get());
    const bool saved = session.Save(err);
    out << "removed\t" << TsvField(channel->Name()) << '\t' << TsvField(channel->Url()) << '\n';
    return saved ? 0 : 1;
}

int RunMoveCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--group"_s}, {});
    if (!options.Ok())
        return UsageError("move", options.Error());
    if (options.Positional().size() != 1 || options.Positional().first().isEmpty() ||
        !options.Has(u"--group"_s))
        return UsageError("move", u"give one channel's address or name and --group PATH"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CDataSession session;
    std::vector<CRefPtr<CRssChannel>> named;
    if (!session.OpenChannels(options.Value(u"--data"_s), options.Positional().first(), named, err))
        return 1;
    const CRefPtr<CRssChannel> channel = named.front();
    CRefPtr<CRssGroup> target = FindGroup(session.Root(), options.Value(u"--group"_s), true);
    CRefPtr<CRssNode> from = channel->Parent();
    if (from.get() != target.get()) {
        from->RemoveChild(channel.get());
        target->AddChild(channel.get());
    }
    const bool saved = session.Save(err);
    out << "moved\t" << TsvField(channel->Name()) << '\t' << GroupPath(target.get()) << '\n';
    return saved ? 0 : 1;
}

const ToolCommandRegistration kRemove{
    {"remove", "URL|NAME [--data DIR]\n"
               "unsubscribe: the channel, its news and its voice files are deleted",
     RunRemoveCommand}};
const ToolCommandRegistration kMove{
    {"move", "URL|NAME --group PATH [--data DIR]\n"
             "move a channel into another group (made when missing; \"\" is the root)",
     RunMoveCommand, kGroupPathHelp}};

} // namespace
