// calvoria-tool add URL: subscribes as the New Channel dialog does, and downloads once.
#include "DataCommand.h"
#include "FeedDiscovery.h"
#include "OpmlExchange.h"
#include "TextHelpers.h"
#include "ToolCommands.h"
#include "VoiceWork.h"

#include <QTextStream>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

int RunAddCommand(const QStringList& args)
{
    const CToolArgs options(args, {u"--data"_s, u"--group"_s, u"--name"_s},
                            {u"--auto-convert"_s, u"--no-auto-update"_s});
    if (!options.Ok())
        return UsageError("add", options.Error());
    if (options.Positional().size() != 1)
        return UsageError("add", u"give one feed address"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString url;
    if (!NormalizeFeedUrl(options.Positional().first(), url) || FeedUrlKey(url).isEmpty()) {
        err << "not a feed address: " << options.Positional().first() << '\n';
        return 1;
    }
    CToolLog log;
    CDataSession session;
    if (!session.Open(options.Value(u"--data"_s), err))
        return 1;
    const qsizetype loadLines = log.Lines().size(); // what follows is this command's own
    QString ignored;
    if (CRefPtr<CRssChannel> known = FindChannel(session.Root(), url, ignored);
        known && FeedUrlKey(known->Url()) == FeedUrlKey(url)) {
        err << "already subscribed: " << known->Name() << '\t' << known->Url() << '\n';
        return 1;
    }

    // Auto-convert channels have their news spoken as they arrive, as in the program.
    CToolVoiceWork work(session.App(), session.Context());
    RssChannelInfo info;
    if (!CRssChannel::VerifyChannel(session.Context(), url, info)) {
        // A web page instead of a feed: the first feed it links to, the others named.
        const FeedDiscovery found = DiscoverFeeds(*session.App().Session(), url);
        if (found.ok && !found.isFeed &&
            CRssChannel::VerifyChannel(session.Context(), found.feeds.front().url, info)) {
            url = found.feeds.front().url;
            err << "the page links to " << found.feeds.size() << " feeds; subscribing to " << url
                << '\n';
            for (size_t i = 1; i < found.feeds.size(); ++i)
                err << "also offered: " << found.feeds[i].url << '\n';
            if (CRefPtr<CRssChannel> known = FindChannel(session.Root(), url, ignored);
                known && FeedUrlKey(known->Url()) == FeedUrlKey(url)) {
                err << "already subscribed: " << known->Name() << '\t' << known->Url() << '\n';
                return 1;
            }
        } else {
            PrintProblems(log, err, loadLines);
            err << (found.ok || found.error.isEmpty()
                        ? u"not a feed, or it cannot be fetched: "_s + url
                        : found.error)
                << '\n';
            return 1;
        }
    }
    QString name = options.Value(u"--name"_s).trimmed();
    if (name.isEmpty())
        name = info.title.trimmed();
    if (name.isEmpty())
        name = url;
    CRefPtr<CRssGroup> group = FindGroup(session.Root(), options.Value(u"--group"_s), true);
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&session.Context());
    channel->SetNameAndUrl(name, url);
    channel->SetAutoUpdate(!options.Has(u"--no-auto-update"_s));
    channel->SetAutoConvert(options.Has(u"--auto-convert"_s));
    group->AddChild(channel.get());

    channel->SetDownloadState(CRssChannel::Downloading);
    const RssResult result = channel->Download(url, FeedOrigin::Live, ChannelNotice::Post);
    channel->SetDownloadState(result == kResultOk ? CRssChannel::Downloaded
                                                  : CRssChannel::DownloadFailed);
    work.WaitUntilIdle();
    if (result != kResultOk) {
        PrintProblems(log, err, loadLines);
        err << "subscribed, but the first download failed\n";
    }
    const bool saved = session.Save(err);
    out << "added\t" << TsvField(name) << '\t' << TsvField(url) << '\t' << channel->TotalCount()
        << '\t' << GroupPath(group.get()) << '\n';
    return saved && result == kResultOk ? 0 : 1;
}

const std::string kAddDetails =
    std::string(
        "  Prints: added TAB name TAB url TAB items TAB group.\n"
        "  --group PATH       the group to subscribe in, made when missing (default: the root)\n"
        "  --name N           the channel's name (default: the feed's title)\n"
        "  --auto-convert     speak new items (or fetch their podcasts) as they arrive\n"
        "  --no-auto-update   leave the channel out of the timed update\n") +
    kGroupPathHelp;

const ToolCommandRegistration kAddCommand{
    {"add",
     "URL [--group PATH] [--name N] [--auto-convert] [--no-auto-update] [--data DIR]\n"
     "verify a feed, subscribe to it and download it once",
     RunAddCommand, kAddDetails.c_str()}};

} // namespace
