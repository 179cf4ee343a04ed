#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "Mp3Duration.h"
#include "PodcastFeed.h"

#include <QDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Constant-rate MPEG 2 layer III frames as our encoder makes them (16 kHz mono, 64 kbit/s,
// 36 ms a frame) behind an ID3v2 tag.
QByteArray OurMp3(int frames)
{
    QByteArray tag("ID3\x03\x00\x00\x00\x00\x08\x00", 10); // 1024 bytes of tag follow
    tag += QByteArray(1024, '\0');
    QByteArray frame(288, '\0');
    frame[0] = char(0xFF), frame[1] = char(0xF3), frame[2] = char(0x88), frame[3] = char(0xC4);
    return tag + frame.repeated(frames);
}

// A variable-rate MPEG 1 file whose Xing header counts the frames the file would hold.
QByteArray XingMp3(quint32 frames)
{
    QByteArray frame(417, '\0');
    frame[0] = char(0xFF), frame[1] = char(0xFB), frame[2] = char(0x90), frame[3] = char(0x00);
    QByteArray first = frame;
    first.replace(36, 12, QByteArray("Xing\0\0\0\x01", 8) + char(frames >> 24) + char(frames >> 16) +
                              char(frames >> 8) + char(frames));
    return first + frame + frame;
}

struct FeedItem
{
    QString title, author, description, link, url, length, guid, pubDate, duration;
};

struct ParsedFeed
{
    bool wellFormed = false;
    QString title, self, image, explicitFlag;
    std::vector<FeedItem> items;
};

ParsedFeed Parse(const QByteArray& xml)
{
    const QString itunes = u"http://www.itunes.com/dtds/podcast-1.0.dtd"_s;
    ParsedFeed feed;
    QXmlStreamReader reader(xml);
    FeedItem* item = nullptr;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::EndElement && reader.name() == u"item"_s)
            item = nullptr;
        if (!reader.isStartElement())
            continue;
        const auto name = reader.name();
        const bool isItunes = reader.namespaceUri() == itunes;
        if (name == u"item"_s) {
            feed.items.emplace_back();
            item = &feed.items.back();
        } else if (name == u"enclosure"_s && item) {
            item->url = reader.attributes().value(u"url"_s).toString();
            item->length = reader.attributes().value(u"length"_s).toString();
            EXPECT_EQ(reader.attributes().value(u"type"_s), u"audio/mpeg"_s);
        } else if (name == u"link"_s && reader.namespaceUri() == u"http://www.w3.org/2005/Atom"_s) {
            feed.self = reader.attributes().value(u"href"_s).toString();
        } else if (name == u"image"_s && isItunes) {
            feed.image = reader.attributes().value(u"href"_s).toString();
        } else if (name == u"guid"_s && item) {
            EXPECT_EQ(reader.attributes().value(u"isPermaLink"_s), u"false"_s);
            item->guid = reader.readElementText();
        } else if (item) {
            QString* field = name == u"title"_s                  ? &item->title
                             : name == u"author"_s && isItunes   ? &item->author
                             : name == u"description"_s          ? &item->description
                             : name == u"link"_s                 ? &item->link
                             : name == u"pubDate"_s              ? &item->pubDate
                             : name == u"duration"_s && isItunes ? &item->duration
                                                                 : nullptr;
            if (field)
                *field = reader.readElementText();
        } else if (name == u"title"_s) {
            feed.title = reader.readElementText();
        } else if (name == u"explicit"_s && isItunes) {
            feed.explicitFlag = reader.readElementText();
        }
    }
    feed.wellFormed = !reader.hasError();
    return feed;
}

class PodcastFeedTest : public ::testing::Test
{
protected:
    FeedEnvironment env;
    CRefPtr<CRssGroup> root = CRssGroup::Create(&env.context, true);
    CRefPtr<CRssGroup> world = CRssGroup::Create(&env.context);
    CRefPtr<CRssGroup> tech = CRssGroup::Create(&env.context);
    CRefPtr<CRssChannel> saved = CRssChannel::Create(&env.context);

