#include "AudioFixtures.h"
#include "CListenPositions.h"
#include "CListeningBar.h"
#include "CListeningControls.h"
#include "CMainFrame.h"
#include "CNewsPlayer.h"
#include "NewsTestSupport.h"
#include "SoonAsserts.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A channel of four news: "Spoken 0", "Spoken 1" and "Spoken 3" with short spoken MP3s,
// "Silent 2" with no voice and nothing to make one from (no speech engine here).
class NewsPlayer : public ::testing::Test, public NewsFixture
{
protected:
    void SetUp() override
    {
        if (const QString why = m_sound.Start(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        channel = AddChannel(u"Desk"_s, 0, 1700000000);
        ASSERT_TRUE(QDir().mkpath(Prefs().Mp3Folder()));
        for (int i = 0; i < 4; ++i) {
            const bool spoken = i != 2;
            CRefPtr<CRssItem> item = AddItem(*channel, (spoken ? u"Spoken "_s : u"Silent "_s) +
                                                           QString::number(i), 1700000000 + i);
            if (spoken) {
                ASSERT_EQ(MakeToneMp3(item->Mp3File(), {.ms = i == 1 ? 8000 : 1200}), u""_s);
                item->SetState(RssItemState::Ready);
            }
            items.push_back(item);
        }
        positionsFile = Prefs().DataRoot() + u"/listening.txt"_s;
        positions.Load(positionsFile);
    }

    std::unique_ptr<CNewsPlayer> MakePlayer()
    {
        auto player = std::make_unique<CNewsPlayer>(doc, positions, nullptr);
        player->SetRate(2.0);
        return player;
    }

    CNullAudioServer m_sound;
    CRefPtr<CRssChannel> channel;
    std::vector<CRefPtr<CRssItem>> items;
    QString positionsFile;
    CListenPositions positions;
};

} // namespace

// Listening to a list: each news plays in turn, one heard to the end is read and starts
// from the beginning next time, one without audio is passed over, and one left halfway
// resumes where it was in the next run of the program.
TEST_F(NewsPlayer, PlaysInOrderMarksHeardNewsReadSkipsSilentOnesAndResumes)
{
    auto player = MakePlayer();
    QSignalSpy failures(player.get(), &CNewsPlayer::failed);
    player->Listen({items[0], items[2], items[1]}, u"Desk"_s);
    EXPECT_EQ(player->CurrentItem(), items[0].get());
    EXPECT_EQ(doc.ListeningItem(), items[0].get());
    ASSERT_SOON(player->PlayState() == CNewsPlayer::State::Playing);

    // 1.2 s at twice the speed, then the silent news is passed over for the long one.
    ASSERT_SOON(player->CurrentItem() == items[1].get());
    EXPECT_FALSE(items[0]->unread);
    EXPECT_TRUE(items[2]->unread);
    EXPECT_EQ(failures.count(), 1);
    ASSERT_SOON(player->Position() >= 2000);
    player->Pause();
    const qint64 left = player->Position();
    EXPECT_EQ(player->PlayState(), CNewsPlayer::State::Paused);
    QTest::qWait(300);
    EXPECT_EQ(player->Position(), left);
    EXPECT_TRUE(items[1]->unread); // shown while heard, but not heard to the end
    player.reset();

    // The next run of the program: the first news from its start, the long one from where
    // it was left.
    CListenPositions again;
    again.Load(positionsFile);
    EXPECT_EQ(again.Position(IdentityHex(items[0]->Identity()).toLatin1()), 0);
    EXPECT_NEAR(double(again.Position(IdentityHex(items[1]->Identity()).toLatin1())),
                double(left), 50);
    positions.Load(positionsFile);
    player = MakePlayer();
    player->Listen({items[1], items[3]}, u"Desk"_s);
    ASSERT_SOON(player->PlayState() == CNewsPlayer::State::Playing);
    EXPECT_GE(player->Position(), left - 100);
    EXPECT_LT(player->Position(), left + 1500);

    // Back 15 s cannot go before the start; the bar names the news and the channel.
    player->SeekBy(-CNewsPlayer::kBackStepMs);
    EXPECT_LT(player->Position(), 500);
    CListeningBar shown(*player);
    EXPECT_EQ(shown.findChild<QLabel*>(u"listeningTitle"_s)->text(), u"Spoken 1"_s);
    EXPECT_EQ(shown.findChild<QLabel*>(u"listeningChannel"_s)->text(), u"Desk"_s);

    // Next from the long news, and the last one heard to the end stops the player.
    player->Next();
    ASSERT_SOON(player->PlayState() == CNewsPlayer::State::Stopped);
    EXPECT_FALSE(player->HasItem());
    EXPECT_EQ(doc.ListeningItem(), nullptr);
    EXPECT_FALSE(items[3]->unread);
}

// Letting the sound device go runs events: a window that ends while it plays must not be
// asked about its listening while that happens.
TEST_F(NewsPlayer, AWindowClosedWhilePlayingEndsCleanly)
{
    auto frame = std::make_unique<CMainFrame>(&doc, env.app);
    CNewsPlayer& player = frame->Listening().Player();
    player.Listen({items[1]}, u"Desk"_s);
    ASSERT_SOON(player.PlayState() == CNewsPlayer::State::Playing);
    EXPECT_TRUE(frame->Listening().IsBarShown());
    frame->OnUpdate(RssEvent::ItemChanged, items[0].get()); // an update of the window waits
    frame.reset();
    EXPECT_EQ(doc.ListeningItem(), nullptr);
}

TEST(ListeningBar, TimesReadAsClockTimes)
{
    EXPECT_EQ(CListeningBar::TimeText(0), u"0:00"_s);
    EXPECT_EQ(CListeningBar::TimeText(65999), u"1:05"_s);
    EXPECT_EQ(CListeningBar::TimeText(3723000), u"1:02:03"_s);
    EXPECT_EQ(CListeningBar::TimeText(-5), u"0:00"_s);
}
