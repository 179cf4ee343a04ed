// What a person keeps survives damaged files, full disks, special files, hostile feeds and
// a second writer.
#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "DiskFaults.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"
#include "XmlHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

class StoredDataTest : public ::testing::Test
{
protected:
    FeedEnvironment env;

    QString Root() const { return env.DataRoot(); }
    QString Opml() const { return Root() + u"data.opml"_s; }

    // A data folder written by the program itself: channels "C0".."Cn" with items each.
    void MakeFolder(int channels, int items)
    {
        CRssReaderDoc doc(env.context);
        ASSERT_TRUE(doc.LoadNews());
        for (int c = 0; c < channels; ++c) {
            auto channel = CRssChannel::Create(&env.context);
            channel->SetNameAndUrl(u"C%1"_s.arg(c), u"http://127.0.0.1:1/%1"_s.arg(c));
            for (int i = 0; i < items; ++i)
                channel->AddChild(
                    CRssItem::Create(&env.context, u"Story %1.%2"_s.arg(c).arg(i), u"Text"_s).get());
            doc.RootGroup().AddChild(channel.get());
        }
        ASSERT_TRUE(doc.SaveNews());
        doc.CloseNews();
    }

    // Channel name -> item count of the tree as loaded now.
    std::map<QString, int> Load(CRssReaderDoc& doc)
    {
        EXPECT_TRUE(doc.LoadNews());
        doc.WaitForChannels();
        std::map<QString, int> counts;
        for (const CRefPtr<CRssNode>& node : doc.RootGroup().ChildrenSnapshot())
            if (auto channel = NodeCast<CRssChannel>(node))
                counts[channel->Name()] = channel->ChildCount();
        return counts;
    }

    static QStringList Matching(const QString& folder, const QString& pattern)
    {
        return QDir(folder).entryList({pattern}, QDir::AllEntries | QDir::System | QDir::Hidden);
    }
};

TEST_F(StoredDataTest, DamagedTreeIsKeptAsideRecoveredAndNeverSavedOver)
{
    MakeFolder(4, 3);
    const QByteArray good = ReadFile(Opml());
    const qsizetype cut = good.indexOf("C2") - 30; // C0 and C1 stay whole
    QByteArray garbled = good;
    garbled[garbled.indexOf("C3") + 5] = '<';
    QByteArray deep = good;
    deep.replace("<body expanded=\"true\">",
                 "<body expanded=\"true\">" +
                     QByteArray("<outline type=\"group\" text=\"g\">").repeated(300) +
                     QByteArray("</outline>").repeated(300));
    const struct {
        const char* name;
        QByteArray bytes;
        int minChannels; // recovered at least
    } cases[] = {
        {"cut short", good.left(cut), 2},
        {"garbled", garbled, 3},
        {"nested too deep", deep, 0},
        {"undeclared entity", QByteArray(good).replace("text=\"C1\"", "text=\"C1&nbsp;\""), 1},
        {"foreign groups without type",
         "<opml version=\"2.0\"><body><outline text=\"News\"><outline type=\"rss\" text=\"A\" "
         "xmlUrl=\"http://a/\"/></outline></body></opml>",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& bad : Matching(Root(), u"data.opml.bad-*"_s))
            QFile::remove(Root() + bad);
        ASSERT_TRUE(WriteFile(Opml(), c.bytes));

        CRssReaderDoc doc(env.context);
        const auto channels = Load(doc);
        EXPECT_GE(int(channels.size()), c.minChannels);
        for (const auto& [name, count] : channels)
            EXPECT_EQ(count, 3) << qPrintable(name);
        ASSERT_EQ(doc.LoadProblems().size(), 1);
        const QStringList bad = Matching(Root(), u"data.opml.bad-*"_s);
        ASSERT_EQ(bad.size(), 1);
        EXPECT_TRUE(doc.LoadProblems()[0].contains(bad[0]));

        // The save writes what was recovered; the damaged original stays as it was.
        EXPECT_TRUE(doc.SaveNews());
        doc.CloseNews();
        EXPECT_EQ(ReadFile(Root() + bad[0]), c.bytes);
        CRssReaderDoc again(env.context);
        EXPECT_EQ(Load(again), channels);
        EXPECT_TRUE(again.LoadProblems().isEmpty());
        again.CloseNews();
    }
}

TEST_F(StoredDataTest, DamagedChannelFileIsKeptAsideAndItsWholeItemsRecovered)
{
    MakeFolder(1, 40);
    CRssReaderDoc doc(env.context);
    Load(doc);
    const QString file = NodeCast<CRssChannel>(doc.RootGroup().ChildrenSnapshot()[0])->FilePath();
    doc.CloseNews();
    const QByteArray cut = ReadFile(file).left(ReadFile(file).size() / 2);
    ASSERT_TRUE(WriteFile(file, cut));

    const int recovered = Load(doc)[u"C0"_s];
    EXPECT_GT(recovered, 10);
    EXPECT_LT(recovered, 40);
    EXPECT_EQ(doc.LoadProblems().size(), 1);
    EXPECT_TRUE(doc.SaveNews());
    doc.CloseNews();
    const QStringList bad = Matching(QFileInfo(file).path(), QFileInfo(file).fileName() + u".bad-*"_s);
    ASSERT_EQ(bad.size(), 1);
    EXPECT_EQ(ReadFile(QFileInfo(file).path() + u'/' + bad[0]), cut);
    EXPECT_EQ(Load(doc)[u"C0"_s], recovered);
}

