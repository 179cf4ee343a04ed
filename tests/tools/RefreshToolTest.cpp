// calvoria-tool refresh against feeds served on 127.0.0.1.
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CPreferences.h"
#include "DiskFaults.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"
#include "OpmlFile.h"

#include <QDir>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kChannels = 200;
constexpr int kItems = 5;

std::string Feed(int index)
{
    std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed " +
                      std::to_string(index) + "</title><link>http://x/</link>";
    for (int i = 0; i < kItems; ++i)
        xml += "<item><title>Story " + std::to_string(index) + "." + std::to_string(i) +
               "</title><link>http://x/" + std::to_string(i) +
               "</link><description>Text</description>"
               "<pubDate>Tue, 14 Nov 2023 10:00:00 GMT</pubDate></item>";
    return xml + "</channel></rss>";
}

struct RefreshRun {
    int exitCode = -1;
    QStringList channelLines;
    QString summary;
    QString errors; // standard error
};

RefreshRun Refresh(const QString& root)
{
    QProcess tool;
    tool.start(BinDir() + u"/calvoria-tool"_s, {u"refresh"_s, root});
    RefreshRun run;
    if (!tool.waitForFinished(120000))
        return run;
    run.exitCode = tool.exitCode();
    run.errors = QString::fromUtf8(tool.readAllStandardError());
    QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() >= 2) {
        run.summary = lines.takeLast();
        lines.removeFirst(); // the heading
        run.channelLines = lines;
    }
    return run;
}

} // namespace

TEST(RefreshTool, EveryChannelIsFetchedStoredAndASecondRunAddsNothing)
{
    LocalServer server;
    server.Get(R"(/feed(\d+)\.xml)", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(Feed(std::stoi(request.matches[1])), "application/rss+xml");
    });
    FeedEnvironment env;
    const QString root = env.DataRoot();
    {
        auto tree = CRssGroup::Create(&env.context, true);
        tree->Rename(u"My Feeds"_s);
        for (int i = 0; i < kChannels; ++i) {
            auto channel = CRssChannel::Create(&env.context);
            channel->SetNameAndUrl(u"Channel %1"_s.arg(i),
                                   server.Url("/feed") + QString::number(i) + u".xml"_s);
            tree->AddChild(channel.get());
        }
        ASSERT_EQ(WriteOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    }

    RefreshRun first = Refresh(root);
    ASSERT_EQ(first.exitCode, 0) << first.summary.toStdString();
    ASSERT_EQ(first.channelLines.size(), kChannels);
    for (const QString& line : first.channelLines) {
        const QStringList f = line.split(u'\t');
        ASSERT_GE(f.size(), 5);
        EXPECT_EQ(f[0], u"2"_s) << line.toStdString();
        EXPECT_EQ(f[1].toInt(), kItems);
        EXPECT_EQ(f[3].toInt(), kItems);
    }
    EXPECT_TRUE(first.summary.contains(u"new %1"_s.arg(kChannels * kItems)));

    // What the tool stored is what the program reads at its next start.
    {
        auto tree = CRssGroup::Create(&env.context, true);
        ASSERT_EQ(ReadOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
        ASSERT_EQ(tree->ChildCount(), kChannels);
        for (const auto& node : tree->ChildrenSnapshot())
            EXPECT_EQ(node->ChildCount(), kItems);
    }

    RefreshRun second = Refresh(root);
    ASSERT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.summary.contains(u"new 0,"_s)) << second.summary.toStdString();
    EXPECT_TRUE(second.summary.contains(u"total %1"_s.arg(kChannels * kItems)));
    EXPECT_EQ(server.Hits(R"(/feed(\d+)\.xml)"), 2 * kChannels);
}

