#include "Newspaper.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "NewsComparator.h"
#include "XmlHelpers.h"

#include <climits>
#include <gtest/gtest.h>
#include <libxml/tree.h>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

xmlNode* AsParent(xmlDoc* doc)
{
    return reinterpret_cast<xmlNode*>(doc);
}

std::vector<xmlNode*> ChildElements(const xmlNode* node, const char* name = nullptr)
{
    std::vector<xmlNode*> out;
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE &&
            (!name || qstrcmp(reinterpret_cast<const char*>(child->name), name) == 0))
            out.push_back(child);
    }
    return out;
}

QStringList ElementNames(const xmlNode* node)
{
    QStringList names;
    for (const xmlNode* child : ChildElements(node))
        names << NodeName(child);
    return names;
}

QString ChildText(const xmlNode* node, const char* name)
{
    const std::vector<xmlNode*> found = ChildElements(node, name);
    return found.empty() ? u"<none>"_s : NodeText(found.front());
}

QStringList ItemTitles(const xmlNode* channel)
{
    QStringList titles;
    for (const xmlNode* item : ChildElements(channel, "item"))
        titles << ChildText(item, "title");
    return titles;
}

class NewspaperTest : public ::testing::Test
{
protected:
    CRefPtr<CRssChannel> MakeChannel(const QString& title)
    {
        auto channel = CRssChannel::Create(&env.context);
        RssChannelInfo info;
        info.title = title;
        info.link = u"http://example.com/"_s;
        channel->SetInfo(info);
        return channel;
    }

    CRefPtr<CRssItem> AddItem(CRssChannel& channel, const QString& title, qint64 time,
                              bool unread = true)
    {
        CRefPtr<CRssItem> item = CRssItem::Create(&env.context);
        item->title = title;
        item->unread = unread;
        item->inFeed = true;
        item->SetPublicationTime(time);
        item->UpdateIdentity();
        channel.AddChild(item.get());
        return item;
    }

    // The document element after building the node's newspaper into an empty document.
    xmlNode* Build(CRssNode& node)
    {
        doc = NewXmlDocument();
        result = BuildNewspaper(node, doc.get(), AsParent(doc.get()));
        return xmlDocGetRootElement(doc.get());
    }

    FeedEnvironment env;
    XmlDocPtr doc;
    RssResult result = kResultOk;
};

} // namespace

// Channel newspapers

TEST_F(NewspaperTest, ChannelNewspaperHoldsTheItemsNotDeletedNewestFirst)
{
    auto channel = MakeChannel(u"Daily"_s);
    AddItem(*channel, u"old"_s, 1000);
    AddItem(*channel, u"new"_s, 3000);
    AddItem(*channel, u"gone"_s, 4000)->deleted = true;
    AddItem(*channel, u"middle"_s, 2000);
    env.app.Prefs()->sortOrder = -4;

    xmlNode* root = Build(*channel);
    EXPECT_EQ(result, kResultOk);
    ASSERT_TRUE(root);
    EXPECT_EQ(NodeName(root), u"channelnewspaper"_s);
    ASSERT_EQ(ChildElements(root).size(), 1u);
    xmlNode* element = ChildElements(root).front();
    EXPECT_EQ(ChildText(element, "title"), u"Daily"_s);
    EXPECT_EQ(ItemTitles(element), (QStringList{u"new"_s, u"middle"_s, u"old"_s}));
}

TEST_F(NewspaperTest, AscendingDateSortPutsTheOldestFirst)
{
    auto channel = MakeChannel(u"Daily"_s);
    AddItem(*channel, u"middle"_s, 2000);
    AddItem(*channel, u"new"_s, 3000);
    AddItem(*channel, u"old"_s, 1000);
    env.app.Prefs()->sortOrder = 4;

    xmlNode* root = Build(*channel);
    ASSERT_TRUE(root);
    EXPECT_EQ(ItemTitles(ChildElements(root).front()),
              (QStringList{u"old"_s, u"middle"_s, u"new"_s}));
}

