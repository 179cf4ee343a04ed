#include "FeedMerge.h"
#include "FeedParser.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "XmlHelpers.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString FeedFile(const QString& name)
{
    return FeedEnvironment::TestData(u"feeds/"_s + name);
}

XmlDocPtr LoadFeed(const QString& name)
{
    XmlDocPtr doc = ParseXmlFile(FeedFile(name));
    EXPECT_TRUE(doc) << name.toStdString();
    return doc;
}

// Reads a test feed into a fresh channel the way a live download does.
struct Merged
{
    CRefPtr<CRssChannel> channel;
    RssResult result = kGenericFailure;
    RssFeedKind kind = RssFeedKind::Unknown;
    std::vector<CRefPtr<CRssItem>> items;
};

Merged MergeFile(FeedEnvironment& env, const QString& name)
{
    Merged merged;
    merged.channel = CRssChannel::Create(&env.context);
    XmlDocPtr doc = LoadFeed(name);
    merged.result = MergeFeedDocument(*merged.channel, doc.get(), u"http://feeds.test/"_s + name,
                                      FeedOrigin::Live, ChannelNotice::Post, &merged.kind);
    for (const CRefPtr<CRssNode>& node : merged.channel->ChildrenSnapshot())
        merged.items.push_back(NodeCast<CRssItem>(node));
    return merged;
}

qint64 Utc(int y, int m, int d, int hh, int mm, int ss)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss), Qt::UTC).toSecsSinceEpoch();
}

} // namespace

struct KindCase
{
    const char* file;
    RssFeedKind kind;
    const char* rootName;
};

class FeedKindTest : public ::testing::TestWithParam<KindCase>
{
};

TEST_P(FeedKindTest, IsRecognisedByTheRootElementName)
{
    XmlDocPtr doc = LoadFeed(QString::fromLatin1(GetParam().file));
    xmlNode* root = nullptr;
    EXPECT_EQ(RecognizeFeed(doc.get(), &root), GetParam().kind);
    if (GetParam().rootName)
        EXPECT_EQ(NodeName(root), QString::fromLatin1(GetParam().rootName));
    else
        EXPECT_EQ(root, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, FeedKindTest,
    ::testing::Values(KindCase{"rss091.xml", RssFeedKind::Rss, "rss"},
                      KindCase{"rss20.xml", RssFeedKind::Rss, "rss"},
                      KindCase{"rss10.rdf", RssFeedKind::Rdf, "rdf:RDF"},
                      KindCase{"atom03.xml", RssFeedKind::Atom, "feed"},
                      KindCase{"atom10.xml", RssFeedKind::Atom, "feed"},
                      KindCase{"uppercase-root.xml", RssFeedKind::Unknown, nullptr},
                      KindCase{"xhtml-page.xml", RssFeedKind::Unknown, nullptr}));

TEST(ChannelInfo, Rss20FieldsComeFromTheChannelElementTrimmed)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"rss20.xml"_s);
    ASSERT_EQ(m.result, kResultOk);
    EXPECT_EQ(m.kind, RssFeedKind::Rss);
    const RssChannelInfo info = m.channel->Info();
    EXPECT_EQ(info.title, u"City Council Report"_s);
    EXPECT_EQ(info.link, u"http://council.example.com/"_s);
    EXPECT_EQ(info.description, u"Decisions & debates"_s);
    EXPECT_EQ(info.pubDate, u"Tue, 14 Nov 2023 08:00:00 GMT"_s);
    EXPECT_EQ(info.lastBuildDate, u"Tue, 14 Nov 2023 09:30:00 GMT"_s);
    EXPECT_EQ(info.ttl, 30);
    EXPECT_EQ(info.imageUrl, u"http://council.example.com/crest.png"_s);
    EXPECT_EQ(info.imageTitle, u"Council crest"_s);
    EXPECT_EQ(info.imageLink, u"http://council.example.com/"_s);
    EXPECT_EQ(m.channel->Name(), u"City Council Report"_s);
}

TEST(ChannelInfo, MissingTtlAndBuildDateGetTheirDefaults)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"rss091.xml"_s);
    ASSERT_EQ(m.result, kResultOk);
    const RssChannelInfo info = m.channel->Info();
    EXPECT_EQ(info.ttl, 15);
    EXPECT_EQ(info.pubDate, QString());
    EXPECT_EQ(info.lastBuildDate, u"14 Nov 2023 22:13:20 GMT"_s);
    EXPECT_EQ(info.description, u"News from the harbour, caf\u00e9 prices included"_s);
    EXPECT_EQ(m.items.size(), 2u);
}