    void SetUp() override
    {
        QDir().mkpath(env.app.Prefs()->Mp3Folder());
        world->Rename(u"World"_s);
        tech->Rename(u"Tech"_s);
        root->AddChild(world.get());
        root->AddChild(tech.get());
        saved->SetNameAndUrl(u"Saved News"_s, {});
    }

    CRefPtr<CRssChannel> Channel(CRssGroup& group, const QString& name)
    {
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(name, u"http://127.0.0.1:1/"_s + name);
        group.AddChild(channel.get());
        return channel;
    }

    // An item published at time; its MP3 file is written when audio is given.
    CRefPtr<CRssItem> Item(CRssChannel& channel, const QString& title, qint64 time,
                           RssItemState state, const QByteArray& audio = {},
                           const QString& description = u"Story"_s)
    {
        auto item = CRssItem::Create(&env.context, title, description);
        item->SetLink(u"https://news.example/"_s + QString::number(time));
        item->SetPublicationTime(time);
        channel.AddChild(item.get());
        item->SetState(state);
        if (!audio.isEmpty()) {
            EXPECT_TRUE(WriteFile(item->Mp3File(), audio));
        }
        return item;
    }
};

} // namespace

TEST_F(PodcastFeedTest, FeedListsReadyAudioNewestFirstWithEveryFieldEscaped)
{
    auto bbc = Channel(*world, u"World & Co"_s);
    auto lwn = Channel(*tech, u"Kernel <news>"_s);
    const QByteArray ours = OurMp3(1000); // 36 s
    auto oldest = Item(*bbc, u"Oldest"_s, 1700000000, RssItemState::Ready, ours,
                       u"<p>First paragraph &amp; more.</p><p>Second one.</p>"_s);
    auto newest = Item(*lwn, u"A & B <c> \"d\""_s, 1700090000, RssItemState::Ready, XingMp3(10000));
    auto middle = Item(*bbc, u"Middle"_s, 1700050000, RssItemState::Ready, ours,
                       u"word "_s.repeated(400));
    Item(*bbc, u"Pending"_s, 1700080000, RssItemState::DownloadPending, ours);
    Item(*bbc, u"Failed"_s, 1700080001, RssItemState::Failed);
    Item(*lwn, u"Ready but its file is gone"_s, 1700080002, RssItemState::Ready);
    Item(*lwn, u"Deleted"_s, 1700080003, RssItemState::Ready, ours)->deleted = true;
    // Saved news: a copy of a tree item's audio appears once, audio of its own joins.
    auto savedCopy = CRssItem::Create(&env.context, u"Middle"_s, u"word "_s.repeated(400));
    saved->AddChild(savedCopy.get());
    savedCopy->SetPublicationTime(1700050000);
    savedCopy->SetState(RssItemState::Ready);
    ASSERT_EQ(savedCopy->Mp3File(), middle->Mp3File());
    auto savedOwn = Item(*saved, u"Saved only"_s, 1700060000, RssItemState::Ready, ours);

    const std::vector<PodcastEpisode> all = CollectEpisodes(*root, nullptr, saved.get());
    PodcastFeedInfo info;
    info.title = u"Calvoria & friends"_s;
    info.selfUrl = u"http://127.0.0.1:8765/s/podcast.xml"_s;
    info.imageUrl = u"http://127.0.0.1:8765/s/icon.png"_s;
    const ParsedFeed feed = Parse(BuildPodcastFeed(info, all, u"http://127.0.0.1:8765/s/audio/"_s));
    ASSERT_TRUE(feed.wellFormed);
    EXPECT_EQ(feed.title, u"Calvoria & friends"_s);
    EXPECT_EQ(feed.self, info.selfUrl);
    EXPECT_EQ(feed.image, info.imageUrl);
    EXPECT_EQ(feed.explicitFlag, u"false"_s);

    ASSERT_EQ(feed.items.size(), 4u);
    const QStringList order = {feed.items[0].title, feed.items[1].title, feed.items[2].title,
                               feed.items[3].title};
    EXPECT_EQ(order, QStringList({u"A & B <c> \"d\""_s, u"Saved only"_s, u"Middle"_s, u"Oldest"_s}));

    const FeedItem& first = feed.items[0];
    EXPECT_EQ(first.author, u"Kernel <news>"_s);
    EXPECT_EQ(first.url, u"http://127.0.0.1:8765/s/audio/"_s + QFileInfo(newest->Mp3File()).fileName());
    EXPECT_EQ(first.length, QString::number(XingMp3(10000).size()));
    EXPECT_EQ(first.guid, IdentityHex(newest->Identity()).toLower());
    EXPECT_EQ(first.pubDate, u"Wed, 15 Nov 2023 23:13:20 GMT"_s);
    EXPECT_EQ(first.duration, u"0:04:21"_s) << "from the Xing frame count: 10000 * 1152 / 44100 s";
    EXPECT_EQ(first.link, u"https://news.example/1700090000"_s);

    const FeedItem& last = feed.items[3];
    EXPECT_EQ(last.duration, u"0:00:36"_s) << "constant rate: the audio's size over the bit rate";
    EXPECT_EQ(last.description,
              u"First paragraph & more.\n\nSecond one.\n\nOriginal: https://news.example/1700000000"_s);
    EXPECT_EQ(last.author, u"World & Co"_s);
    const QString cut = feed.items[2].description;
    EXPECT_LE(cut.size(), 700);
    EXPECT_TRUE(cut.contains(u"word\u2026\n\nOriginal: https://news.example/1700050000"_s)) << cut.toStdString();

    // Only one group's news in its own feed, and the saved news stay in the whole one.
    const std::vector<PodcastEpisode> techOnly = CollectEpisodes(*root, tech.get(), saved.get());
    ASSERT_EQ(techOnly.size(), 1u);
    EXPECT_EQ(techOnly[0].guid, first.guid);
    EXPECT_EQ(techOnly[0].path, newest->Mp3File());
    EXPECT_EQ(CollectEpisodes(*root, world.get()).size(), 2u);

    // Characters XML cannot carry, escaped or not, are left out rather than break the feed.
    auto odd = Channel(*world, u"Bell\u0007 \uFFFF\xD800"_s);
    Item(*odd, u"Odd"_s, 1700000001, RssItemState::Ready, ours);
    const ParsedFeed oddFeed = Parse(BuildPodcastFeed(info, CollectEpisodes(*root, world.get()), u"/"_s));
    ASSERT_TRUE(oddFeed.wellFormed);
    ASSERT_EQ(oddFeed.items.size(), 3u);
    EXPECT_EQ(oddFeed.items[1].author, u"Bell "_s);
}

TEST_F(PodcastFeedTest, DurationIsReadFromTheHeadersOfTheFileAlone)
{
    // The ID3v2 tag before the audio and the ID3v1 tag after it are no audio.
    const QByteArray file = OurMp3(250);
    const QString path = env.app.Prefs()->Mp3Folder() + u"a.mp3"_s;
    ASSERT_TRUE(WriteFile(path, file + QByteArray("TAG") + QByteArray(125, ' ')));
    EXPECT_EQ(Mp3DurationMs(path, QFileInfo(path).size(), 1), 9000);
    EXPECT_EQ(Mp3DurationMsOf(QByteArray(5000, '\xFF'), 5000), 0) << "no frame, no time";
    EXPECT_EQ(Mp3DurationMsOf({}, 0), 0);
    EXPECT_EQ(PodcastDuration(3723400), u"1:02:03"_s);
}
