// calvoria-tool convert-news ID...: speaks news items (or fetches their podcasts) as the
// news list's commands do, waits, and prints the MP3 files.
#include "DataCommand.h"
#include "ToolCommands.h"

#include "VoiceWork.h"

#include <QFileInfo>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunConvertNewsCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s}, {});
    if (!options.Ok())
        return UsageError("convert-news", options.Error());
    if (options.Positional().isEmpty())
        return UsageError("convert-news", u"give the ids of the news items (from news)"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CToolLog log;
    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    const qsizetype loadLines = log.Lines().size(); // what follows is this command's own
    CToolVoiceWork work(session.App(), session.Context());
    QStringList ids;
    for (const QString& id : options.Positional())
        ids << id.toUpper();
    std::vector<CRefPtr<CRssItem>> items;
    for (const CRefPtr<CRssChannel>& channel : ChannelsBelow(session.Root()))
        for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot())
            if (auto item = NodeCast<CRssItem>(node); item && ids.contains(ItemId(*item))) {
                items.push_back(item);
                ids.removeAll(ItemId(*item));
            }
    for (const QString& id : ids)
        err << "no news item " << id << '\n';

    for (const CRefPtr<CRssItem>& item : items) {
        if (item->HasMp3Enclosure())
            item->RequestPodcast({.retry = true});
        else if (work.CanConvert() && session.App().hasVoice)
            item->RequestConversion({.retry = true});
    }
    work.WaitUntilIdle();

    const int missing = int(ids.size());
    int failed = 0;
    for (const CRefPtr<CRssItem>& item : items) {
        const bool ready = item->State() == RssItemState::Ready && QFileInfo(item->Mp3File()).isFile();
        out << (ready ? "ready\t" : "failed\t") << ItemId(*item) << '\t'
            << TsvField(ready ? item->Mp3File() : item->DisplayTitle()) << '\n';
        failed += !ready;
    }
    if (failed)
        PrintProblems(log, err, loadLines);
    failed += missing;
    const bool saved = session.Save(err);
    return failed || !saved ? 1 : 0;
}

const ToolCommandRegistration kConvertNewsCommand{
    {"convert-news",
     "ID... [--data DIR]\n"
     "speak news items (or fetch their podcasts), wait, print the MP3 files",
     RunConvertNewsCommand,
     "  Prints \"ready TAB id TAB mp3 file\" or \"failed TAB id TAB title\" per item.\n"}};

} // namespace
