#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "IItemJobs.h"

#include <QFile>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

CRefPtr<CRssItem> MakeItem(FeedEnvironment& env, const QString& title,
                           const QString& description = {})
{
    CRefPtr<CRssItem> item = CRssItem::Create(&env.context);
    item->title = title;
    item->SetDescription(description);
    item->UpdateIdentity();
    return item;
}

class RecordingJobs : public IItemJobs
{
public:
    void RequestConversion(CRssItem&, ConversionRequest request) override
    {
        calls << u"convert %1 %2 %3"_s.arg(int(request.retry))
                     .arg(int(request.urgent))
                     .arg(int(request.preferPodcast));
    }
    bool RequestPodcast(CRssItem&, PodcastRequest request) override
    {
        calls << u"podcast %1 %2"_s.arg(int(request.retry)).arg(int(request.urgent));
        return true;
    }
    void ResumePending(CRssItem& item) override { calls << u"resume %1"_s.arg(int(item.State())); }
    QStringList calls;
};

} // namespace

// File names

struct FileNameCase
{
    QString title;
    QString name;
};

class ItemFileName : public ::testing::TestWithParam<FileNameCase>
{
};

TEST_P(ItemFileName, KeepsAsciiLettersDigitsAndBlanksOfTheTitle)
{
    FeedEnvironment env;
    EXPECT_EQ(MakeItem(env, GetParam().title)->AudioFileName(), GetParam().name);
}

// Without an ASCII letter the name is the whole identity (the MD5 of the plain title in
// UTF-16LE), else the filtered title and the identity's first 8 digits.
INSTANTIATE_TEST_SUITE_P(
    Titles, ItemFileName,
    ::testing::Values(FileNameCase{u"2006 10 01"_s, u"2C48601BEC799D5E1234D2C15ED2AA71"_s},
                      FileNameCase{u"Καλημέρα κόσμε!"_s, u"E62876B4CA03F5ACE759FE09EBC36EE3"_s},
                      FileNameCase{u"Hello, World!"_s, u"Hello_World78894B2C"_s},
                      FileNameCase{u"Hello, World 2"_s, u"Hello_World_249E87E2E"_s},
                      FileNameCase{u"Café <b>au</b> lait"_s, u"Caf_au_lait8F566D7F"_s},
                      FileNameCase{QString(200, u'x'), QString(96, u'x') + u"C5D4600F"_s}));

TEST(ItemFiles, VoiceFilesLiveInTheVoiceAndMp3Folders)
{
    FeedEnvironment env;
    auto item = MakeItem(env, u"News"_s);
    const QString base = item->AudioFileName();
    EXPECT_EQ(item->HtmlFile(), env.DataRoot() + u"Voice/"_s + base + u".html"_s);
    EXPECT_EQ(item->WavFile(), env.DataRoot() + u"Voice/"_s + base + u".wav"_s);
    EXPECT_EQ(item->Mp3File(), env.DataRoot() + u"MP3/"_s + base + u".mp3"_s);
}

TEST(ItemPodcast, OnlyAnAudioMpegEnclosureWithUrlIsAPodcast)
{
    FeedEnvironment env;
    auto item = MakeItem(env, u"Show"_s);
    item->SetEnclosure({u"http://example.com/a.mp3"_s, 10, u"Audio/MPEG"_s});
    EXPECT_TRUE(item->HasMp3Enclosure());
    item->SetEnclosure({u"http://example.com/a.mp3"_s, 10, u"audio/mp3"_s});
    EXPECT_FALSE(item->HasMp3Enclosure());
    item->SetEnclosure({{}, 10, u"audio/mpeg"_s});
    EXPECT_FALSE(item->HasMp3Enclosure());
}

// Built by hand

TEST(ItemCreate, ItemBuiltByHandIsDatedNowAndHasItsIdentity)
{
    FeedEnvironment env;
    auto item = CRssItem::Create(&env.context, u"  A <b>bold</b> title "_s, u"Text&#65;"_s);
    EXPECT_EQ(item->title, u"A <b>bold</b> title"_s);
    EXPECT_EQ(item->PlainTitle(), u"A bold title"_s);
    EXPECT_EQ(item->PlainDescription(), u"TextA"_s);
    EXPECT_EQ(item->publicationTime, env.Now());
    EXPECT_EQ(item->PubDate(), u"14 Nov 2023 22:13:20 GMT"_s);
    EXPECT_FALSE(item->DisplayDate().isEmpty());
    // MD5 of "A bold titleTextA" in UTF-16LE
    EXPECT_EQ(IdentityHex(item->Identity()), u"F1A9E99D2F07099E9A8F2183D94ADDB0"_s);
}