TEST(ChannelInfo, Rss10ReadsTheDefaultNamespaceAndHasNoImage)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"rss10.rdf"_s);
    ASSERT_EQ(m.result, kResultOk);
    EXPECT_EQ(m.kind, RssFeedKind::Rdf);
    const RssChannelInfo info = m.channel->Info();
    EXPECT_EQ(info.title, u"Science Notes"_s);
    EXPECT_EQ(info.link, u"http://science.example.net/"_s);
    EXPECT_EQ(info.description, u"Short notes on research"_s);
    EXPECT_EQ(info.imageUrl, QString());
    EXPECT_EQ(info.ttl, 15);
    ASSERT_EQ(m.items.size(), 2u);
    EXPECT_EQ(m.items[0]->title, u"River water study"_s);
    EXPECT_EQ(m.items[0]->publicationTime, Utc(2023, 11, 10, 12, 0, 0)); // dc:date
    EXPECT_EQ(m.items[0]->PubDate(), u"10 Nov 2023 12:00:00 GMT"_s);
    EXPECT_EQ(m.items[1]->publicationTime, env.Now()); // no date at all
}

TEST(ChannelInfo, Atom03TakesTheAlternateLinkInfoAndModified)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"atom03.xml"_s);
    ASSERT_EQ(m.result, kResultOk);
    EXPECT_EQ(m.kind, RssFeedKind::Atom);
    const RssChannelInfo info = m.channel->Info();
    EXPECT_EQ(info.title, u"Mountain Diary"_s);
    EXPECT_EQ(info.link, u"http://diary.example.org/"_s);
    EXPECT_EQ(info.description, u"Walks and weather"_s);
    EXPECT_EQ(info.pubDate, u"2023-11-12T18:00:00Z"_s);
    EXPECT_EQ(info.lastBuildDate, u"2023-11-12T18:00:00Z"_s);
    EXPECT_EQ(info.ttl, 15);
}

TEST(ChannelInfo, AtomWithoutAlternateLinkKeepsThePreviousLink)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    RssChannelInfo old;
    old.link = u"http://theatre.example.com/"_s;
    old.imageUrl = u"http://theatre.example.com/old.png"_s;
    channel->SetInfo(old);
    XmlDocPtr doc = LoadFeed(u"atom10.xml"_s);
    ASSERT_EQ(
        MergeFeedDocument(*channel, doc.get(), u"src"_s, FeedOrigin::Live, ChannelNotice::None),
        kResultOk);
    const RssChannelInfo info = channel->Info();
    EXPECT_EQ(info.link, u"http://theatre.example.com/"_s);
    EXPECT_EQ(info.imageUrl, QString());
    EXPECT_EQ(info.description, u"Plays, concerts and festivals"_s);
    EXPECT_EQ(info.lastBuildDate, u"2023-11-13T12:00:00Z"_s); // Atom 1.0's "updated"
}

TEST(ItemReading, RssItemsReadEveryKnownChildCaseInsensitively)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"rss20.xml"_s);
    ASSERT_EQ(m.items.size(), 3u);

    const CRssItem& budget = *m.items[0];
    EXPECT_EQ(budget.title, u"Budget approved"_s);
    EXPECT_EQ(budget.Link(), u"http://council.example.com/budget"_s);
    EXPECT_EQ(budget.Description(), u"<p>The <b>2024</b> budget passed by 31 votes to 12.</p>"_s);
    EXPECT_EQ(budget.Author(), u"clerk@council.example.com"_s);
    EXPECT_EQ(budget.Category(), u"Finance"_s);
    EXPECT_EQ(budget.PubDate(), u"Tue, 14 Nov 2023 10:00:00 +0200"_s);
    EXPECT_EQ(budget.publicationTime, Utc(2023, 11, 14, 8, 0, 0));
    EXPECT_TRUE(budget.unread);
    EXPECT_FALSE(budget.deleted);
    EXPECT_TRUE(budget.inFeed);
    // MD5 of the plain title and description, " The 2024 budget passed by 31 votes to 12. "
    EXPECT_EQ(IdentityHex(budget.Identity()), u"2A64D6E4D767D7C56D15CED6210AC7A3"_s);

    const CRssItem& bridge = *m.items[1];
    EXPECT_EQ(bridge.title, u"Bridge repairs"_s);
    EXPECT_EQ(bridge.Link(), u"http://council.example.com/bridge"_s);
    EXPECT_EQ(bridge.Description(), u"Closed for two weeks."_s);
    EXPECT_EQ(bridge.publicationTime, Utc(2023, 11, 13, 22, 45, 0));
    EXPECT_EQ(bridge.Enclosure().url, u"http://council.example.com/bridge.mp3"_s);
    EXPECT_EQ(bridge.Enclosure().type, u"audio/mpeg"_s);
    EXPECT_EQ(bridge.Enclosure().length, 1234567);
}

