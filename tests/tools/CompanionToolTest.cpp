// The command-line companion on a person's data folder: subscribe, read, mark, remove, and
// never write beside another writer.
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CPreferences.h"
#include "CRssItem.h"
#include "DateHelpers.h"
#include "FeedTestSupport.h"
#include "LocalServer.h"
#include "OpmlFile.h"
#include "ToolRun.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::string Feed(const std::string& site)
{
    std::string xml = "<rss version=\"2.0\"><channel><title>Harbour Daily</title><link>http://x/</link>";
    for (int i = 0; i < 3; ++i)
        xml += "<item><title>Story " + std::to_string(i) + "</title><link>" + site + "/story" +
               std::to_string(i) + ".html</link><description>Text " + std::to_string(i) +
               "</description><pubDate>Tue, 14 Nov 2023 1" + std::to_string(i) +
               ":00:00 GMT</pubDate></item>";
    return xml + "</channel></rss>";
}

// The tree as the program reads it at its next start: "group/name" and the unread flags of
// the items, newest download first.
struct OnDisk {
    QStringList channels;
    QList<bool> unread;
};

OnDisk ReadBack(FeedEnvironment& env, const QString& root)
{
    env.app.Prefs()->ChangeRoot(root); // where the channel files are
    auto tree = CRssGroup::Create(&env.context, true);
    ReadOpmlFile(*tree, root + u"data.opml"_s);
    OnDisk disk;
    for (const auto& node : tree->ChildrenSnapshot()) {
        auto* group = NodeCast<CRssGroup>(node.get());
        for (const auto& child : group ? node->ChildrenSnapshot() : CRssNode::Children{node}) {
            auto channel = NodeCast<CRssChannel>(child);
            disk.channels << (group ? group->Name() : QString()) + u"/"_s + channel->Name();
            for (const auto& item : channel->ChildrenSnapshot())
                disk.unread << static_cast<CRssItem*>(item.get())->unread;
        }
    }
    return disk;
}

} // namespace