// Date text

struct AgeCase
{
    qint64 age;
    QString text;
};

class ItemDateText : public ::testing::TestWithParam<AgeCase>
{
};

TEST_P(ItemDateText, AgeIsBuiltFromDaysHoursAndMinutes)
{
    FeedEnvironment env;
    env.app.Prefs()->showTimeSince = true;
    auto item = MakeItem(env, u"News"_s);
    item->SetPublicationTime(env.Now() - GetParam().age);
    EXPECT_EQ(item->DateText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Ages, ItemDateText,
    ::testing::Values(AgeCase{0, u"0 minutes ago"_s}, AgeCase{59, u"0 minutes ago"_s},
                      AgeCase{60, u"1 minutes ago"_s}, AgeCase{3600, u"1 hour 0 minutes ago"_s},
                      AgeCase{2 * 3600 + 5 * 60, u"2 hours 5 minutes ago"_s},
                      AgeCase{86400, u"1 day 0 minutes ago"_s},
                      AgeCase{86400 + 3600 + 60, u"1 day 1 hour 1 minutes ago"_s},
                      AgeCase{2 * 86400 + 3 * 3600 + 5 * 60 + 59,
                              u"2 days 3 hours 5 minutes ago"_s}));

TEST(ItemDateTextOff, ShowsTheDisplayDateWhenTheAgeIsNotWanted)
{
    FeedEnvironment env;
    env.app.Prefs()->showTimeSince = false;
    auto item = MakeItem(env, u"News"_s);
    item->SetPublicationTime(env.Now() - 7200);
    EXPECT_FALSE(item->DisplayDate().isEmpty());
    EXPECT_EQ(item->DateText(), item->DisplayDate());
}

// Unread flag and delete

class ItemInChannel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        channel = CRssChannel::Create(&env.context);
        first = MakeItem(env, u"First"_s);
        second = MakeItem(env, u"Second"_s);
        first->inFeed = second->inFeed = true;
        channel->AddChild(first.get());
        channel->AddChild(second.get());
        channel->Recount(false);
        env.ClearNotifications();
    }

    bool WriteVoiceFiles(const CRssItem& item)
    {
        return WriteFile(item.HtmlFile(), "page") && WriteFile(item.WavFile(), "wav") &&
               WriteFile(item.Mp3File(), "mp3");
    }

    FeedEnvironment env;
    CRefPtr<CRssChannel> channel;
    CRefPtr<CRssItem> first, second;
};

TEST_F(ItemInChannel, MarkingReadNotifiesOnceAndRecountsWhenAsked)
{
    const quint64 revision = channel->Revision();
    first->SetUnread(false, ChannelCounts::Recount);
    EXPECT_FALSE(first->unread);
    EXPECT_EQ(env.Count(RssEvent::ItemChanged), 1);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 1);
    EXPECT_EQ(channel->UnreadCount(), 1);
    EXPECT_EQ(channel->TotalCount(), 2);
    EXPECT_NE(channel->Revision(), revision);

    env.ClearNotifications();
    first->SetUnread(false, ChannelCounts::Recount);
    EXPECT_TRUE(env.Notifications().empty());

    second->SetUnread(false, ChannelCounts::Leave);
    EXPECT_EQ(env.Count(RssEvent::ItemChanged), 1);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 0);
    EXPECT_EQ(channel->UnreadCount(), 1); // not recounted
}

TEST_F(ItemInChannel, DeletingAnItemStillInTheFeedOnlyMarksIt)
{
    ASSERT_TRUE(WriteVoiceFiles(*first));
    first->Delete(true);
    EXPECT_TRUE(first->deleted);
    EXPECT_EQ(channel->ChildCount(), 2);
    EXPECT_EQ(first->State(), RssItemState::FileMissing);
    EXPECT_EQ(channel->TotalCount(), 1);
    EXPECT_EQ(channel->UnreadCount(), 1);
    EXPECT_GE(env.Count(RssEvent::ChannelChanged), 1);
    EXPECT_FALSE(QFile::exists(first->HtmlFile()));
    EXPECT_FALSE(QFile::exists(first->WavFile()));
    EXPECT_FALSE(QFile::exists(first->Mp3File()));
}