TEST(ItemReading, LaterChildrenWinAndAnIncompleteEnclosureIsDropped)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"rss20.xml"_s);
    ASSERT_EQ(m.items.size(), 3u);
    const CRssItem& minutes = *m.items[2];
    EXPECT_EQ(minutes.title, u"Meeting minutes (corrected)"_s);
    EXPECT_EQ(minutes.Description(), u"Second text wins"_s);
    EXPECT_EQ(minutes.Enclosure(), RssEnclosure{});
    // An unreadable date: the arrival time, written back in the stored form.
    EXPECT_EQ(minutes.publicationTime, env.Now());
    EXPECT_EQ(minutes.PubDate(), u"14 Nov 2023 22:13:20 GMT"_s);
}

TEST(ItemReading, Atom03EntriesTakeIssuedAndTheirAlternateLink)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"atom03.xml"_s);
    ASSERT_EQ(m.items.size(), 2u);
    const CRssItem& snow = *m.items[0];
    EXPECT_EQ(snow.Link(), u"http://diary.example.org/snow"_s); // the alternate, not "related"
    EXPECT_EQ(snow.Description(), u"<p>The pass is closed.</p>"_s);
    // "issued" comes before "modified" and "created", with its zone applied.
    EXPECT_EQ(snow.publicationTime, Utc(2023, 11, 12, 8, 0, 0));
    EXPECT_EQ(snow.PubDate(), u"12 Nov 2023 08:00:00 GMT"_s);

    const CRssItem& hut = *m.items[1];
    EXPECT_EQ(hut.Link(), u"http://diary.example.org/hut"_s); // the link without href is skipped
    EXPECT_EQ(hut.Description(), QString());                  // summary is not read
    EXPECT_EQ(hut.publicationTime, Utc(2023, 11, 11, 7, 5, 0));
}

TEST(ItemReading, AtomEntryTakesPublishedBeforeUpdated)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"atom10.xml"_s);
    ASSERT_EQ(m.items.size(), 2u);
    EXPECT_EQ(m.items[0]->publicationTime, Utc(2023, 11, 13, 8, 0, 0));
    EXPECT_EQ(m.items[0]->PubDate(), u"13 Nov 2023 08:00:00 GMT"_s);
    EXPECT_EQ(m.items[1]->publicationTime, Utc(2023, 11, 12, 8, 0, 0));
    EXPECT_EQ(m.items[0]->Description(), u"<p>Twelve nights of music.</p>"_s);
}

TEST(ItemReading, FutureDateIsClampedToNow)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    XmlDocPtr doc =
        ParseXml(QByteArrayLiteral("<rss><channel><title>T</title>"
                                   "<item><title>Soon</title><pubDate>Wed, 01 Jan 2031 00:00:00 "
                                   "GMT</pubDate></item></channel></rss>"),
                 {});
    ASSERT_EQ(
        MergeFeedDocument(*channel, doc.get(), u"src"_s, FeedOrigin::Live, ChannelNotice::None),
        kResultOk);
    auto item = NodeCast<CRssItem>(channel->ChildrenSnapshot().at(0));
    EXPECT_EQ(item->publicationTime, env.Now());
    EXPECT_EQ(item->PubDate(), u"Wed, 01 Jan 2031 00:00:00 GMT"_s);

    auto atom = CRssChannel::Create(&env.context);
    doc = ParseXml(QByteArrayLiteral("<feed xmlns='http://purl.org/atom/ns#'><entry>"
                                     "<title>Soon</title><created>2031-01-01T00:00:00Z</created>"
                                     "</entry></feed>"),
                   {});
    ASSERT_EQ(MergeFeedDocument(*atom, doc.get(), u"src"_s, FeedOrigin::Live, ChannelNotice::None),
              kResultOk);
    item = NodeCast<CRssItem>(atom->ChildrenSnapshot().at(0));
    EXPECT_EQ(item->publicationTime, env.Now());
    EXPECT_EQ(item->PubDate(), u"01 Jan 2031 00:00:00 GMT"_s); // written before the clamp
}

