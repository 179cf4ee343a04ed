// calvoria-tool sync: the synchronisation's copy from a script, on a mounted device image.
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "LoopDevice.h"
#include "OpmlFile.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

ToolRun Sync(const QStringList& args)
{
    return Tool(QStringList{u"sync"_s} + args);
}

// A data folder with two channels of prepared news, "Daily" (two) and "Radio" (one).
struct PreparedFolder
{
    FeedEnvironment env;
    CRefPtr<CRssGroup> root = CRssGroup::Create(&env.context, true);
    QStringList daily, radio;

    PreparedFolder()
    {
        daily = AddChannel(u"Daily"_s, {u"Morning"_s, u"Evening"_s});
        radio = AddChannel(u"Radio"_s, {u"Show"_s});
        EXPECT_EQ(WriteOpmlFile(*root, env.DataRoot() + u"data.opml"_s), kResultOk);
    }
    QStringList AddChannel(const QString& name, const QStringList& titles)
    {
        CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(name, u"http://127.0.0.1/"_s + name);
        root->AddChild(channel.get());
        QStringList files;
        for (const QString& title : titles) {
            CRefPtr<CRssItem> item = CRssItem::Create(&env.context, title, name);
            channel->AddChild(item.get());
            item->SetState(RssItemState::Ready);
            EXPECT_TRUE(WriteFile(item->Mp3File(), title.toUtf8()));
            files << item->Mp3File();
        }
        return files;
    }
};

} // namespace

TEST(SyncTool, MovesTheChosenNewsToAMountedDeviceOnly)
{
    PreparedFolder data;
    const QString dataRoot = data.env.DataRoot();
    QTemporaryDir notMounted;
    ToolRun run = Sync({notMounted.path(), u"--data"_s, dataRoot});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"not a mount point"_s)) << run.err.toStdString();
    EXPECT_TRUE(QFile::exists(data.daily[0]));

    LoopDevice stick;
    if (!stick.IsMounted())
        GTEST_SKIP() << stick.SkipReason().toStdString();
    // A folder on the device that is a link to the computer's disk is refused.
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), stick.Root() + u"/Music"_s));
    run = Sync({stick.Root(), u"--folder"_s, u"Music"_s, u"--clean"_s, u"--data"_s, dataRoot});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"link"_s)) << run.err.toStdString();
    EXPECT_TRUE(QDir(outside.path()).isEmpty());
    EXPECT_TRUE(QFile::exists(data.daily[0]));

    ASSERT_TRUE(WriteFile(stick.Root() + u"/Podcasts/old.mp3"_s, "old"));
    run = Sync({stick.Root(), u"--folder"_s, u"Podcasts"_s, u"--clean"_s, u"--channel"_s,
                u"Daily"_s, u"--data"_s, dataRoot});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(run.out.size(), 3) << run.out.join(u'\n').toStdString();
    EXPECT_TRUE(run.out[0].startsWith(u"moved\t"_s + stick.Root() + u"/Podcasts/"_s));
    EXPECT_TRUE(run.out[0].endsWith(u"\tMorning"_s));
    EXPECT_TRUE(run.out[2].startsWith(u"2 of 2 files"_s)) << run.out[2].toStdString();
    QStringList onDevice = QDir(stick.Root() + u"/Podcasts"_s).entryList(QDir::Files);
    QStringList expected;
    for (const QString& file : data.daily)
        expected << QFileInfo(file).fileName();
    onDevice.sort();
    expected.sort();
    EXPECT_EQ(onDevice, expected);
    EXPECT_FALSE(QFile::exists(data.daily[0]));
    EXPECT_TRUE(QFile::exists(data.radio[0]));
}