TEST(RefreshTool, AutoConvertChannelEndsWithOneDecodableMp3PerItem)
{
    constexpr int kStories = 3;
    LocalServer server;
    server.Get(R"(/story(\d+)\.html)", [](const httplib::Request& request, httplib::Response& response) {
        const std::string n = request.matches[1];
        response.set_content("<html><body><article><h1>Story " + n + "</h1><p>Paragraph one of "
                             "story " + n + " tells what happened in the harbour today.</p>"
                             "<p>Paragraph two says what the council will do next week.</p>"
                             "</article></body></html>",
                             "text/html; charset=utf-8");
    });
    server.Get("/feed.xml", [&](const httplib::Request&, httplib::Response& response) {
        std::string xml = "<rss version=\"2.0\"><channel><title>Spoken</title>";
        for (int i = 0; i < kStories; ++i)
            xml += "<item><title>Story " + std::to_string(i) + "</title><link>" +
                   server.Url("/story").toStdString() + std::to_string(i) +
                   ".html</link><description>Short</description></item>";
        response.set_content(xml + "</channel></rss>", "application/rss+xml");
    });
    FeedEnvironment env;
    const QString root = env.DataRoot();
    {
        auto tree = CRssGroup::Create(&env.context, true);
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(u"Spoken"_s, server.Url("/feed.xml"));
        channel->SetAutoConvert(true);
        tree->AddChild(channel.get());
        ASSERT_EQ(WriteOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    }

    RefreshRun run = Refresh(root);
    ASSERT_EQ(run.exitCode, 0) << run.summary.toStdString();

    const QStringList mp3s = QDir(root + u"MP3"_s).entryList({u"*.mp3"_s}, QDir::Files);
    ASSERT_EQ(mp3s.size(), kStories);
    for (const QString& mp3 : mp3s) {
        QProcess decoder;
        decoder.start(u"mpg123"_s, {u"-q"_s, u"-t"_s, root + u"MP3/"_s + mp3});
        ASSERT_TRUE(decoder.waitForFinished(30000));
        EXPECT_EQ(decoder.exitCode(), 0) << mp3.toStdString();
    }
    EXPECT_TRUE(QDir(root + u"Voice"_s).entryList(QDir::Files).isEmpty())
        << "no page or speech file is left behind";

    auto tree = CRssGroup::Create(&env.context, true);
    ASSERT_EQ(ReadOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    auto channel = NodeCast<CRssChannel>(tree->ChildrenSnapshot().at(0));
    ASSERT_TRUE(channel);
    ASSERT_EQ(channel->ChildCount(), kStories);
    for (const auto& node : channel->ChildrenSnapshot())
        EXPECT_EQ(static_cast<CRssItem*>(node.get())->State(), RssItemState::Ready);
}

TEST(RefreshTool, ARefreshThatCannotWriteSaysWhyAndExitsOne)
{
    LocalServer server;
    server.Get("/feed0.xml", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(Feed(0), "application/rss+xml");
    });
    ScopedSmallDisk disk(1024 * 1024);
    FeedEnvironment env;
    if (disk.Mounted())
        env.app.Prefs()->ChangeRoot(disk.Path() + u"/data"_s);
    const QString root = env.DataRoot();
    {
        auto tree = CRssGroup::Create(&env.context, true);
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(u"Channel 0"_s, server.Url("/feed0.xml"));
        tree->AddChild(channel.get());
        ASSERT_EQ(WriteOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    }
    const QByteArray before = ReadFile(root + u"data.opml"_s);

    // Another writer has the folder: refused before anything is read.
    QProcess holder;
    holder.start(u"flock"_s, {u"-n"_s, u"-o"_s, root + u"calvoria.lock"_s, u"sleep"_s, u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);
    RefreshRun locked = Refresh(root);
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_TRUE(locked.errors.contains(u"in use by"_s)) << locked.errors.toStdString();

    if (!disk.Mounted() || !disk.SetReadOnly(true))
        GTEST_SKIP() << "a read-only file system needs root";
    RefreshRun readOnly = Refresh(root);
    disk.SetReadOnly(false);
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_TRUE(readOnly.errors.contains(u"*ERROR: Cannot save group"_s)) << readOnly.errors.toStdString();
    EXPECT_TRUE(readOnly.summary.contains(u"new 5,"_s)) << "the counts are still shown";
    EXPECT_EQ(ReadFile(root + u"data.opml"_s), before);
}
