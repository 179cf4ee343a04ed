// Reads arbitrary bytes as a downloaded feed and merges them into a channel twice. The
// second merge of the same document must find every item known: nothing is added and no
// new-item notice is posted.

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

struct FuzzWorld
{
    QTemporaryDir dir;
    CAppServices app{dir.filePath(u"bin"_s)};
    CFeedContext context{app};
    std::atomic<int> newItems{0};

    FuzzWorld()
    {
        app.SetPrefs(std::make_unique<CPreferences>(
            std::make_unique<QSettings>(dir.filePath(u"settings.ini"_s), QSettings::IniFormat),
            app.ProgramFolder()));
        if (!app.Prefs()->ChangeRoot(dir.filePath(u"data"_s)))
            std::abort();
        app.Prefs()->limitNewsPerChannel = false;
        app.SetNotifier([this](RssEvent code, CRefPtr<CRefCounted>) {
            if (code == RssEvent::NewItem)
                ++newItems;
        });
        context.SetClock([] { return qint64(1700000000); });
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
    static FuzzWorld world;
    const QString source = u"http://fuzz.test/feed"_s;
    XmlDocPtr doc =
        ParseXml(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), source);
    if (!doc)
        return 0;

    auto channel = CRssChannel::Create(&world.context);
    world.newItems = 0;
    const RssResult first = MergeFeedDocument(*channel, doc.get(), source, false, true);
    const int items = channel->ChildCount();
    const int notices = world.newItems;
    if (first == kResultOk)
        CheckCounts(*channel);

    const RssResult second = MergeFeedDocument(*channel, doc.get(), source, false, true);
    if (second != first || channel->ChildCount() != items || world.newItems != notices) {
        std::fprintf(stderr, "second merge changed the channel: %08X/%08X, %d/%d items\n", first,
                     second, items, channel->ChildCount());
        std::abort();
    }
    return 0;
}
