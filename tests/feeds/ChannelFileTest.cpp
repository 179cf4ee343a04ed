#include "ChannelFile.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "XmlHelpers.h"

#include <atomic>
#include <gtest/gtest.h>
#include <libxml/tree.h>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

struct ItemFields
{
    // Initialised here so that designated initialisers may leave any of them out.
    QString title{}, link{}, description{}, pubDate{}, author{}, category{};
    RssEnclosure enclosure{};
    bool unread = true;
    bool deleted = false;
    RssItemState state = RssItemState::None;
};

CRefPtr<CRssItem> AddItem(FeedEnvironment& env, CRssChannel& channel, const ItemFields& f)
{
    CRefPtr<CRssItem> item = CRssItem::Create(&env.context);
    item->title = f.title;
    item->SetLink(f.link);
    item->SetDescription(f.description);
    item->SetPubDate(f.pubDate);
    item->SetAuthor(f.author);
    item->SetCategory(f.category);
    item->SetEnclosure(f.enclosure);
    item->unread = f.unread;
    item->deleted = f.deleted;
    item->inFeed = true;
    item->UpdateIdentity();
    item->SetState(f.state);
    channel.AddChild(item.get());
    return item;
}

// The elements named name anywhere under node, in document order.
void CollectElements(xmlNode* node, const char* name, std::vector<xmlNode*>& out)
{
    for (xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (qstrcmp(reinterpret_cast<const char*>(child->name), name) == 0)
            out.push_back(child);
        CollectElements(child, name, out);
    }
}

QStringList ItemTitles(const QByteArray& file)
{
    XmlDocPtr doc = ParseXml(file, {});
    if (!doc)
        return {u"<not well-formed>"_s};
    std::vector<xmlNode*> items;
    CollectElements(xmlDocGetRootElement(doc.get()), "item", items);
    QStringList titles;
    for (xmlNode* item : items) {
        for (xmlNode* child = item->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE && NodeName(child) == u"title"_s)
                titles << NodeText(child);
    }
    return titles;
}

// A stored channel file: CR LF between the lines of the rss element; the XML declaration
// and the end of the file keep the XML library's bare LF.
QByteArray StoredFile(QByteArray rssLines)
{
    rssLines.replace("\n", "\r\n");
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + rssLines + '\n';
}

} // namespace

TEST(ChannelFileLayout, EveryFieldAndFlagIsWrittenInTheStoredLayout)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    RssChannelInfo info;
    info.title = u"Example & Co News"_s;
    info.link = u"http://example.com/"_s;
    info.description = u"Daily news from <Example>"_s;
    info.pubDate = u"Sat, 07 Sep 2002 09:42:31 GMT"_s;
    info.lastBuildDate = u"Sun, 08 Sep 2002 10:00:00 GMT"_s;
    info.ttl = 30;
    info.imageUrl = u"http://example.com/logo.png"_s;
    info.imageTitle = u"Example logo"_s;
    info.imageLink = u"http://example.com/"_s;
    channel->SetInfo(info);
    channel->SetFavorite(true);

    AddItem(env, *channel,
            {.title = u"First news"_s,
             .link = u"http://example.com/1?a=1&b=2"_s,
             .description = u"<p>Body & more</p>"_s,
             .pubDate = u"Mon, 09 Sep 2002 08:00:00 GMT"_s,
             .author = u"ann@example.com"_s,
             .category = u"World"_s,
             .enclosure = {u"http://example.com/a.mp3?x=1&y=\"2\""_s, 12345, u"audio/mpeg"_s}});
    // Deleted items stay in the file; an enclosure of length 0 is not written.
    AddItem(env, *channel,
            {.title = u"Second"_s,
             .enclosure = {u"http://example.com/b.mp3"_s, 0, u"audio/mpeg"_s},
             .unread = false,
             .deleted = true,
             .state = RssItemState::Ready});
    // An enclosure without url is not written either; author and category are independent.
    AddItem(env, *channel,
            {.title = u"Café ☕ 😀"_s,
             .link = u"http://example.com/3"_s,
             .description = u"Third"_s,
             .pubDate = u"Tue, 10 Sep 2002 08:00:00 GMT"_s,
             .category = u"Science"_s,
             .enclosure = {{}, 10, u"audio/mpeg"_s},
             .unread = false,
             .state = RssItemState::PodcastPending});

    EXPECT_EQ(SerializeChannelFile(*channel), StoredFile(R"xml(<rss version="2.0">
  <channel favorite="true">
    <title>Example &amp; Co News</title>
    <link>http://example.com/</link>
    <description>Daily news from &lt;Example&gt;</description>
    <pubDate>Sat, 07 Sep 2002 09:42:31 GMT</pubDate>
    <lastBuildDate>Sun, 08 Sep 2002 10:00:00 GMT</lastBuildDate>
    <ttl>30</ttl>
    <generator>Calvoria</generator>
    <image>
      <title>Example logo</title>
      <link>http://example.com/</link>
      <url>http://example.com/logo.png</url></image>
    <item new="1" deleted="0" status="0">
      <title>First news</title>
      <link>http://example.com/1?a=1&amp;b=2</link>
      <description>&lt;p&gt;Body &amp; more&lt;/p&gt;</description>
      <pubDate>Mon, 09 Sep 2002 08:00:00 GMT</pubDate>
      <author>ann@example.com</author>
      <category>World</category>
      <enclosure url="http://example.com/a.mp3?x=1&amp;y=&quot;2&quot;" type="audio/mpeg" length="12345"/>
    </item>
    <item new="0" deleted="1" status="3">
      <title>Second</title>
      <link/>
      <description/>
      <pubDate/>
    </item>
    <item new="0" deleted="0" status="6">
      <title>Café ☕ 😀</title>
      <link>http://example.com/3</link>
      <description>Third</description>
      <pubDate>Tue, 10 Sep 2002 08:00:00 GMT</pubDate>
      <category>Science</category>
    </item>
  </channel>
</rss>)xml"));
}

