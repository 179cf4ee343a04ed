#include "OpmlFile.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

CRefPtr<CRssChannel> AddChannel(CRssGroup& parent, const QString& name, const QString& url)
{
    auto channel = CRssChannel::Create(parent.Context());
    channel->SetNameAndUrl(name, url);
    parent.AddChild(channel.get());
    return channel;
}

CRefPtr<CRssGroup> AddGroup(CRssGroup& parent, const QString& name, bool expanded = true)
{
    auto group = CRssGroup::Create(parent.Context());
    group->Rename(name);
    group->SetExpanded(expanded);
    parent.AddChild(group.get());
    return group;
}

// One line per node, indented by depth, with the flags that differ from a new node's.
QString Describe(CRssGroup& group, int depth = 0)
{
    QString text;
    for (const CRefPtr<CRssNode>& node : group.ChildrenSnapshot()) {
        text += QString(depth * 2, u' ');
        if (auto channel = NodeCast<CRssChannel>(node)) {
            text += u"rss '%1' <%2>"_s.arg(channel->Name(), channel->Url());
            text += channel->Favorite() ? u" favorite"_s : QString();
            text += channel->AutoUpdate() ? QString() : u" manual"_s;
            text += channel->AutoConvert() ? u" convert"_s : QString();
            if (channel->RemoteImagesChoice() == CRssChannel::RemoteImages::Always)
                text += u" images"_s;
            else if (channel->RemoteImagesChoice() == CRssChannel::RemoteImages::Never)
                text += u" no-images"_s;
            text += u'\n';
        } else if (auto sub = NodeCast<CRssGroup>(node)) {
            text +=
                u"group '%1'%2\n"_s.arg(sub->Name(), sub->Expanded() ? QString() : u" collapsed"_s);
            text += Describe(*sub, depth + 1);
        }
    }
    return text;
}

class OpmlTest : public ::testing::Test
{
protected:
    OpmlTest() { root->Rename(u"My Feeds"_s); }

    // A copy of the fixture in the data folder: reading a damaged file keeps it aside
    // beside it, and that must not happen in the source tree.
    QString Fixture(const QString& name) const
    {
        const QString copy = env.home.File(u"fixtures/"_s + name);
        QDir().mkpath(env.home.File(u"fixtures"_s));
        QFile::copy(FeedEnvironment::TestData(u"opml/"_s + name), copy);
        return copy;
    }
    QString DataFile(const QString& name) const { return env.DataRoot() + name; }

    // The tree of the byte-exact fixture written.opml.
    void BuildSampleTree()
    {
        tech = AddChannel(*root, u"Tech & <News>"_s, u"http://example.com/rss?a=1&b=2"_s);
        RssChannelInfo info;
        // XML cannot carry BEL or a lone surrogate: they are left out.
        info.description = u"Say \"hi\"\tthen\nbye\x07"_s + QChar(0xD800);
        tech->SetInfo(info);
        tech->SetFavorite(true);
        tech->SetAutoUpdate(false);
        tech->SetAutoConvert(true);
        tech->AddChild(CRssItem::Create(&env.context, u"One"_s, u"first"_s).get());
        auto deleted = CRssItem::Create(&env.context, u"Two"_s, u"second"_s);
        deleted->deleted = true;
        tech->AddChild(deleted.get());

        auto level1 = AddGroup(*root, u"Level 1"_s, false);
        auto level3 = AddGroup(*AddGroup(*level1, u"Level 2"_s), u"Level 3"_s);
        deep = AddChannel(*level3, u"Deep"_s, u"http://deep.example/feed"_s);
        AddGroup(*level1, u"Empty"_s);
        AddChannel(*root, u"Größe 日本"_s, u"https://example.org/ü"_s);
    }

    FeedEnvironment env;
    CRefPtr<CRssGroup> root = CRssGroup::Create(&env.context, true);
    CRefPtr<CRssChannel> tech, deep;
};

} // namespace

TEST_F(OpmlTest, WritesTheExactLayoutWithNestedIndentsAndEscapedText)
{
    BuildSampleTree();
    ASSERT_EQ(WriteOpmlFile(*root, DataFile(u"data.opml"_s)), kResultOk);
    EXPECT_EQ(ReadFile(DataFile(u"data.opml"_s)), ReadFile(Fixture(u"written.opml"_s)));
    // Every save of the tree saves the channel files too.
    EXPECT_TRUE(QFile::exists(deep->FilePath()));
    EXPECT_TRUE(QFile::exists(tech->FilePath()));
}

