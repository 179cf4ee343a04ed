// What a stored news item costs on the heap once read, beside its own texts: a channel
// holds thousands of them and the program holds every channel.
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <malloc.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kItems = 4000;

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

// A feed's usual item: a title, a link, two paragraphs and a date; every fifth has an
// author, every tenth a podcast.
QByteArray ChannelFile()
{
    QByteArray file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\r\n"
                      "  <channel favorite=\"false\">\r\n    <title>Daily</title>\r\n";
    for (int i = 0; i < kItems; ++i) {
        const QByteArray n = QByteArray::number(i);
        file += "    <item new=\"1\" deleted=\"0\" status=\"0\">\r\n      <title>Council meets on "
                "the harbour bridge budget, report " +
                n +
                "</title>\r\n"
                "      <link>http://news.example/2026/12/story-" +
                n +
                ".html</link>\r\n"
                "      <description>&lt;p&gt;The city council met on Monday to discuss the "
                "budget for the harbour bridge; the report " +
                n +
                " says the repairs will "
                "take two summers and close the road to the airport at night.&lt;/p&gt; "
                "&lt;p&gt;Residents spoke at the meeting about the noise and the "
                "traffic in the village.&lt;/p&gt;</description>\r\n"
                "      <pubDate>Tue, 08 Dec 2026 04:00:00 GMT</pubDate>\r\n";
        if (i % 5 == 0)
            file += "      <author>desk@news.example</author>\r\n";
        if (i % 10 == 0)
            file += "      <enclosure url=\"http://news.example/" + n +
                    ".mp3\" type=\"audio/mpeg\" length=\"1000\"/>\r\n";
        file += "    </item>\r\n";
    }
    return file + "  </channel>\r\n</rss>\n";
}

// The bytes the texts themselves need: UTF-16 titles, UTF-8 links, descriptions and dates.
size_t TextBytes(const CRssChannel& channel)
{
    size_t bytes = 0;
    for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot()) {
        const auto* item = static_cast<const CRssItem*>(node.get());
        bytes += size_t(item->title.size()) * 2 + size_t(item->Link().toUtf8().size()) +
                 size_t(item->DescriptionUtf8().size()) + size_t(item->PubDate().size());
    }
    return bytes;
}

} // namespace

TEST(ItemMemoryTest, AStoredItemCostsLittleBesideItsTexts)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer keeps its own heap";
#endif
    FeedEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"channel.rss"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ChannelFile());
    file.close();

    auto channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"Daily"_s, u"http://news.example/rss"_s);
    const size_t before = HeapInUse();
    ASSERT_EQ(channel->LoadStoredFile(path), kResultOk);
    const size_t after = HeapInUse();
    ASSERT_EQ(channel->ChildCount(), kItems);

    const size_t texts = TextBytes(*channel);
    const double perItem = double(after - before) / kItems;
    const double beside = double(after - before - texts) / kItems;
    RecordProperty("heap bytes per item", int(perItem));
    std::printf("heap per stored item: %.0f bytes, %.0f of them beside its texts\n", perItem,
                beside);
    // The item record, its counted reference in the channel, the few blocks that hold its
    // texts and the rare author and podcast: about 360 bytes. A lock per item (40 bytes)
    // or one more string block already goes over.
    EXPECT_LE(beside, 400.0);
}
