// Reads arbitrary bytes as a downloaded JSON Feed and merges the result into a channel
// twice. The reader must never crash or hang, whatever the nesting; the second merge of the
// same document must find every item known.

#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "FuzzWorld.h"
#include "JsonFeed.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

struct JsonWorld : FuzzWorld
{
    std::atomic<int> newItems{0};

    JsonWorld()
    {
        app.Prefs()->limitNewsPerChannel = false;
        app.SetNotifier([this](RssEvent code, CRefPtr<CRefCounted>) {
            if (code == RssEvent::NewItem)
                ++newItems;
        });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static JsonWorld world;
    const QString source = u"http://fuzz.test/feed.json"_s;
    XmlLoadError error;
    XmlDocPtr doc =
        JsonFeedToRss(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), error);
    if (!doc) {
        if (error.code == 0 || error.message.isEmpty())
            std::abort(); // a refused document always says why
        return 0;
    }

    auto channel = CRssChannel::Create(&world.context);
    world.newItems = 0;
    const RssResult first =
        MergeFeedDocument(*channel, doc.get(), source, FeedOrigin::Live, ChannelNotice::Post);
    const int items = channel->ChildCount();
    const int notices = world.newItems;
    if (first == kResultOk && notices != items) {
        std::fprintf(stderr, "%d items, %d notices\n", items, notices);
        std::abort();
    }
    const RssResult second =
        MergeFeedDocument(*channel, doc.get(), source, FeedOrigin::Live, ChannelNotice::Post);
    if (second != first || channel->ChildCount() != items || world.newItems != notices) {
        std::fprintf(stderr, "second merge changed the channel: %08X/%08X, %d/%d items\n", first,
                     second, items, channel->ChildCount());
        std::abort();
    }
    return 0;
}
