#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "CWorkQueue.h"
#include "FeedTestSupport.h"
#include "UpdateSchedule.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class DocumentTest : public ::testing::Test
{
protected:
    FeedEnvironment env;
    CWorkQueue queue; // never started: posted jobs wait and can be counted
    std::unique_ptr<CRssReaderDoc> doc;

    void SetUp() override
    {
        env.context.SetDownloadQueue(&queue);
        doc = std::make_unique<CRssReaderDoc>(env.context);
    }

    CRefPtr<CRssChannel> AddChannel(CRssGroup& group, const QString& name, bool autoUpdate = true)
    {
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(name, u"http://127.0.0.1:1/"_s + name);
        channel->SetAutoUpdate(autoUpdate);
        group.AddChild(channel.get());
        return channel;
    }
};

} // namespace

TEST_F(DocumentTest, FirstRunStartsEmptyAndTheFirstSaveCreatesBothFiles)
{
    ASSERT_TRUE(doc->LoadNews());
    EXPECT_EQ(doc->RootGroup().Name(), u"My Feeds"_s);
    EXPECT_EQ(doc->RootGroup().ChildCount(), 0);
    EXPECT_EQ(doc->SavedNews().Name(), u"Saved News"_s);
    EXPECT_EQ(doc->SearchResults().Name(), u"Search Result"_s);
    EXPECT_EQ(doc->SavedNews().ChildCount() + doc->SearchResults().ChildCount(), 0);
    for (const char* line : {"Creating new document", "Reading news", "Reading saved news",
                             "Reading search news", "Document initialization done"})
        EXPECT_TRUE(env.log.Contains(QString::fromLatin1(line))) << line;

    doc->SaveNews();
    EXPECT_TRUE(QFile::exists(env.DataRoot() + u"data.opml"_s));
    EXPECT_TRUE(QFile::exists(env.DataRoot() + u"saved.rss"_s));
    EXPECT_FALSE(QFile::exists(env.DataRoot() + u"search.rss"_s)) << "search results are not stored";
    EXPECT_TRUE(env.log.Contains(u"Saving news: done"_s));
}

TEST_F(DocumentTest, SavedTreeComesBackAfterARestart)
{
    doc->LoadNews();
    auto group = CRssGroup::Create(&env.context);
    group->Rename(u"Sport"_s);
    doc->RootGroup().AddChild(group.get());
    AddChannel(*group, u"Scores"_s, false)->SetFavorite(true);
    doc->SavedNews().AddChild(CRssItem::Create(&env.context, u"Kept"_s, u"story"_s).get());
    doc->CloseNews(); // saves because the document was loaded

    CRssReaderDoc again(env.context);
    again.LoadNews();
    ASSERT_EQ(again.RootGroup().ChildCount(), 1);
    auto sport = NodeCast<CRssGroup>(again.RootGroup().ChildrenSnapshot().at(0));
    ASSERT_TRUE(sport);
    auto scores = NodeCast<CRssChannel>(sport->ChildrenSnapshot().at(0));
    ASSERT_TRUE(scores);
    EXPECT_EQ(scores->Name(), u"Scores"_s);
    EXPECT_TRUE(scores->Favorite());
    EXPECT_FALSE(scores->AutoUpdate());
    EXPECT_EQ(again.SavedNews().ChildCount(), 1);
}

TEST_F(DocumentTest, ChannelVoiceComesBackAfterARestart)
{
    doc->LoadNews();
    AddChannel(doc->RootGroup(), u"Zeitung"_s)->SetVoice(u"espeak/gmw/de"_s);
    auto automatic = AddChannel(doc->RootGroup(), u"Daily"_s);
    doc->CloseNews();
    EXPECT_TRUE(ReadFile(automatic->FilePath()).contains("<channel favorite=\"false\">"))
        << "a channel without a voice is written as before";

    CRssReaderDoc again(env.context);
    again.LoadNews();
    again.WaitForChannels();
    const auto channels = again.RootGroup().ChildrenSnapshot();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(NodeCast<CRssChannel>(channels.at(0))->Voice(), u"espeak/gmw/de"_s);
    EXPECT_EQ(NodeCast<CRssChannel>(channels.at(1))->Voice(), QString());
}

TEST_F(DocumentTest, RequestingAChannelTwiceBeforeItsJobRunsQueuesOneJob)
{
    auto channel = AddChannel(doc->RootGroup(), u"a"_s);
    env.ClearNotifications();
    RequestUpdate(*channel, false);
    RequestUpdate(*channel, true);
    EXPECT_EQ(queue.PendingCount(), 1);
    EXPECT_EQ(channel->DownloadState(), CRssChannel::Downloading);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 1) << "the tree shows the channel busy once";
}