TEST_F(StoredDataTest, FullDiskLeavesEveryFileWholeAndSaysSo)
{
    ScopedSmallDisk disk(256 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a small file system needs root";
    env.app.Prefs()->ChangeRoot(disk.Path() + u"/data"_s);
    MakeFolder(5, 60);

    for (qint64 left : {0, 700, 3000, 9000, 20000, 60000}) {
        SCOPED_TRACE(left);
        CRssReaderDoc doc(env.context);
        const auto before = Load(doc);
        std::map<QString, qint64> sizes;
        for (QDirIterator it(Root(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            it.next();
            sizes[it.filePath()] = it.fileInfo().size();
        }
        // Every file changes: each channel gets a longer item.
        for (const CRefPtr<CRssNode>& node : doc.RootGroup().ChildrenSnapshot())
            static_cast<CRssChannel*>(node.get())
                ->AddChild(CRssItem::Create(&env.context, u"Late"_s, QString(400, u'x')).get(), 0);
        disk.FillLeaving(left);
        const bool saved = doc.SaveNews();
        if (!saved) {
            EXPECT_FALSE(doc.SaveErrors().isEmpty());
            EXPECT_TRUE(env.log.Contains(u"*ERROR: Saving news: failed"_s));
        }
        for (const auto& [path, size] : sizes)
            EXPECT_GE(QFileInfo(path).size(), size) << qPrintable(path);
        EXPECT_TRUE(Matching(Root(), u"*.saving-*"_s).isEmpty());
        EXPECT_TRUE(Matching(Root() + u"Feeds"_s, u"*.saving-*"_s).isEmpty());
        disk.Unfill();
        doc.CloseNews();

        CRssReaderDoc again(env.context);
        const auto after = Load(again);
        EXPECT_EQ(after.size(), before.size());
        for (const auto& [name, count] : after)
            EXPECT_GE(count, before.at(name)) << qPrintable(name);
        EXPECT_TRUE(again.LoadProblems().isEmpty());
        again.CloseNews();
    }
}

TEST_F(StoredDataTest, ChangesThroughTheItemListReachTheFilesInLaterRuns)
{
    MakeFolder(1, 5);
    // Later runs: a saved item, a removed item, a cleared channel.
    for (int run = 0; run < 3; ++run) {
        CRssReaderDoc doc(env.context);
        Load(doc);
        auto channel = NodeCast<CRssChannel>(doc.RootGroup().ChildrenSnapshot()[0]);
        auto first = NodeCast<CRssItem>(channel->ChildrenSnapshot()[0]);
        doc.SavedNews().AddChild(first->Copy().get());
        if (run < 2)
            channel->RemoveChild(first.get());
        else
            channel->Clear();
        ASSERT_TRUE(doc.SaveNews());
        doc.CloseNews();
    }
    CRssReaderDoc doc(env.context);
    EXPECT_EQ(Load(doc)[u"C0"_s], 0);
    EXPECT_EQ(doc.SavedNews().ChildCount(), 3);
}

TEST_F(StoredDataTest, WhatAChannelKeepsIsBoundedAndItsFileAlwaysReadsBack)
{
    // A feed of very many items: only its newest ones are kept.
    QByteArray feed = "<rss version=\"2.0\"><channel><title>Many</title>";
    for (int i = 0; i < 12000; ++i)
        feed += "<item><title>N" + QByteArray::number(i) + "</title></item>";
    XmlDocPtr many = ParseXml(feed + "</channel></rss>", u"http://127.0.0.1:1/many"_s);
    auto flood = CRssChannel::Create(&env.context);
    ASSERT_EQ(MergeFeedDocument(*flood, many.get(), u"http://127.0.0.1:1/many"_s, FeedOrigin::Live,
                                ChannelNotice::None),
              kResultOk);
    EXPECT_EQ(flood->ChildCount(), 10000);
    EXPECT_EQ(NodeCast<CRssItem>(flood->ChildrenSnapshot()[0])->title, u"N0"_s);

    // A file over the limit for documents from outside, which stored files do not share.
    auto channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"Big"_s, u"http://127.0.0.1:1/big"_s);
    const QString text(3500, u'y');
    for (int i = 0; i < 10000; ++i)
        channel->AddChild(CRssItem::Create(&env.context, u"Item %1"_s.arg(i), text).get());
    // A text joined from several parts of a feed may pass the XML parser's 10 MB.
    channel->AddChild(
        CRssItem::Create(&env.context, u"Long"_s, QString(11 * 1024 * 1024, u'z')).get());
    ASSERT_EQ(channel->SaveFile(channel->FilePath()), kResultOk);
    ASSERT_GT(QFileInfo(channel->FilePath()).size(), kMaxXmlDocumentBytes);

    auto read = CRssChannel::Create(&env.context);
    read->SetNameAndUrl(u"Big"_s, u"http://127.0.0.1:1/big"_s);
    EXPECT_EQ(read->LoadStoredFile(read->FilePath()), kResultOk);
    EXPECT_EQ(read->ChildCount(), 10001);
}

TEST_F(StoredDataTest, SpecialFilesAreNeitherReadNorReplacedAndLinksAreNotFollowed)
{
    MakeFolder(2, 3);
    CRssReaderDoc doc(env.context);
    Load(doc);
    const auto channels = doc.RootGroup().ChildrenSnapshot();
    const QString linked = NodeCast<CRssChannel>(channels[0])->FilePath();
    const QString fifo = NodeCast<CRssChannel>(channels[1])->FilePath();
    doc.CloseNews();

    const QString outside = env.home.File(u"precious.txt"_s);
    ASSERT_TRUE(WriteFile(outside, "precious"));
    QFile::remove(linked);
    ASSERT_TRUE(QFile::link(outside, linked));
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QFile::remove(Root() + u"saved.rss"_s);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, Root() + u"saved.rss"_s));

    Load(doc); // returns: neither the FIFO nor the device holds the load
    EXPECT_EQ(doc.LoadProblems().size(), 3);
    for (const CRefPtr<CRssNode>& node : doc.RootGroup().ChildrenSnapshot())
        static_cast<CRssChannel*>(node.get())->Touch();
    EXPECT_FALSE(doc.SaveNews()); // the FIFO is not replaced
    doc.CloseNews();

    EXPECT_EQ(ReadFile(outside), "precious");
    EXPECT_FALSE(QFileInfo(linked).isSymLink());
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    EXPECT_FALSE(QFileInfo(Root() + u"saved.rss"_s).isSymLink());
}

