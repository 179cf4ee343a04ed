// Reads arbitrary bytes as a stored channel file. Whatever is read must save, and reading
// that save must give the same file again.

#include "FuzzWorld.h"
#include "CRssChannel.h"
#include "ChannelFile.h"
#include "StoredFile.h"
#include "XmlHelpers.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzWorld world;
    const QString input = world.File(u"input.rss"_s);
    if (!SaveFileAtomically(input,
                            QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        std::abort();

    auto channel = CRssChannel::Create(&world.context);
    if (channel->Download(input, FeedOrigin::Stored, ChannelNotice::None) != kResultOk)
        return 0;
    const QByteArray first = SerializeChannelFile(*channel);

    const QString saved = world.File(u"saved.rss"_s);
    if (!SaveFileAtomically(saved, first))
        std::abort();
    auto again = CRssChannel::Create(&world.context);
    if (again->Download(saved, FeedOrigin::Stored, ChannelNotice::None) != kResultOk) {
        std::fprintf(stderr, "saved channel file does not read:\n%s\n", first.constData());
        std::abort();
    }
    const QByteArray second = SerializeChannelFile(*again);
    if (first != second) {
        std::fprintf(stderr, "saved channel changed on reading:\n%s\n---\n%s\n", first.constData(),
                     second.constData());
        std::abort();
    }
    return 0;
}