TEST_F(DocumentTest, AutoUpdateOffIsSkippedOnlyByTheTimedUpdate)
{
    auto group = CRssGroup::Create(&env.context);
    doc->RootGroup().AddChild(group.get());
    auto manual = AddChannel(*group, u"manual"_s, false);
    auto automatic = AddChannel(doc->RootGroup(), u"auto"_s, true);

    doc->PeriodicUpdate();
    EXPECT_EQ(manual->DownloadState(), CRssChannel::NeverDownloaded);
    EXPECT_EQ(automatic->DownloadState(), CRssChannel::Downloading);
    EXPECT_EQ(queue.PendingCount(), 1);

    doc->UpdateAllGroups();
    EXPECT_EQ(manual->DownloadState(), CRssChannel::Downloading);
    EXPECT_EQ(queue.PendingCount(), 2);

    manual->SetDownloadState(CRssChannel::Downloaded);
    doc->Select(manual.get(), false);
    ASSERT_TRUE(doc->CanUpdateGroup());
    EXPECT_EQ(doc->SelectedGroup(), group.get());
    doc->UpdateGroup();
    EXPECT_EQ(manual->DownloadState(), CRssChannel::Downloading);
}

TEST_F(DocumentTest, SelectingFetchesAChannelOnlyUntilItsDownloadSucceeded)
{
    auto failed = AddChannel(doc->RootGroup(), u"failed"_s);
    auto fine = AddChannel(doc->RootGroup(), u"fine"_s);
    failed->SetDownloadState(CRssChannel::DownloadFailed);
    fine->SetDownloadState(CRssChannel::Downloaded);
    int dispatched = 0;
    env.app.SetDispatcher([&](RssEvent code, CRefCounted*) {
        dispatched += code == RssEvent::ChannelSelected;
    });

    doc->Select(fine.get(), false);
    EXPECT_EQ(queue.PendingCount(), 0);
    EXPECT_EQ(dispatched, 1) << "a direct selection updates the views at once";
    doc->Select(failed.get(), true);
    EXPECT_EQ(queue.PendingCount(), 1);
    EXPECT_EQ(env.Count(RssEvent::ChannelSelected), 1) << "a posted selection goes through the queue";
    EXPECT_EQ(doc->SelectedChannel(), failed.get());
    EXPECT_EQ(doc->SelectedGroup(), &doc->RootGroup());
}

TEST_F(DocumentTest, SpecialChannelsNeverUpdateAndDisableTheChannelCommands)
{
    auto normal = AddChannel(doc->RootGroup(), u"normal"_s);
    doc->Select(normal.get(), false);
    EXPECT_TRUE(doc->CanUpdateChannel());
    EXPECT_TRUE(doc->CanAddToFavorites());
    EXPECT_FALSE(doc->CanRemoveFromFavorites());
    doc->AddToFavorites();
    EXPECT_TRUE(normal->Favorite());
    EXPECT_TRUE(doc->CanRemoveFromFavorites());

    for (CRssChannel* special : {&doc->SavedNews(), &doc->SearchResults()}) {
        doc->Select(special, false);
        EXPECT_FALSE(doc->CanUpdateChannel());
        EXPECT_FALSE(doc->CanAddToFavorites());
        EXPECT_FALSE(doc->CanRemoveFromFavorites());
        doc->UpdateChannel();
    }
    doc->UpdateAllGroups();
    EXPECT_EQ(doc->SavedNews().DownloadState(), CRssChannel::NeverDownloaded);
    EXPECT_EQ(doc->SearchResults().DownloadState(), CRssChannel::NeverDownloaded);
    EXPECT_EQ(queue.PendingCount(), 1) << "only the normal channel's selection fetched it";
}

TEST_F(DocumentTest, OldVoiceFilesAreDeletedAndYoungerOnesStay)
{
    const QString mp3 = env.app.Prefs()->Mp3Folder();
    const qint64 now = env.Now();
    struct File {
        const char* name;
        int ageDays;
    };
    for (File f : {File{"old.mp3", 5}, File{"young.mp3", 3}, File{"OLD.MP3", 6}, File{"old.wav", 9}}) {
        const QString path = mp3 + QLatin1String(f.name);
        ASSERT_TRUE(WriteFile(path, "audio"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::fromSecsSinceEpoch(now - f.ageDays * 86400),
                         QFileDevice::FileModificationTime);
    }
    env.app.Prefs()->removeOldVoice = false;
    doc->PeriodicUpdate();
    EXPECT_TRUE(QFile::exists(mp3 + u"old.mp3"_s));

    env.app.Prefs()->removeOldVoice = true;
    doc->PeriodicUpdate();
    EXPECT_FALSE(QFile::exists(mp3 + u"old.mp3"_s));
    EXPECT_FALSE(QFile::exists(mp3 + u"OLD.MP3"_s));
    EXPECT_TRUE(QFile::exists(mp3 + u"young.mp3"_s));
    EXPECT_TRUE(QFile::exists(mp3 + u"old.wav"_s)) << "only MP3 files age out";
}
