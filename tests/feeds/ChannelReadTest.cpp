// The channel files are read after the tree: nothing stored may be lost or overwritten by
// a refresh, a save or an exit that comes first.
#include "CHttpSession.h"
#include "CRssReaderDoc.h"
#include "CWorkQueue.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

class ChannelReadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    // A data folder saved by the program: channels "C0".."Cn", items "Story i" with the
    // text "Text", every third one read.
    void MakeFolder(int channels, int items, const QString& url = u"http://127.0.0.1:1/"_s)
    {
        CRssReaderDoc doc(env.context);
        ASSERT_TRUE(doc.LoadNews());
        for (int c = 0; c < channels; ++c) {
            auto channel = CRssChannel::Create(&env.context);
            channel->SetNameAndUrl(u"C%1"_s.arg(c), url + QString::number(c));
            for (int i = 0; i < items; ++i) {
                auto item = CRssItem::Create(&env.context, u"Story %1"_s.arg(i), u"Text"_s);
                item->unread = i % 3 != 0;
                channel->AddChild(item.get());
            }
            doc.RootGroup().AddChild(channel.get());
        }
        ASSERT_TRUE(doc.SaveNews());
        doc.CloseNews();
    }

    std::map<QString, QByteArray> ChannelFiles() const
    {
        std::map<QString, QByteArray> files;
        const QString folder = env.DataRoot() + u"Feeds/"_s;
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            files[name] = ReadFile(folder + name);
        return files;
    }

    static std::vector<CRefPtr<CRssChannel>> Channels(CRssReaderDoc& doc)
    {
        std::vector<CRefPtr<CRssChannel>> channels;
        for (const CRefPtr<CRssNode>& node : doc.RootGroup().ChildrenSnapshot())
            channels.push_back(NodeCast<CRssChannel>(node));
        return channels;
    }

    LocalServer server;
    FeedEnvironment env;
};

} // namespace

TEST_F(ChannelReadTest, RefreshOfAnUnreadChannelWaitsForItsFile)
{
    // The feed brings one story the channel knows (read in the file) and one new one.
    server.Get(R"(/feed/\d+)", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<rss version='2.0'><channel><title>T</title>"
                             "<item><title>Story 0</title><description>Text</description></item>"
                             "<item><title>Fresh</title><description>New</description></item>"
                             "</channel></rss>",
                             "application/rss+xml");
    });
    MakeFolder(3, 30, server.Url("/feed/"));
    env.app.SetSession(CRefPtr<CHttpSession>::Make());
    CWorkQueue queue;
    env.context.SetDownloadQueue(&queue);
    queue.Start(2, 0, true);
    {
        CRssReaderDoc doc(env.context);
        ASSERT_TRUE(doc.LoadNews());
        const auto channels = Channels(doc);
        ASSERT_EQ(channels.size(), 3u);
        CRssChannel& last = *channels[2];
        EXPECT_FALSE(last.FileRead());
        doc.Select(&last, false); // asks for an urgent update
        doc.UpdateAllGroups();
        EXPECT_EQ(last.DownloadState(), CRssChannel::NeverDownloaded) << "held until read";
        EXPECT_EQ(server.Hits(R"(/feed/\d+)"), 0);
        EXPECT_FALSE(doc.ChannelsRead());

        doc.StartReadingChannels({&last});
        doc.WaitForChannels();
        EXPECT_TRUE(doc.ChannelsRead());
        QElapsedTimer timer;
        timer.start();
        while (!queue.Idle() && timer.elapsed() < 10000)
            QThread::msleep(5);
        for (const CRefPtr<CRssChannel>& channel : channels) {
            EXPECT_EQ(channel->DownloadState(), CRssChannel::Downloaded);
            EXPECT_EQ(channel->TotalCount(), 31) << qPrintable(channel->Name());
            EXPECT_EQ(channel->UnreadCount(), 21) << "stored flags kept, the known story too";
        }
        EXPECT_EQ(server.Hits(R"(/feed/\d+)"), 3) << "each channel fetched once";
        ASSERT_TRUE(doc.SaveNews());
    }
    queue.Stop();
    env.context.SetDownloadQueue(nullptr);

    CRssReaderDoc again(env.context);
    ASSERT_TRUE(again.LoadNews());
    again.WaitForChannels();
    for (const CRefPtr<CRssChannel>& channel : Channels(again))
        EXPECT_EQ(channel->TotalCount(), 31) << qPrintable(channel->Name());
    env.app.SetSession({});
}

TEST_F(ChannelReadTest, ExitWhileReadingLeavesEveryChannelFileAsItWas)
{
    MakeFolder(40, 60);
    const auto before = ChannelFiles();
    ASSERT_EQ(before.size(), 40u);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        auto doc = std::make_unique<CRssReaderDoc>(env.context);
        ASSERT_TRUE(doc->LoadNews());
        doc->StartReadingChannels();
        QThread::usleep(round * 700);
        if (round % 2)
            doc->CloseNews(); // saves what was read, leaves the rest alone
        else
            doc.reset(); // no save: the readers must still be gone before the tree
        doc.reset();
        EXPECT_EQ(ChannelFiles(), before);
        EXPECT_EQ(ReadFile(env.DataRoot() + u"data.opml"_s).count("count=\"60\""), 40);
    }
    CRssReaderDoc doc(env.context);
    ASSERT_TRUE(doc.LoadNews());
    doc.WaitForChannels();
    for (const CRefPtr<CRssChannel>& channel : Channels(doc))
        ASSERT_EQ(channel->TotalCount(), 60);
    EXPECT_TRUE(doc.LoadProblems().isEmpty());
}

TEST_F(ChannelReadTest, TheGivenChannelsAreReadFirstAndTheEndIsTold)
{
    MakeFolder(30, 5);
    CRssReaderDoc doc(env.context);
    int told = 0;
    doc.SetChannelsReadHandler([&] { ++told; });
    ASSERT_TRUE(doc.LoadNews());
    const auto channels = Channels(doc);
    doc.StartReadingChannels({channels[27].get(), channels[13].get()});
    doc.WaitForChannels();
    EXPECT_EQ(told, 1);

    QStringList reads;
    for (const QString& line : env.log.Lines())
        if (line.startsWith(u"Start downloading channel: '"_s) && line.contains(u"/Feeds/"_s))
            reads << line;
    ASSERT_EQ(reads.size(), 30);
    // Two readers take the files in order but may write their lines in either order, and
    // one may finish a small file and start the next before the other writes its first.
    const auto position = [&](const CRssChannel& channel) {
        for (qsizetype i = 0; i < reads.size(); ++i)
            if (reads[i].contains(channel.FilePath()))
                return i;
        return reads.size();
    };
    EXPECT_LT(position(*channels[27]), 4);
    EXPECT_LT(position(*channels[13]), 4);
    int reloaded = 0;
    for (const FeedEnvironment::Notification& n : env.Notifications())
        reloaded += n.code == RssEvent::ChannelReloaded;
    EXPECT_EQ(reloaded, 30);
}