TEST_F(ItemInChannel, DeletingAnItemOutOfTheFeedRemovesIt)
{
    second->inFeed = false;
    ASSERT_TRUE(WriteVoiceFiles(*second));
    const quint64 revision = channel->Revision();
    second->Delete(false);
    EXPECT_FALSE(second->deleted);
    EXPECT_EQ(second->Parent().get(), nullptr);
    EXPECT_EQ(channel->ChildCount(), 1);
    EXPECT_EQ(channel->TotalCount(), 1);
    EXPECT_EQ(second->State(), RssItemState::FileMissing);
    EXPECT_GE(env.Count(RssEvent::ChannelChanged), 1);
    EXPECT_NE(channel->Revision(), revision);
    // Asked to keep them, the files stay.
    EXPECT_TRUE(QFile::exists(second->Mp3File()));
}

TEST_F(ItemInChannel, DeletingTheLastReferenceHolderKeepsTheItemAliveUntilDone)
{
    first->inFeed = false;
    CRssItem* raw = first.get();
    first.reset(); // only the channel holds it now
    raw->Delete(false);
    EXPECT_EQ(channel->ChildCount(), 1);
}

TEST_F(ItemInChannel, StateChangesNotifyAndMakeTheChannelFileDue)
{
    const quint64 revision = channel->Revision();
    first->SetState(RssItemState::Ready);
    EXPECT_EQ(env.Count(RssEvent::ItemChanged), 1);
    EXPECT_NE(channel->Revision(), revision);

    env.ClearNotifications();
    EXPECT_FALSE(first->TrySetState(RssItemState::None, RssItemState::Failed));
    EXPECT_EQ(first->State(), RssItemState::Ready);
    EXPECT_TRUE(env.Notifications().empty());
    EXPECT_TRUE(first->TrySetState(RssItemState::Ready, RssItemState::Failed));
    EXPECT_EQ(first->State(), RssItemState::Failed);
    EXPECT_EQ(env.Count(RssEvent::ItemChanged), 1);
}

TEST(ItemState, OnlyOneOfManyRacingThreadsMovesTheState)
{
    FeedEnvironment env;
    for (int round = 0; round < 20; ++round) {
        auto item = MakeItem(env, u"Race"_s);
        std::atomic<int> winners{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&] {
                while (!go)
                    std::this_thread::yield();
                if (item->TrySetState(RssItemState::None, RssItemState::DownloadPending))
                    ++winners;
            });
        go = true;
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(winners, 1);
        EXPECT_EQ(item->State(), RssItemState::DownloadPending);
    }
}

// Copies and search

TEST(ItemCopy, CopyKeepsTheRecordButNotStateDeletionOrIdentity)
{
    FeedEnvironment env;
    auto channel = CRssChannel::Create(&env.context);
    auto item = MakeItem(env, u"Title"_s, u"<i>Text</i>"_s);
    item->SetLink(u"http://example.com/1"_s);
    item->SetPubDate(u"Mon, 09 Sep 2002 08:00:00 GMT"_s);
    item->SetAuthor(u"ann"_s);
    item->SetCategory(u"World"_s);
    item->SetEnclosure({u"http://example.com/a.mp3"_s, 42, u"audio/mpeg"_s});
    item->SetPublicationTime(1031558400);
    item->unread = false;
    item->inFeed = true;
    item->deleted = true;
    item->SetState(RssItemState::Ready);
    channel->AddChild(item.get());

    CRefPtr<CRssItem> copy = item->Copy();
    EXPECT_EQ(copy->title, item->title);
    EXPECT_EQ(copy->Link(), item->Link());
    EXPECT_EQ(copy->Description(), item->Description());
    EXPECT_EQ(copy->PubDate(), item->PubDate());
    EXPECT_EQ(copy->Author(), item->Author());
    EXPECT_EQ(copy->Category(), item->Category());
    EXPECT_EQ(copy->Enclosure(), item->Enclosure());
    EXPECT_EQ(copy->DisplayDate(), item->DisplayDate());
    EXPECT_EQ(copy->PlainTitle(), item->PlainTitle());
    EXPECT_EQ(copy->PlainDescription(), item->PlainDescription());
    EXPECT_EQ(copy->publicationTime, 1031558400);
    EXPECT_FALSE(copy->unread);
    EXPECT_TRUE(copy->inFeed);
    EXPECT_FALSE(copy->deleted);
    EXPECT_EQ(copy->State(), RssItemState::None);
    EXPECT_EQ(copy->Identity(), RssIdentity{});
    EXPECT_EQ(copy->Parent().get(), nullptr);
}