TEST_F(NewspaperTest, ChannelWhoseItemsAreAllDeletedHasOnlyItsInfo)
{
    auto channel = MakeChannel(u"Quiet"_s);
    AddItem(*channel, u"a"_s, 1000)->deleted = true;
    AddItem(*channel, u"b"_s, 2000)->deleted = true;

    xmlNode* root = Build(*channel);
    ASSERT_TRUE(root);
    EXPECT_EQ(ElementNames(ChildElements(root).front()),
              (QStringList{u"title"_s, u"link"_s, u"description"_s, u"ttl"_s, u"generator"_s}));
}

TEST_F(NewspaperTest, SortedChannelIsLaidOutWithLineBreaks)
{
    auto channel = MakeChannel(u"Daily"_s);
    channel->SetFavorite(true);
    AddItem(*channel, u"one"_s, 1000)->SetPubDate(u"Thu, 01 Jan 1970 00:16:40 GMT"_s);

    Build(*channel);
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<channelnewspaper>\r\n"
                                "  <channel favorite=\"true\">\r\n"
                                "    <title>Daily</title>\r\n"
                                "    <link>http://example.com/</link>\r\n"
                                "    <description/>\r\n"
                                "    <ttl>15</ttl>\r\n"
                                "    <generator>Calvoria</generator>\r\n"
                                "    <item new=\"1\" deleted=\"0\" status=\"0\">\r\n"
                                "      <title>one</title>\r\n"
                                "      <link/>\r\n"
                                "      <description/>\r\n"
                                "      <pubDate>Thu, 01 Jan 1970 00:16:40 GMT</pubDate>\r\n"
                                "    </item>\r\n"
                                "  </channel>\r\n"
                                "</channelnewspaper>\n";
    EXPECT_EQ(SerializeXml(doc.get()), expected);
}

// Group newspapers

TEST_F(NewspaperTest, GroupNewspaperHoldsOnlyTheChannelsDirectlyInTheGroup)
{
    auto group = CRssGroup::Create(&env.context);
    group->Rename(u"World & more"_s);
    auto first = MakeChannel(u"First"_s);
    auto second = MakeChannel(u"Second"_s);
    auto sub = CRssGroup::Create(&env.context);
    auto nested = MakeChannel(u"Nested"_s);
    AddItem(*first, u"b"_s, 1000);
    AddItem(*first, u"a"_s, 2000);
    AddItem(*second, u"c"_s, 3000);
    AddItem(*nested, u"d"_s, 4000);
    sub->AddChild(nested.get());
    group->AddChild(first.get());
    group->AddChild(sub.get());
    group->AddChild(second.get());
    env.app.Prefs()->sortOrder = 3; // title, ascending

    xmlNode* root = Build(*group);
    EXPECT_EQ(result, kResultOk);
    ASSERT_TRUE(root);
    EXPECT_EQ(NodeName(root), u"groupnewspaper"_s);
    EXPECT_EQ(Attribute(root, "title"), u"World & more"_s);
    const std::vector<xmlNode*> channels = ChildElements(root);
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(ChildText(channels[0], "title"), u"First"_s);
    EXPECT_EQ(ItemTitles(channels[0]), (QStringList{u"a"_s, u"b"_s}));
    EXPECT_EQ(ChildText(channels[1], "title"), u"Second"_s);
}

TEST_F(NewspaperTest, GroupOfOnlySubGroupsHasItsTitleAndNoChannel)
{
    auto group = CRssGroup::Create(&env.context);
    group->Rename(u"Folders"_s);
    auto sub = CRssGroup::Create(&env.context);
    sub->AddChild(MakeChannel(u"Deep"_s).get());
    group->AddChild(sub.get());

    xmlNode* root = Build(*group);
    ASSERT_TRUE(root);
    EXPECT_EQ(NodeName(root), u"groupnewspaper"_s);
    EXPECT_EQ(Attribute(root, "title"), u"Folders"_s);
    EXPECT_TRUE(ChildElements(root).empty());
}