TEST(CompanionTool, SubscribeReadMarkAndRemoveEachReachTheProgramsDataRoot)
{
    LocalServer server;
    server.Get("/feed.xml", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_content(Feed("http://127.0.0.1:" + std::to_string(server.Port())),
                             "application/rss+xml");
    });
    server.Get(R"(/story(\d)\.html)", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content("<html><body><article><h1>Story " + std::string(request.matches[1]) +
                                 "</h1><p>The harbour master said the new crane will arrive on "
                                 "Monday, and the ferries keep their times.</p></article></body></html>",
                             "text/html; charset=utf-8");
    });
    server.Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>no feed</body></html>", "text/html");
    });
    FeedEnvironment env;
    // The program's settings name its data root: the companion works there by default.
    const QString root = env.home.File(u"elsewhere/Calvoria/"_s);
    ASSERT_TRUE(WriteFile(env.home.File(u"config/Trevane Labs/Calvoria.conf"_s),
                          "[Options]\nRoot=" + root.toUtf8() + "\n"));
    const QString url = server.Url("/feed.xml");

    ToolRun add = Tool({u"add"_s, url, u"--group"_s, u"News"_s, u"--name"_s, u"Harbour"_s});
    ASSERT_EQ(add.exitCode, 0) << add.err.toStdString();
    EXPECT_EQ(add.out, QStringList{u"added\tHarbour\t%1\t3\tNews"_s.arg(url)});
    EXPECT_EQ(ReadBack(env, root).channels, QStringList{u"News/Harbour"_s});
    EXPECT_EQ(ReadBack(env, root).unread, (QList<bool>{true, true, true}));

    // The same feed spelt otherwise, and a page that is no feed: refused, nothing added.
    ToolRun again = Tool({u"add"_s, url.toUpper().replace(u"/FEED.XML"_s, u"/feed.xml"_s)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.startsWith(u"already subscribed: Harbour"_s)) << again.err.toStdString();
    ToolRun page = Tool({u"add"_s, server.Url("/page.html")});
    EXPECT_EQ(page.exitCode, 1);
    EXPECT_EQ(ReadBack(env, root).channels, QStringList{u"News/Harbour"_s});

    ToolRun list = Tool({u"list"_s});
    EXPECT_EQ(list.out, (QStringList{u"name\turl\tunread\ttotal\tgroup"_s,
                                     u"Harbour\t%1\t3\t3\tNews"_s.arg(url)}));

    ToolRun news = Tool({u"news"_s, u"Harbour"_s, u"--unread"_s, u"--limit"_s, u"2"_s});
    ASSERT_EQ(news.exitCode, 0);
    ASSERT_EQ(news.out.size(), 3);
    const QStringList newest = news.out[1].split(u'\t');
    ASSERT_EQ(newest.size(), 7);
    EXPECT_TRUE(QRegularExpression(u"^[0-9A-F]{32}$"_s).match(newest[0]).hasMatch());
    EXPECT_EQ(newest.mid(1), (QStringList{u"2023-11-14T12:00:00Z"_s, u"Harbour"_s, u"Story 2"_s,
                                          server.Url("/story2.html"), u"none"_s, u"1"_s}));

    // Spoken as the news list's Convert does: the MP3 is there and plays.
    ToolRun convert = Tool({u"convert-news"_s, newest[0]});
    ASSERT_EQ(convert.exitCode, 0) << convert.err.toStdString();
    ASSERT_EQ(convert.out.size(), 1);
    const QStringList ready = convert.out[0].split(u'\t');
    EXPECT_EQ(ready.mid(0, 2), (QStringList{u"ready"_s, newest[0]}));
    EXPECT_TRUE(ready.value(2).startsWith(root + u"MP3/Story_2"_s)) << ready.value(2).toStdString();
    QProcess decoder;
    decoder.start(u"mpg123"_s, {u"-q"_s, u"-t"_s, ready.value(2)});
    ASSERT_TRUE(decoder.waitForFinished(30000));
    EXPECT_EQ(decoder.exitCode(), 0);
    EXPECT_TRUE(Tool({u"news"_s, u"--unread"_s}).out.value(1).endsWith(u"\tready\t1"_s));
    EXPECT_TRUE(news.out[2].contains(u"\tStory 1\t"_s));

    ToolRun one = Tool({u"mark-read"_s, newest[0].toLower()});
    EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(ReadBack(env, root).unread.count(false), 1);
    EXPECT_EQ(Tool({u"list"_s}).out.value(1).section(u'\t', 2, 3), u"2\t3"_s);
    ToolRun all = Tool({u"mark-read"_s, u"--all"_s});
    EXPECT_EQ(all.out, QStringList{u"marked read\t2"_s});
    EXPECT_EQ(ReadBack(env, root).unread, (QList<bool>{false, false, false}));

    // The refresh of the program's data root, with nothing new since.
    ToolRun refresh = Tool({u"refresh"_s});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_EQ(refresh.out.value(1), u"2\t0\t0\t3\tHarbour"_s);

    ToolRun move = Tool({u"move"_s, u"Harbour"_s, u"--group"_s, u"Archive"_s});
    EXPECT_EQ(move.out, QStringList{u"moved\tHarbour\tArchive"_s}) << move.err.toStdString();
    EXPECT_EQ(ReadBack(env, root).channels, QStringList{u"Archive/Harbour"_s});

    const QString channelFiles = root + u"Feeds"_s;
    EXPECT_EQ(QDir(channelFiles).entryList(QDir::Files).size(), 1);
    ToolRun remove = Tool({u"remove"_s, url});
    EXPECT_EQ(remove.exitCode, 0) << remove.err.toStdString();
    EXPECT_TRUE(ReadBack(env, root).channels.isEmpty());
    EXPECT_TRUE(QDir(channelFiles).entryList(QDir::Files).isEmpty()) << "the channel file goes too";

    // Bad usage: exit code 2 and one line that names the command.
    for (const QStringList& bad : {QStringList{u"list"_s, u"--bogus"_s}, QStringList{u"add"_s},
                                   QStringList{u"news"_s, u"--limit"_s, u"many"_s},
                                   QStringList{u"mark-read"_s}, QStringList{u"frobnicate"_s}}) {
        ToolRun run = Tool(bad);
        EXPECT_EQ(run.exitCode, 2) << bad.join(u' ').toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(u"calvoria-tool"_s)) << run.err.toStdString();
    }
    // Help: every command with its description in one column; one command's arguments.
    ToolRun help = Tool({u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    const qsizetype commands = help.out.indexOf(u"commands:"_s);
    ASSERT_GT(commands, 0);
    QSet<qsizetype> columns;
    for (const QString& line : help.out.mid(commands + 1))
        columns.insert(QRegularExpression(u"^  \\S+ +"_s).match(line).capturedLength());
    EXPECT_EQ(columns.size(), 1) << help.out.join(u'\n').toStdString();
    EXPECT_GE(help.out.size() - commands - 1, 20);
    ToolRun helpAdd = Tool({u"help"_s, u"add"_s});
    EXPECT_EQ(helpAdd.exitCode, 0);
    EXPECT_TRUE(helpAdd.out.value(0).startsWith(u"usage: calvoria-tool add URL [--group PATH]"_s));
    EXPECT_EQ(Tool({u"news"_s, u"--help"_s}).exitCode, 0);
}

TEST(CompanionTool, ASecondWriterIsRefusedAndALockLeftByACrashIsTakenOver)
{
    FeedEnvironment env;
    const QString root = env.DataRoot();
    const QString opml = FeedEnvironment::TestData(u"import/web-reader.opml"_s);

    QProcess holder;
    holder.start(u"flock"_s, {u"-n"_s, u"-o"_s, root + u"calvoria.lock"_s, u"sleep"_s, u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);
    ToolRun refused = Tool({u"import"_s, opml, u"--data"_s, root});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(u"is in use by"_s)) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(root + u"data.opml"_s)) << "nothing written beside the holder";

    // The holder dies without letting go: its lock file stays, its lock does not.
    ::kill(pid_t(holder.processId()), SIGKILL);
    holder.waitForFinished();
    ASSERT_TRUE(QFile::exists(root + u"calvoria.lock"_s));
    ToolRun taken = Tool({u"import"_s, opml, u"--data"_s, root});
    EXPECT_EQ(taken.exitCode, 0) << taken.err.toStdString();
    EXPECT_EQ(taken.out.last().section(u',', 0, 1), u"added 3, skipped 0"_s);
    EXPECT_EQ(ReadBack(env, root).channels.size(), 3);
    // The page address of a feed never downloaded survives into the next run.
    EXPECT_TRUE(Tool({u"export"_s, u"--data"_s, root})
                    .out.join(u'\n')
                    .contains(u"htmlUrl=\"http://harbour.example/\""_s));
}

