// Reads arbitrary bytes as a downloaded feed, loosely where it is not well formed, and
// merges them into a channel twice. The second merge of the same document must find every
// item known: nothing is added and no new-item notice is posted.

#include "FuzzWorld.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedFetcher.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

// Counts the new items the merge announces.
struct FeedWorld : FuzzWorld
{
    std::atomic<int> newItems{0};

    FeedWorld()
    {
        app.Prefs()->limitNewsPerChannel = false;
        app.SetNotifier([this](RssEvent code, CRefPtr<CRefCounted>) {
            if (code == RssEvent::NewItem)
                ++newItems;
        });
    }
};

void CheckCounts(CRssChannel& channel)
{
    int total = 0;
    for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot())
        total += !NodeCast<CRssItem>(node)->deleted;
    if (total != channel.TotalCount()) {
        std::fprintf(stderr, "total %d, counted %d\n", channel.TotalCount(), total);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FeedWorld world;
    const QString source = u"http://fuzz.test/feed"_s;
    XmlLoadError error;
    XmlDocPtr doc = ParseFeedBody(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                  source, error);
    if (!doc)
        return 0;

    auto channel = CRssChannel::Create(&world.context);
    world.newItems = 0;
    const RssResult first =
        MergeFeedDocument(*channel, doc.get(), source, FeedOrigin::Live, ChannelNotice::Post);
    const int items = channel->ChildCount();
    const int notices = world.newItems;
    if (first == kResultOk)
        CheckCounts(*channel);

    const RssResult second =
        MergeFeedDocument(*channel, doc.get(), source, FeedOrigin::Live, ChannelNotice::Post);
    if (second != first || channel->ChildCount() != items || world.newItems != notices) {
        std::fprintf(stderr, "second merge changed the channel: %08X/%08X, %d/%d items\n", first,
                     second, items, channel->ChildCount());
        std::abort();
    }
    return 0;
}