TEST(StoredAttributes, NewDeletedAndStatusAreReadExactly)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    const QString path = FeedFile(u"stored-channel.rss"_s);
    ASSERT_EQ(channel->Download(path, FeedOrigin::Stored, ChannelNotice::None), kResultOk);
    const CRssNode::Children children = channel->ChildrenSnapshot();
    ASSERT_EQ(children.size(), 5u);
    auto item = [&](int i) { return NodeCast<CRssItem>(children.at(size_t(i))); };

    EXPECT_FALSE(item(0)->unread);
    EXPECT_FALSE(item(0)->deleted);
    // Ready, but the MP3 file is gone.
    EXPECT_EQ(item(0)->State(), RssItemState::FileMissing);

    EXPECT_TRUE(item(1)->deleted);
    EXPECT_EQ(item(1)->State(), RssItemState::Ready); // deleted items are not resumed

    EXPECT_FALSE(item(2)->unread);  // only "1" means unread
    EXPECT_FALSE(item(2)->deleted); // only "1" means deleted
    EXPECT_EQ(item(2)->State(), RssItemState::None);

    EXPECT_TRUE(item(3)->unread);
    EXPECT_EQ(item(3)->State(), RssItemState::None);
    EXPECT_EQ(item(4)->State(), RssItemState::Failed);

    for (const CRefPtr<CRssNode>& node : children)
        EXPECT_TRUE(NodeCast<CRssItem>(node)->inFeed);
    EXPECT_EQ(channel->TotalCount(), 4);
    EXPECT_EQ(channel->UnreadCount(), 1);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 0);
}

TEST(FeedLoading, FeedWithoutItemsIsNotAFailure)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"empty-channel.xml"_s);
    EXPECT_EQ(m.result, kResultOk);
    EXPECT_TRUE(m.items.empty());
    EXPECT_TRUE(
        env.log.Contains(u"Channel downloading done: 'http://feeds.test/empty-channel.xml'"_s));
}

TEST(FeedLoading, UnrecognisedRootIsNotImplemented)
{
    FeedEnvironment env;
    for (const QString& name : {u"uppercase-root.xml"_s, u"xhtml-page.xml"_s}) {
        auto channel = CRssChannel::Create(&env.context);
        const QString path = FeedFile(name);
        EXPECT_EQ(channel->Download(path, FeedOrigin::Stored, ChannelNotice::None),
                  kNotImplemented);
        EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel info: '%1'"_s.arg(path)));
        EXPECT_EQ(channel->ChildCount(), 0);
    }
}

TEST(FeedLoading, HtmlPageFailsToLoadWithAParseErrorCode)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    const QString path = FeedFile(u"html-page.html"_s);
    const RssResult result = channel->Download(path, FeedOrigin::Stored, ChannelNotice::None);
    EXPECT_EQ(result & 0xFFFFF000u, kParseErrorBase);
    EXPECT_NE(result, kParseErrorBase);
    EXPECT_TRUE(env.log.Contains(u"Start downloading channel: '%1'"_s.arg(path)));
    EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(path)));
}

TEST(FeedLoading, UndeclaredPrefixIsReportedAsALibraryError)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    const QString path = FeedFile(u"rdf-unknown-namespace.rdf"_s);
    EXPECT_EQ(channel->Download(path, FeedOrigin::Stored, ChannelNotice::None), kGenericFailure);
    EXPECT_TRUE(env.log.Contains(
        u"_com_error in channel downloading: '%1' 80004005 'Undefined namespace prefix'"_s.arg(
            path)))
        << env.log.Lines().join(u'\n').toStdString();
    EXPECT_EQ(channel->ChildCount(), 0);
}

TEST(FeedLoading, EntitiesAreNeitherLoadedNorExpanded)
{
    FeedEnvironment env;
    Merged m = MergeFile(env, u"external-entity.xml"_s);
    ASSERT_EQ(m.result, kResultOk);
    EXPECT_EQ(m.channel->Info().title, u"Entity  test"_s);
    ASSERT_EQ(m.items.size(), 1u);
    EXPECT_EQ(m.items[0]->title, u"Before  after"_s);
}
