// calvoria-tool discover URL: the feeds an address offers for a new channel (the address
// itself when it is a feed, else the alternates of the web page), the default first.
#include "ToolCommands.h"

#include "CHttpSession.h"
#include "FeedDiscovery.h"
#include "ToolSupport.h"

#include <QTextStream>

namespace {

int RunDiscoverCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 1) {
        err << "usage: calvoria-tool discover URL\n";
        return 2;
    }
    CHttpSession::GlobalInit();
    int status = 0;
    {
        const CRefPtr<CHttpSession> session = CRefPtr<CHttpSession>::Make();
        const FeedDiscovery found = DiscoverFeeds(*session, args.first());
        if (!found.ok) {
            err << found.error << '\n';
            status = 1;
        } else {
            out << (found.isFeed ? "feed" : "page") << '\n';
            for (const DiscoveredFeed& feed : found.feeds)
                out << TsvField(feed.url) << '\t' << TsvField(feed.type) << '\t'
                    << TsvField(feed.title) << '\n';
        }
    }
    CHttpSession::GlobalCleanup();
    return status;
}

const ToolCommandRegistration kDiscoverCommand{
    {"discover", "URL          the feeds an address offers: itself, or a web page's alternates",
     RunDiscoverCommand}};

} // namespace
