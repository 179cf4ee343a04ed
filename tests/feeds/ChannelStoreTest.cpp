// The channel file read back by the program, and the save that skips unchanged files.
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class ChannelStoreTest : public ::testing::Test
{
protected:
    FeedEnvironment env;
    CRefPtr<CRssChannel> channel = MakeChannel();

    CRefPtr<CRssChannel> MakeChannel()
    {
        auto c = CRssChannel::Create(&env.context);
        c->SetNameAndUrl(u"News"_s, u"http://example.com/rss"_s);
        return c;
    }

    CRefPtr<CRssItem> Add(const QString& title, qint64 time, RssItemState state = RssItemState::None)
    {
        auto item = CRssItem::Create(&env.context);
        item->title = title;
        item->SetLink(u"http://example.com/"_s + title);
        item->SetDescription(u"<b>About</b> "_s + title);
        item->SetPubDate(FormatDate(time));
        item->SetAuthor(u"Ann"_s);
        item->inFeed = true;
        item->UpdateIdentity();
        item->SetPublicationTime(time);
        channel->AddChild(item.get());
        item->SetState(state);
        return item;
    }

    static QString FormatDate(qint64 time);

    CRefPtr<CRssChannel> ReadBack(const QString& path)
    {
        auto again = MakeChannel();
        EXPECT_EQ(again->LoadStoredFile(path), kResultOk);
        return again;
    }

    static CRssItem* ItemAt(CRssChannel& c, int i)
    {
        return static_cast<CRssItem*>(c.ChildrenSnapshot().at(size_t(i)).get());
    }
};

QString ChannelStoreTest::FormatDate(qint64 time)
{
    return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString(u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s);
}

} // namespace

TEST_F(ChannelStoreTest, EveryFieldAndFlagSurvivesARoundTrip)
{
    RssChannelInfo info;
    info.title = u"Example & Co"_s;
    info.link = u"http://example.com/"_s;
    info.description = u"Daily <news>"_s;
    info.pubDate = u"Mon, 13 Nov 2023 10:00:00 GMT"_s;
    info.lastBuildDate = u"Tue, 14 Nov 2023 10:00:00 GMT"_s;
    info.ttl = 60;
    info.imageUrl = u"http://example.com/logo.png"_s;
    info.imageTitle = u"Logo"_s;
    info.imageLink = u"http://example.com/"_s;
    channel->SetInfo(info);
    auto ready = Add(u"Ready"_s, 1699900000, RssItemState::Ready);
    ASSERT_TRUE(WriteFile(ready->Mp3File(), "mp3"));
    auto read = Add(u"Read"_s, 1699800000, RssItemState::Failed);
    read->unread = false;
    auto gone = Add(u"Deleted"_s, 1699700000, RssItemState::FileMissing);
    gone->deleted = true;
    auto podcast = Add(u"Podcast"_s, 1699600000);
    podcast->SetEnclosure({u"http://example.com/a.mp3"_s, 12345, u"audio/mpeg"_s});
    podcast->SetCategory(u"Audio"_s);
    auto noLength = Add(u"No length"_s, 1699500000);
    noLength->SetEnclosure({u"http://example.com/b.mp3"_s, 0, u"audio/mpeg"_s});

    const QString path = channel->FilePath();
    ASSERT_EQ(channel->SaveFile(path), kResultOk);
    auto again = ReadBack(path);

    EXPECT_EQ(again->Info(), info);
    ASSERT_EQ(again->ChildCount(), 5);
    for (int i = 0; i < 5; ++i) {
        CRssItem* a = ItemAt(*channel, i);
        CRssItem* b = ItemAt(*again, i);
        EXPECT_EQ(b->title, a->title);
        EXPECT_EQ(b->Link(), a->Link());
        EXPECT_EQ(b->Description(), a->Description());
        EXPECT_EQ(b->PubDate(), a->PubDate());
        EXPECT_EQ(b->Author(), a->Author());
        EXPECT_EQ(b->Category(), a->Category());
        EXPECT_EQ(b->publicationTime, a->publicationTime) << i;
        EXPECT_EQ(b->unread, a->unread);
        EXPECT_EQ(b->deleted, a->deleted);
        EXPECT_EQ(b->Identity(), a->Identity()) << "identities must not change across runs";
        EXPECT_TRUE(b->inFeed);
    }
    EXPECT_EQ(ItemAt(*again, 0)->State(), RssItemState::Ready);
    EXPECT_EQ(ItemAt(*again, 1)->State(), RssItemState::Failed);
    EXPECT_EQ(ItemAt(*again, 3)->Enclosure(), podcast->Enclosure());
    EXPECT_EQ(ItemAt(*again, 4)->Enclosure(), RssEnclosure{}) << "a length of 0 is not stored";
    EXPECT_EQ(again->TotalCount(), 4);
    EXPECT_EQ(again->UnreadCount(), 3);
}