namespace {

// seconds of a 440 Hz tone, 16 kHz mono 16-bit, as the speech step writes it.
QByteArray ToneWav(int seconds)
{
    const int samples = 16000 * seconds;
    QByteArray pcm;
    for (int i = 0; i < samples; ++i) {
        const qint16 v = qint16(8000 * std::sin(2 * M_PI * 440 * i / 16000.0));
        pcm.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    }
    const auto le32 = [](quint32 n) {
        const char bytes[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        return QByteArray(bytes, 4);
    };
    return "RIFF" + le32(36 + quint32(pcm.size())) + "WAVEfmt " + le32(16) +
           QByteArray("\x01\x00\x01\x00", 4) + le32(16000) + le32(32000) +
           QByteArray("\x02\x00\x10\x00", 4) + "data" + le32(quint32(pcm.size())) + pcm;
}

} // namespace

TEST(CompanionTool, PlaylistListsTheReadyAudioNewestFirstAndPlaysInMpg123)
{
    FeedEnvironment env;
    const QString root = env.DataRoot();
    QStringList mp3s;
    {
        auto tree = CRssGroup::Create(&env.context, true);
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(u"Spoken"_s, u"http://127.0.0.1:1/feed.xml"_s);
        tree->AddChild(channel.get());
        for (int i = 0; i < 4; ++i) {
            auto item = CRssItem::Create(&env.context, u"Story %1"_s.arg(i), u"Text %1"_s.arg(i));
            item->SetPublicationTime(1700000000 + i * 3600);
            item->SetPubDate(FormatGmtDate(item->publicationTime));
            channel->AddChild(item.get());
            mp3s << item->Mp3File();
            if (i == 3)
                continue; // not converted: not in the list
            item->SetState(RssItemState::Ready);
            const QString wav = env.home.File(u"tone.wav"_s);
            ASSERT_TRUE(WriteFile(wav, ToneWav(i + 1)));
            ToolRun encode = Tool({u"encode"_s, wav, item->Mp3File(), u"--title"_s, item->title});
            ASSERT_EQ(encode.exitCode, 0) << encode.err.toStdString();
        }
        ASSERT_EQ(WriteOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    }

    const QString list = env.home.File(u"list.m3u"_s);
    ToolRun playlist = Tool({u"playlist"_s, list, u"--data"_s, root});
    ASSERT_EQ(playlist.exitCode, 0) << playlist.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(ReadFile(list)).split(u'\n', Qt::SkipEmptyParts),
              (QStringList{u"#EXTM3U"_s, u"#EXTINF:3,Spoken - Story 2"_s, mp3s[2],
                           u"#EXTINF:2,Spoken - Story 1"_s, mp3s[1],
                           u"#EXTINF:1,Spoken - Story 0"_s, mp3s[0]}));

    QProcess player;
    player.start(u"mpg123"_s, {u"-t"_s, u"-@"_s, list});
    ASSERT_TRUE(player.waitForFinished(60000));
    const QString said = QString::fromUtf8(player.readAllStandardError());
    EXPECT_EQ(player.exitCode(), 0) << said.toStdString();
    EXPECT_EQ(said.count(u"Playing MPEG stream"_s), 3) << said.toStdString();
    EXPECT_FALSE(said.contains(u"error"_s, Qt::CaseInsensitive)) << said.toStdString();
}

TEST(CompanionTool, NewsAndCountsReadFromStoredFilesMatchWhatTheProgramLoads)
{
    FeedEnvironment env;
    const QString root = env.DataRoot();
    auto tree = CRssGroup::Create(&env.context, true);
    auto mixed = CRssChannel::Create(&env.context);
    mixed->SetNameAndUrl(u"Mixed"_s, u"http://127.0.0.1:1/mixed.xml"_s);
    tree->AddChild(mixed.get());
    const auto add = [&](const QString& title, const QString& description, int hours) {
        auto item = CRssItem::Create(&env.context, title, description);
        item->SetPublicationTime(1700000000 - hours * 3600);
        item->SetPubDate(FormatGmtDate(item->publicationTime));
        mixed->AddChild(item.get());
        return item;
    };
    add(u"Fish & Chips \u201cLtd\u201d"_s, u"<p>Caf\u00e9 &amp; more</p>"_s, 1);
    auto read = add(u"Read and spoken"_s, u"Its MP3 is gone"_s, 2);
    read->unread = false;
    read->SetState(RssItemState::Ready);
    add(u"Deleted"_s, u"Not shown"_s, 3)->deleted = true;
    add(u"Plain"_s, u"Text"_s, 4);
    mixed->Recount(false);
    auto odd = CRssChannel::Create(&env.context);
    odd->SetNameAndUrl(u"Odd"_s, u"http://127.0.0.1:1/odd.xml"_s);
    tree->AddChild(odd.get());
    ASSERT_EQ(WriteOpmlFile(*tree, root + u"data.opml"_s), kResultOk);
    // A channel file in a form only the XML reader takes apart.
    ASSERT_TRUE(WriteFile(odd->FilePath(),
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Odd</title>"
                          "<item new=\"1\" deleted=\"0\" status=\"0\"><title><![CDATA[Cdata <b>story</b>]]>"
                          "</title><description>x</description><pubDate>14 Nov 2023 10:00:00 GMT"
                          "</pubDate></item></channel></rss>"));

    ToolRun news = Tool({u"news"_s, u"Mixed"_s, u"--data"_s, root});
    ASSERT_EQ(news.exitCode, 0) << news.err.toStdString();
    QStringList rows;
    for (const QString& line : news.out.mid(1))
        rows << line.section(u'\t', 1);
    EXPECT_EQ(rows, (QStringList{
                        u"2023-11-14T21:13:20Z\tMixed\tFish & Chips \u201cLtd\u201d\t\tnone\t1"_s,
                        u"2023-11-14T20:13:20Z\tMixed\tRead and spoken\t\tfile-missing\t0"_s,
                        u"2023-11-14T18:13:20Z\tMixed\tPlain\t\tnone\t1"_s}));
    // Every channel, the odd one read by the loader: the same lines for Mixed.
    ToolRun all = Tool({u"news"_s, u"--data"_s, root});
    ASSERT_EQ(all.out.size(), 5);
    EXPECT_EQ(all.out.mid(1, 3), news.out.mid(1));
    EXPECT_EQ(all.out[4].section(u'\t', 1), u"2023-11-14T10:00:00Z\tOdd\tCdata story\t\tnone\t1"_s);
    EXPECT_EQ(Tool({u"list"_s, u"--data"_s, root}).out,
              (QStringList{u"name\turl\tunread\ttotal\tgroup"_s,
                           u"Mixed\thttp://127.0.0.1:1/mixed.xml\t2\t3\t"_s,
                           u"Odd\thttp://127.0.0.1:1/odd.xml\t1\t1\t"_s}));
    // The ids are the program's own: marking by one finds the item.
    ToolRun mark = Tool({u"mark-read"_s, news.out[1].section(u'\t', 0, 0), u"--data"_s, root});
    EXPECT_EQ(mark.out, QStringList{u"marked read\t1"_s}) << mark.err.toStdString();
}
