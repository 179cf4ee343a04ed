// Reads arbitrary bytes as a web page and collects the feeds it links to as alternates:
// every address found must be absolute http or https and listed once.

#include "FeedDiscovery.h"

#include <QUrl>
#include <cstdint>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    std::set<QString> seen;
    for (const DiscoveredFeed& feed :
         FindFeedLinks(page, QStringLiteral("http://fuzz.test/a/page.html"))) {
        const QString scheme = QUrl(feed.url).scheme();
        if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
            !seen.insert(feed.url).second)
            std::abort();
    }
    return 0;
}