TEST_F(ChannelStoreTest, ReadyWithoutItsMp3BecomesFileMissingButDeletedItemsAreLeftAlone)
{
    Add(u"Gone"_s, 1699900000, RssItemState::Ready);
    auto deleted = Add(u"Deleted"_s, 1699800000, RssItemState::Ready);
    deleted->deleted = true;
    const QString path = channel->FilePath();
    ASSERT_EQ(channel->SaveFile(path), kResultOk);

    auto again = ReadBack(path);
    EXPECT_EQ(ItemAt(*again, 0)->State(), RssItemState::FileMissing);
    EXPECT_EQ(ItemAt(*again, 1)->State(), RssItemState::Ready);
    EXPECT_TRUE(ItemAt(*again, 1)->deleted);
}

TEST_F(ChannelStoreTest, UnchangedChannelIsNotRewrittenAndAChangedOneIs)
{
    Add(u"One"_s, 1699900000);
    Add(u"Two"_s, 1699800000);
    const QString path = channel->FilePath();
    ASSERT_EQ(channel->SaveFile(path), kResultOk);

    // A marker only a rewrite would remove shows whether the file was written again.
    auto marked = [&] {
        QByteArray bytes = ReadFile(path);
        bytes.append("<!-- untouched -->");
        return WriteFile(path, bytes);
    };
    ASSERT_TRUE(marked());
    ASSERT_EQ(channel->SaveFile(path), kResultOk);
    EXPECT_TRUE(ReadFile(path).endsWith("<!-- untouched -->"));

    ItemAt(*channel, 1)->SetUnread(false, ChannelCounts::Recount);
    ASSERT_EQ(channel->SaveFile(path), kResultOk);
    const QByteArray rewritten = ReadFile(path);
    EXPECT_FALSE(rewritten.endsWith("<!-- untouched -->"));
    EXPECT_TRUE(rewritten.contains("<item new=\"1\" deleted=\"0\" status=\"0\">\r\n"
                                   "      <title>One</title>"))
        << rewritten.constData();
    EXPECT_TRUE(rewritten.contains("<item new=\"0\" deleted=\"0\" status=\"0\">\r\n"
                                   "      <title>Two</title>"))
        << rewritten.constData();
    EXPECT_TRUE(rewritten.endsWith("</rss>\n")) << "a whole file";

    QFile::remove(path);
    ASSERT_EQ(channel->SaveFile(path), kResultOk);
    EXPECT_TRUE(QFile::exists(path)) << "a missing file is always written";
}

TEST_F(ChannelStoreTest, FileReadAtStartIsNotRewrittenUntilSomethingChanges)
{
    RssChannelInfo info;
    info.title = u"T"_s;
    info.lastBuildDate = u"Tue, 14 Nov 2023 10:00:00 GMT"_s; // every download sets one
    channel->SetInfo(info);
    Add(u"One"_s, 1699900000);
    const QString path = channel->FilePath();
    ASSERT_EQ(channel->SaveFile(path), kResultOk);
    auto again = ReadBack(path);
    ASSERT_TRUE(WriteFile(path, ReadFile(path) + "<!-- untouched -->"));
    ASSERT_EQ(again->SaveFile(path), kResultOk);
    EXPECT_TRUE(ReadFile(path).endsWith("<!-- untouched -->"));

    ItemAt(*again, 0)->SetState(RssItemState::Failed);
    ASSERT_EQ(again->SaveFile(path), kResultOk);
    const QByteArray saved = ReadFile(path);
    EXPECT_TRUE(saved.contains("<item new=\"1\" deleted=\"0\" status=\"4\">")) << saved.constData();
    EXPECT_TRUE(saved.endsWith("</rss>\n")) << saved.constData();
}

TEST_F(ChannelStoreTest, FileThatReadingChangesIsWrittenAtTheNextSave)
{
    // Stored with a date the reader rewrites and without a build date: the next save must
    // carry what the program now holds.
    const QByteArray stored =
        "<rss version=\"2.0\"><channel><title>T</title><link>L</link><description>D</description>"
        "<item new=\"1\" deleted=\"0\" status=\"0\"><title>A</title><link>l</link>"
        "<description>d</description><pubDate>not a date</pubDate></item></channel></rss>";
    const QString path = channel->FilePath();
    ASSERT_TRUE(WriteFile(path, stored));
    auto again = ReadBack(path);
    ASSERT_EQ(again->SaveFile(path), kResultOk);
    // The arrival time (1700000000) stands in for the unreadable date and the missing one.
    const QByteArray saved = ReadFile(path);
    EXPECT_TRUE(saved.contains("<lastBuildDate>14 Nov 2023 22:13:20 GMT</lastBuildDate>"))
        << saved.constData();
    EXPECT_TRUE(saved.contains("<pubDate>14 Nov 2023 22:13:20 GMT</pubDate>")) << saved.constData();
    EXPECT_TRUE(saved.contains("<generator>Calvoria</generator>")) << saved.constData();
}

TEST_F(ChannelStoreTest, UnwritableFolderReportsAFailureAndKeepsTheOldFile)
{
    Add(u"One"_s, 1699900000);
    ASSERT_TRUE(WriteFile(env.home.File(u"blocker"_s), "file"));
    EXPECT_EQ(channel->SaveFile(env.home.File(u"blocker/news.rss"_s)), kGenericFailure);
    EXPECT_EQ(ReadFile(env.home.File(u"blocker"_s)), "file");
}