TEST_F(OpmlTest, EmptyBodyHoldsOnlyItsClosingLayout)
{
    ASSERT_EQ(ReadOpmlFile(*root, Fixture(u"empty-body.opml"_s)), kResultOk);
    EXPECT_EQ(root->ChildCount(), 0);
    ASSERT_EQ(WriteOpmlFile(*root, DataFile(u"data.opml"_s)), kResultOk);
    EXPECT_EQ(ReadFile(DataFile(u"data.opml"_s)), ReadFile(Fixture(u"written-empty.opml"_s)));
}

TEST_F(OpmlTest, ChannelWhoseFileCannotBeSavedKeepsItsOutline)
{
    auto doomed = AddChannel(*root, u"Doomed"_s, u"http://doomed.example/"_s);
    AddChannel(*root, u"Fine"_s, u"http://fine.example/"_s);
    ASSERT_TRUE(QDir().mkpath(doomed->FilePath())); // a folder where the file should go
    ASSERT_EQ(WriteOpmlFile(*root, DataFile(u"data.opml"_s)), kGenericFailure);
    EXPECT_TRUE(env.log.Contains(
        u"*ERROR: Cannot save channel file '%1': not a regular file"_s.arg(doomed->FilePath())));

    auto reread = CRssGroup::Create(&env.context, true);
    ReadOpmlFile(*reread, DataFile(u"data.opml"_s));
    EXPECT_EQ(Describe(*reread),
              u"rss 'Doomed' <http://doomed.example/>\nrss 'Fine' <http://fine.example/>\n"_s);
}

TEST_F(OpmlTest, UnwritablePathFails)
{
    AddChannel(*root, u"A"_s, u"http://a.example/"_s);
    EXPECT_EQ(WriteOpmlFile(*root, DataFile(u"no/such/folder/data.opml"_s)), kGenericFailure);
}

TEST_F(OpmlTest, RoundTripKeepsOrderNamesUrlsFlagsAndItems)
{
    BuildSampleTree();
    const QString first = DataFile(u"first.opml"_s), second = DataFile(u"second.opml"_s);
    ASSERT_EQ(WriteOpmlFile(*root, first), kResultOk);

    auto reread = CRssGroup::Create(&env.context, true);
    reread->Rename(u"My Feeds"_s);
    ASSERT_EQ(ReadOpmlFile(*reread, first), kResultOk);
    EXPECT_EQ(Describe(*reread), Describe(*root));
    // Same items from the channel files, same count: the second save is the same file.
    ASSERT_EQ(WriteOpmlFile(*reread, second), kResultOk);
    EXPECT_EQ(ReadFile(second), ReadFile(first));
}