TEST_F(StoredDataTest, OneWriterPerDataFolderAndLeftoversOfKilledSavesGo)
{
    MakeFolder(1, 1);
    const QString stale = Root() + u"data.opml.saving-Ab12Cd"_s;
    const QString legacy = Root() + u"Feeds/0123456789ABCDEF0123456789ABCDEF.rss.Xy12Ab"_s;
    const QString mine = Root() + u"notes.txt.Ab12Cd"_s;
    for (const QString& file : {stale, legacy, mine})
        ASSERT_TRUE(WriteFile(file, "x"));

    CRssReaderDoc first(env.context);
    Load(first);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_FALSE(QFile::exists(legacy));
    EXPECT_TRUE(QFile::exists(mine));

    CRssReaderDoc second(env.context);
    EXPECT_FALSE(second.LoadNews());
    EXPECT_TRUE(second.LoadError().contains(u"in use"_s));
    first.CloseNews();
    EXPECT_TRUE(second.LoadNews());
    second.CloseNews();

    // Another process holds the folder, then dies: its lock goes with it.
    QProcess holder;
    holder.start(u"flock"_s, {u"-n"_s, u"-o"_s, Root() + u"calvoria.lock"_s, u"sleep"_s, u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);
    EXPECT_FALSE(second.LoadNews());
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(second.LoadNews());
}

TEST_F(StoredDataTest, ALiveFeedCannotSetTheStoredStateOfItsItems)
{
    const QByteArray feed =
        "<rss version=\"2.0\"><channel><title>T</title>"
        "<item new=\"0\" deleted=\"0\" status=\"6\"><title>Podcast</title>"
        "<enclosure url=\"http://127.0.0.1:1/a.mp3\" type=\"audio/mpeg\" length=\"9\"/></item>"
        "<item deleted=\"1\" status=\"2\"><title>Hidden</title></item></channel></rss>";
    XmlDocPtr doc = ParseXml(feed, u"http://127.0.0.1:1/feed"_s);
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(MergeFeedDocument(*channel, doc.get(), u"http://127.0.0.1:1/feed"_s, FeedOrigin::Live,
                                ChannelNotice::None),
              kResultOk);
    ASSERT_EQ(channel->ChildCount(), 2);
    for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot()) {
        const auto* item = static_cast<CRssItem*>(node.get());
        EXPECT_TRUE(item->unread);
        EXPECT_FALSE(item->deleted);
        EXPECT_EQ(item->State(), RssItemState::None);
    }
}

TEST_F(StoredDataTest, ANameXmlCannotHoldFindsItsChannelFileAfterARestart)
{
    {
        CRssReaderDoc doc(env.context);
        Load(doc);
        auto channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(u"Bell"_s + QChar(7) + u" news"_s,
                               u"http://127.0.0.1:1/"_s + QChar(1) + u"b"_s);
        channel->AddChild(CRssItem::Create(&env.context, u"A"_s, u"B"_s).get());
        doc.RootGroup().AddChild(channel.get());
        ASSERT_TRUE(doc.SaveNews());
    }
    CRssReaderDoc doc(env.context);
    EXPECT_EQ(Load(doc)[u"Bell news"_s], 1);
}

} // namespace