TEST(ChannelFileLayout, ChannelWithoutItemsAndIncompleteImageKeepsOnlyTheRequiredInfo)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    RssChannelInfo info;
    info.imageUrl = u"http://example.com/logo.png"_s;
    info.imageTitle = u"Logo without link"_s;
    channel->SetInfo(info);

    EXPECT_EQ(SerializeChannelFile(*channel), StoredFile(R"xml(<rss version="2.0">
  <channel favorite="false">
    <title/>
    <link/>
    <description/>
    <ttl>15</ttl>
    <generator>Calvoria</generator>
  </channel>
</rss>)xml"));
}

TEST(ChannelFileLayout, ItemsKeepTheChannelsListOrder)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    for (const QString& title : {u"b"_s, u"c"_s, u"a"_s})
        AddItem(env, *channel, {.title = title});
    env.app.Prefs()->sortOrder = 3; // the channel file ignores the news list's order

    EXPECT_EQ(ItemTitles(SerializeChannelFile(*channel)), (QStringList{u"b"_s, u"c"_s, u"a"_s}));
}

TEST(ChannelFileText, CharactersXmlCannotHoldBecomeBlanksAndKeepTheIdentity)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    const QString title = u"Bell\u0007 and\u0001form"_s + QChar(0xFFFF) + u"feed "_s +
                          QChar(0xD800) + u"lone"_s + QChar(0xDC00) + u"end"_s;
    auto item = AddItem(env, *channel, {.title = title, .description = u"x\u001Fy"_s});
    // Before and after the file, the same news: the MD5 of "Bell and form feed lone end"
    // and "x y" in UTF-16LE.
    const QString identity = u"2A7426AC145D159B0DC5BEAFCF2E3FD1"_s;
    EXPECT_EQ(IdentityHex(item->Identity()), identity);

    const QByteArray file = SerializeChannelFile(*channel);
    EXPECT_EQ(ItemTitles(file), QStringList{u"Bell  and form feed  lone end"_s});

    const QString path = env.home.File(u"channel.rss"_s);
    ASSERT_TRUE(WriteFile(path, file));
    auto again = CRssChannel::Create(&env.context);
    ASSERT_EQ(again->LoadStoredFile(path), kResultOk);
    ASSERT_EQ(again->ChildCount(), 1);
    EXPECT_EQ(IdentityHex(again->ChildrenSnapshot().front()->Identity()), identity);
}

TEST(ChannelFileText, LineEndsAndTabsInTextSurviveTheFile)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    AddItem(env, *channel, {.title = u"one\r\ntwo\tthree\rfour"_s});

    EXPECT_EQ(ItemTitles(SerializeChannelFile(*channel)),
              QStringList{u"one\r\ntwo\tthree\rfour"_s});
}

TEST(ChannelFileConcurrency, WritingWhileADownloadAddsItemsAlwaysGivesAWholeFile)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    std::atomic<bool> done{false};
    std::thread merger([&] {
        for (int i = 0; i < 1000; ++i) {
            std::lock_guard lock(channel->ChildrenLock());
            AddItem(env, *channel, {.title = u"news %1"_s.arg(i)});
            AddItem(env, *channel, {.title = u"pair %1"_s.arg(i)});
        }
        done = true;
    });
    // Items arrive in pairs under the lock: a whole list has an even count.
    bool whole = true;
    for (int writes = 0; !done || writes == 0; ++writes)
        whole = whole && ItemTitles(SerializeChannelFile(*channel)).size() % 2 == 0;
    merger.join();
    EXPECT_TRUE(whole);
    EXPECT_EQ(ItemTitles(SerializeChannelFile(*channel)).size(), 2000);
}