// Item newspapers

TEST_F(NewspaperTest, ItemNewspaperShowsTheItemInsideItsChannel)
{
    auto channel = MakeChannel(u"Daily"_s);
    AddItem(*channel, u"other"_s, 1000);
    auto item = AddItem(*channel, u"chosen"_s, 2000, false);
    item->SetAuthor(u"ann"_s);
    item->deleted = true; // the pane shows what it was asked to show

    xmlNode* root = Build(*item);
    EXPECT_EQ(result, kResultOk);
    ASSERT_TRUE(root);
    EXPECT_EQ(NodeName(root), u"itemnewspaper"_s);
    ASSERT_EQ(ChildElements(root).size(), 1u);
    xmlNode* element = ChildElements(root).front();
    EXPECT_EQ(ChildText(element, "title"), u"Daily"_s);
    EXPECT_EQ(ItemTitles(element), QStringList{u"chosen"_s});
    xmlNode* itemElement = ChildElements(element, "item").front();
    EXPECT_EQ(Attribute(itemElement, "new"), u"0"_s);
    EXPECT_EQ(Attribute(itemElement, "deleted"), u"1"_s);
    EXPECT_EQ(ChildText(itemElement, "author"), u"ann"_s);

    const QByteArray text = SerializeXml(doc.get());
    EXPECT_TRUE(text.contains("<generator>Calvoria</generator>\r\n    <item new=\"0\""));
    EXPECT_TRUE(text.endsWith("    </item>\r\n  </channel>\r\n</itemnewspaper>\n"));
}

TEST_F(NewspaperTest, ItemOfAChannelWithEmptyInfoShowsThatEmptyInfo)
{
    auto results = CRssChannel::Create(&env.context); // like "Search Result"
    results->SetNameAndUrl(u"Search Result"_s, {});
    auto item = AddItem(*results, u"found"_s, 1000);

    xmlNode* root = Build(*item);
    ASSERT_TRUE(root);
    xmlNode* element = ChildElements(root).front();
    EXPECT_EQ(ChildText(element, "title"), QString());
    EXPECT_EQ(ChildText(element, "link"), QString());
    EXPECT_EQ(ItemTitles(element), QStringList{u"found"_s});
}

TEST_F(NewspaperTest, ItemWithoutAChannelFailsAndAppendsNothing)
{
    auto item = CRssItem::Create(&env.context, u"Loose"_s, u"text"_s);
    EXPECT_EQ(Build(*item), nullptr);
    EXPECT_EQ(result, kGenericFailure);

    xmlNode* holder = AppendElement(doc.get(), nullptr, "holder");
    xmlDocSetRootElement(doc.get(), holder);
    EXPECT_EQ(BuildNewspaper(*item, doc.get(), holder), kGenericFailure);
    EXPECT_EQ(holder->children, nullptr);
}

TEST_F(NewspaperTest, NewspaperBecomesTheDocumentElementOrAChildOfAnElement)
{
    auto channel = MakeChannel(u"Daily"_s);
    xmlNode* root = Build(*channel);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->parent, AsParent(doc.get()));
    // The result is a document the style sheets can read.
    EXPECT_TRUE(ParseXml(SerializeXml(doc.get()), {}));

    XmlDocPtr other = NewXmlDocument();
    xmlNode* holder = AppendElement(other.get(), nullptr, "holder");
    xmlDocSetRootElement(other.get(), holder);
    EXPECT_EQ(BuildNewspaper(*channel, other.get(), holder), kResultOk);
    EXPECT_EQ(ElementNames(holder), QStringList{u"channelnewspaper"_s});
}

// The news list's comparator