TEST(ItemSearch, MatchesLowerCasedPlainTitleOrDescription)
{
    FeedEnvironment env;
    auto item = MakeItem(env, u"Big <b>News</b> Today"_s, u"The MARKETS fell"_s);
    EXPECT_TRUE(item->Matches(u"news"_s));
    EXPECT_TRUE(item->Matches(u"markets fell"_s));
    EXPECT_FALSE(item->Matches(u"News"_s)); // the caller lower-cases the text
    EXPECT_FALSE(item->Matches(u"<b>"_s));  // tags are not searched
    EXPECT_FALSE(item->Matches(u"rose"_s));

    // What the feed wrote as entities is found as it is shown.
    auto entities = MakeItem(env, u"AT&amp;T cuts &lt;prices&gt;"_s,
                             u"<p>Caf&eacute; owners &amp; bakers</p>"_s);
    EXPECT_EQ(entities->DisplayTitle(), u"AT&T cuts <prices>"_s);
    EXPECT_TRUE(entities->Matches(u"at&t cuts <prices>"_s));
    EXPECT_TRUE(entities->Matches(u"café owners & bakers"_s));
    EXPECT_FALSE(entities->Matches(u"<p>"_s));
}

// Voice jobs

TEST(ItemJobs, CheckOnlyTurnsReadyIntoFileMissingWhenTheMp3IsGone)
{
    FeedEnvironment env;
    RecordingJobs jobs;
    env.context.SetItemJobs(&jobs);
    auto kept = MakeItem(env, u"Kept"_s);
    auto gone = MakeItem(env, u"Gone"_s);
    kept->SetState(RssItemState::Ready);
    gone->SetState(RssItemState::Ready);
    ASSERT_TRUE(WriteFile(kept->Mp3File(), "mp3"));
    env.ClearNotifications();

    kept->ResumeJobs(true);
    gone->ResumeJobs(true);
    EXPECT_EQ(kept->State(), RssItemState::Ready);
    EXPECT_EQ(gone->State(), RssItemState::FileMissing);
    EXPECT_EQ(env.Count(RssEvent::ItemChanged), 1);
    EXPECT_TRUE(jobs.calls.isEmpty());
    env.context.SetItemJobs(nullptr);
}

TEST(ItemJobs, ResumingRepostsOnlyThePendingStates)
{
    FeedEnvironment env;
    RecordingJobs jobs;
    env.context.SetItemJobs(&jobs);
    auto item = MakeItem(env, u"Pending"_s);
    for (RssItemState state :
         {RssItemState::None, RssItemState::PageCached, RssItemState::DownloadPending,
          RssItemState::Failed, RssItemState::FileMissing, RssItemState::PodcastPending}) {
        item->SetState(state);
        item->ResumeJobs(true);
        item->ResumeJobs(false);
    }
    EXPECT_EQ(jobs.calls, (QStringList{u"resume 1"_s, u"resume 2"_s, u"resume 6"_s}));
    env.context.SetItemJobs(nullptr);
}

TEST(ItemJobs, RequestsGoToTheVoiceWorkOnlyWhenItExists)
{
    FeedEnvironment env;
    auto item = MakeItem(env, u"Item"_s);
    item->SetState(RssItemState::PageCached);
    item->RequestConversion({.retry = true, .preferPodcast = true});
    item->RequestPodcast({.urgent = true});
    item->ResumeJobs(false);
    EXPECT_EQ(item->State(), RssItemState::PageCached);

    RecordingJobs jobs;
    env.context.SetItemJobs(&jobs);
    item->RequestConversion({.retry = true, .preferPodcast = true});
    item->RequestPodcast({.urgent = true});
    EXPECT_EQ(jobs.calls, (QStringList{u"convert 1 0 1"_s, u"podcast 0 1"_s}));
    env.context.SetItemJobs(nullptr);
}