TEST_F(OpmlTest, ValuesFollowTheirOwnCaseRules)
{
    const QString path = Fixture(u"edge-values.opml"_s);
    ASSERT_EQ(ReadOpmlFile(*root, path), kResultOk);
    EXPECT_TRUE(env.log.Contains(u"Start Reading group: '%1'"_s.arg(path)));
    EXPECT_TRUE(env.log.Contains(u"Reading group: done '%1'"_s.arg(path)));
    // Types fold case; "false" and "true" flags only count when written exactly.
    EXPECT_EQ(Describe(*root),
              u"group 'Capital F'\n"
              u"  rss 'Capitals' <http://a.example/rss>\n"
              u"rss 'Only a title' <http://b.example/rss> favorite manual convert\n"
              u"rss 'Text wins' <http://c.example/rss>\n"
              u"group 'Collapsed' collapsed\n"
              u"group ''\n"_s);
    EXPECT_TRUE(root->Expanded());
    auto titled = NodeCast<CRssChannel>(root->ChildrenSnapshot()[1]);
    EXPECT_EQ(titled->ChildCount(), 0); // count is not read
    EXPECT_TRUE(titled->Info().description.isEmpty());
    EXPECT_EQ(IdentityHex(titled->Identity()), u"1713FC0D1163CEBE7EB9C7DDC572957D"_s);

    ASSERT_EQ(WriteOpmlFile(*root, DataFile(u"data.opml"_s)), kResultOk);
    EXPECT_TRUE(
        ReadFile(DataFile(u"data.opml"_s))
            .contains(R"(text="Only a title" title="Only a title" xmlUrl="http://b.example/rss")"));
}

TEST_F(OpmlTest, RemoteImagesAndFullArticleChoicesAreWrittenOnlyWhenMadeAndReadBack)
{
    AddChannel(*root, u"Follows"_s, u"http://a.example/"_s);
    auto shows = AddChannel(*root, u"Shows"_s, u"http://b.example/"_s);
    shows->SetRemoteImagesChoice(CRssChannel::RemoteImages::Always);
    shows->SetFullArticle(true);
    AddChannel(*root, u"Hides"_s, u"http://c.example/"_s)
        ->SetRemoteImagesChoice(CRssChannel::RemoteImages::Never);
    ASSERT_EQ(WriteOpmlFile(*root, DataFile(u"data.opml"_s)), kResultOk);
    const QByteArray written = ReadFile(DataFile(u"data.opml"_s));
    EXPECT_EQ(written.count("remoteimages="), 2);
    EXPECT_TRUE(written.contains(R"(count="0" remoteimages="always" fullarticle="true"/>)"))
        << written.constData();
    EXPECT_TRUE(written.contains(R"(count="0" remoteimages="never"/>)"));
    EXPECT_EQ(written.count("fullarticle="), 1);

    auto reread = CRssGroup::Create(&env.context, true);
    ASSERT_EQ(ReadOpmlFile(*reread, DataFile(u"data.opml"_s)), kResultOk);
    const auto rereadChannels = reread->ChildrenSnapshot();
    ASSERT_EQ(rereadChannels.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(NodeCast<CRssChannel>(rereadChannels[i])->FullArticle(), i == 1);
    EXPECT_EQ(Describe(*reread), u"rss 'Follows' <http://a.example/>\n"
                                 u"rss 'Shows' <http://b.example/> images\n"
                                 u"rss 'Hides' <http://c.example/> no-images\n"_s);

    // Values are exact, as for the other flags: anything else follows the option.
    ASSERT_TRUE(WriteFile(DataFile(u"odd.opml"_s),
                          R"(<opml version="1.0"><body>
<outline type="rss" text="Odd" xmlUrl="http://d.example/" remoteimages="Never"/>
</body></opml>)"));
    ASSERT_EQ(ReadOpmlFile(*reread, DataFile(u"odd.opml"_s)), kResultOk);
    EXPECT_EQ(Describe(*reread), u"rss 'Odd' <http://d.example/>\n"_s);
}

TEST_F(OpmlTest, MalformedOutlinesAreDroppedWithTheirSubtreeAndSiblingsKept)
{
    env.ClearNotifications();
    // Subscriptions are left out: the file is kept aside before a save could lose them.
    const QString path = Fixture(u"malformed.opml"_s);
    EXPECT_EQ(ReadOpmlFile(*root, path), kGenericFailure);
    EXPECT_EQ(Describe(*root), u"rss 'First' <http://1.example/>\n"
                               u"group 'Kept'\n"
                               u"  rss 'Second' <http://2.example/>\n"
                               u"rss 'Third' <http://3.example/>\n"_s);
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList({u"malformed.opml.bad-*"_s}).size(), 1);
    EXPECT_EQ(env.context.TakeStoredFileProblems().size(), 1);
    EXPECT_EQ(env.Count(RssEvent::TreeChanged), 0);
    EXPECT_FALSE(root->Loading());
}

struct BrokenFile
{
    const char* fixture;
    const char* error;
    const char* recovered = "";
};

class OpmlBrokenFileTest : public OpmlTest, public ::testing::WithParamInterface<BrokenFile>
{
};

TEST_P(OpmlBrokenFileTest, LogsWhyAndLeavesOnlyWhatIsWhole)
{
    AddChannel(*root, u"Before"_s, u"http://before.example/"_s);
    const QString path = Fixture(QString::fromLatin1(GetParam().fixture));
    EXPECT_NE(ReadOpmlFile(*root, path), kResultOk);
    EXPECT_EQ(Describe(*root), QString::fromUtf8(GetParam().recovered));
    const QStringList lines = env.log.Lines();
    EXPECT_TRUE(lines.contains(u"Start Reading group: '%1'"_s.arg(path)));
    EXPECT_TRUE(lines.contains(QString::fromLatin1(GetParam().error)))
        << lines.join(u'\n').toStdString();
    EXPECT_FALSE(lines.contains(u"Reading group: done '%1'"_s.arg(path)));
}

INSTANTIATE_TEST_SUITE_P(
    Opml, OpmlBrokenFileTest,
    ::testing::Values(BrokenFile{"missing.opml", "*ERROR: Cannot load group"},
                      BrokenFile{"not-xml.opml", "*ERROR: Cannot load group"},
                      BrokenFile{"truncated.opml", "*ERROR: Cannot load group",
                                 "rss 'Cut' <http://cut.example/>\n"},
                      BrokenFile{"no-body.opml", "*ERROR: Cannot found body element"},
                      BrokenFile{"wrong-root.opml", "*ERROR: Cannot found body element"}));

TEST_F(OpmlTest, HostileFilesNeitherCrashNorHang)
{
    // Nesting the parser accepts is read to the bottom and written back.
    QByteArray deep = "<opml><body>";
    for (int i = 0; i < 200; ++i)
        deep += "<outline type='group' text='g'>";
    deep += "<outline type='rss' text='bottom' xmlUrl='u'/>";
    for (int i = 0; i < 200; ++i)
        deep += "</outline>";
    deep += "</body></opml>";
    ASSERT_TRUE(WriteFile(DataFile(u"deep.opml"_s), deep));
    EXPECT_EQ(ReadOpmlFile(*root, DataFile(u"deep.opml"_s)), kResultOk);
    EXPECT_TRUE(Describe(*root).endsWith(QString(400, u' ') + u"rss 'bottom' <u>\n"_s));
    EXPECT_EQ(WriteOpmlFile(*root, DataFile(u"deep-out.opml"_s)), kResultOk);

    // Deeper than the parser goes: refused, and kept aside.
    const QByteArray tooDeep = "<opml><body>" + QByteArray("<outline>").repeated(100000);
    ASSERT_TRUE(WriteFile(DataFile(u"too-deep.opml"_s), tooDeep));
    EXPECT_EQ(ReadOpmlFile(*root, DataFile(u"too-deep.opml"_s)), kGenericFailure);

    // A stored file is not held to the 32 MB of documents from outside.
    QByteArray huge = "<opml><body><!--" + QByteArray(33 * 1024 * 1024, 'x') + "--></body></opml>";
    ASSERT_TRUE(WriteFile(DataFile(u"huge.opml"_s), huge));
    huge.clear();
    EXPECT_EQ(ReadOpmlFile(*root, DataFile(u"huge.opml"_s)), kResultOk);
}

TEST(Group, PostsTreeChangedOnlyForRealChangesOutsideLoading)
{
    FeedEnvironment env;
    auto group = CRssGroup::Create(&env.context);
    auto channel = CRssChannel::Create(&env.context);
    group->SetLoading(true);
    group->AddChild(channel.get());
    EXPECT_EQ(env.Count(RssEvent::TreeChanged), 0);
    group->SetLoading(false);
    EXPECT_TRUE(group->RemoveChild(channel.get()));
    EXPECT_FALSE(group->RemoveChild(channel.get()));
    EXPECT_EQ(env.Count(RssEvent::TreeChanged), 1);
    group->AddChild(channel.get());
    EXPECT_EQ(env.Count(RssEvent::TreeChanged), 2);
}

TEST(Group, MarkReadAndSearchReachChannelsInNestedGroups)
{
    FeedEnvironment env;
    auto root = CRssGroup::Create(&env.context, true);
    auto top = AddChannel(*root, u"Top"_s, u"http://top/"_s);
    auto inner =
        AddChannel(*AddGroup(*AddGroup(*root, u"A"_s), u"B"_s), u"Inner"_s, u"http://inner/"_s);
    top->AddChild(CRssItem::Create(&env.context, u"Rain today"_s, u"wet"_s).get());
    inner->AddChild(CRssItem::Create(&env.context, u"Sunny"_s, u"RAIN later"_s).get());
    inner->AddChild(CRssItem::Create(&env.context, u"Wind"_s, u"dry"_s).get());
    top->Recount(false);
    inner->Recount(false);

    root->MarkRead(true);
    EXPECT_EQ(top->UnreadCount() + inner->UnreadCount(), 0);
    for (const auto& node : inner->ChildrenSnapshot())
        EXPECT_FALSE(NodeCast<CRssItem>(node)->unread);
    root->MarkRead(false);
    EXPECT_EQ(inner->UnreadCount(), 2);

    auto result = CRssChannel::Create(&env.context);
    root->Search(u"rain"_s, *result);
    ASSERT_EQ(result->ChildCount(), 2);
    EXPECT_EQ(NodeCast<CRssItem>(result->ChildrenSnapshot()[0])->title, u"Rain today"_s);
    EXPECT_EQ(NodeCast<CRssItem>(result->ChildrenSnapshot()[1])->title, u"Sunny"_s);
}