class NewsOrder : public NewspaperTest
{
protected:
    QStringList Sorted(int sortValue)
    {
        std::vector<CRssItem*> items;
        for (const CRefPtr<CRssItem>& item : list)
            items.push_back(item.get());
        SortItems(items, sortValue);
        QStringList titles;
        for (const CRssItem* item : items)
            titles << item->title;
        return titles;
    }

    void Add(const QString& title, qint64 time, bool unread, RssItemState state,
             const QString& author, const QString& category)
    {
        auto item = CRssItem::Create(&env.context);
        item->title = title;
        item->UpdateIdentity();
        item->publicationTime = time;
        item->unread = unread;
        item->SetState(state);
        item->SetAuthor(author);
        item->SetCategory(category);
        list.push_back(item);
    }

    std::vector<CRefPtr<CRssItem>> list;
};

TEST_F(NewsOrder, EveryColumnSortsBothWays)
{
    Add(u"b"_s, 2000, false, RssItemState::Ready, u"Zed"_s, u"alpha"_s);
    Add(u"a"_s, 3000, true, RssItemState::Failed, u"amy"_s, u"Beta"_s);
    Add(u"C"_s, 1000, false, RssItemState::None, u"Bob"_s, u"gamma"_s);

    EXPECT_EQ(Sorted(1).first(), u"a"_s);                         // unread first
    EXPECT_EQ(Sorted(-1).last(), u"a"_s);                         // unread last
    EXPECT_EQ(Sorted(2), (QStringList{u"C"_s, u"b"_s, u"a"_s}));  // state
    EXPECT_EQ(Sorted(-2), (QStringList{u"a"_s, u"b"_s, u"C"_s})); // state, descending
    EXPECT_EQ(Sorted(3), (QStringList{u"C"_s, u"a"_s, u"b"_s}));  // title, by code unit
    EXPECT_EQ(Sorted(-3), (QStringList{u"b"_s, u"a"_s, u"C"_s})); // title, descending
    EXPECT_EQ(Sorted(4), (QStringList{u"C"_s, u"b"_s, u"a"_s}));  // date, oldest first
    EXPECT_EQ(Sorted(-4), (QStringList{u"a"_s, u"b"_s, u"C"_s})); // date, newest first
    EXPECT_EQ(Sorted(5), (QStringList{u"C"_s, u"b"_s, u"a"_s}));  // author, case counts
    EXPECT_EQ(Sorted(6), (QStringList{u"a"_s, u"b"_s, u"C"_s}));  // category
    EXPECT_EQ(Sorted(-6), (QStringList{u"C"_s, u"b"_s, u"a"_s})); // category, descending
}

TEST_F(NewsOrder, ValuesNamingNoColumnKeepTheListOrder)
{
    Add(u"b"_s, 2000, false, RssItemState::Ready, {}, {});
    Add(u"c"_s, 3000, true, RssItemState::None, {}, {});
    Add(u"a"_s, 1000, false, RssItemState::None, {}, {});
    const QStringList listOrder{u"b"_s, u"c"_s, u"a"_s};
    for (int value : {0, 7, -7, 8, -8, INT_MAX, INT_MIN})
        EXPECT_EQ(Sorted(value), listOrder) << value;
    EXPECT_EQ(CompareItems(*list[0], *list[1], INT_MIN), 0);
}

TEST_F(NewsOrder, ManyEqualKeysSortSafely)
{
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i)
        Add(QString::number(random() % 3), random() % 4, random() % 2, RssItemState(random() % 7),
            QString::number(random() % 2), {});
    for (int value = -6; value <= 6; ++value) {
        std::vector<CRssItem*> items;
        for (const CRefPtr<CRssItem>& item : list)
            items.push_back(item.get());
        SortItems(items, value);
        ASSERT_EQ(items.size(), list.size());
        for (size_t i = 1; i < items.size(); ++i)
            ASSERT_LE(CompareItems(*items[i - 1], *items[i], value), 0) << value;
    }
}
