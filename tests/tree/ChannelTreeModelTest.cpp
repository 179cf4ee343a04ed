#include "ChannelTreeModel.h"
#include "OpmlFile.h"
#include "SoonAsserts.h"
#include "TreeTestSupport.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFont>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList Labels(const QAbstractItemModel& model, const QModelIndex& parent)
{
    QStringList labels;
    for (int row = 0; row < model.rowCount(parent); ++row)
        labels << model.index(row, 0, parent).data().toString();
    return labels;
}

int Image(const QModelIndex& index)
{
    return index.data(ChannelTreeModel::ImageRole).toInt();
}

bool Bold(const QModelIndex& index)
{
    return index.data(Qt::FontRole).value<QFont>().bold();
}

} // namespace

TEST(ChannelTreeModel, FollowsTheFeedTreeRowByRowAndKeepsFavouritesInStep)
{
    TreeWorld w;
    CRssGroup& root = w.doc.RootGroup();
    CRssGroup* tech = w.AddGroup(root, u"Tech"_s);
    CRssChannel* alpha = w.AddChannel(*tech, u"Alpha"_s);
    CRssChannel* beta = w.AddChannel(*tech, u"Beta"_s, 3);
    CRssChannel* gamma = w.AddChannel(root, u"Gamma"_s);
    beta->SetFavorite(true);
    gamma->SetAutoConvert(true);

    ChannelTreeModel model(w.doc);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(Labels(model, {}), (QStringList{u"Favorite Channels"_s, u"My Feeds"_s,
                                              u"Saved News"_s, u"Search Result"_s}));
    EXPECT_EQ(Labels(model, model.RootGroupIndex()), (QStringList{u"Tech"_s, u"Gamma"_s}));
    EXPECT_EQ(Labels(model, model.IndexOf(tech)), (QStringList{u"Alpha"_s, u"Beta (3)"_s}));
    EXPECT_EQ(Labels(model, model.FavoritesIndex()), QStringList{u"Beta (3)"_s});
    EXPECT_EQ(Image(model.FavoritesIndex()), 4);
    EXPECT_EQ(Image(model.IndexOf(tech)), 5);
    EXPECT_EQ(Image(model.IndexOf(alpha)), 6);
    EXPECT_EQ(Image(model.IndexOf(gamma)), 7) << "converts to voice";
    EXPECT_EQ(Image(model.SavedNewsIndex()), 3);
    EXPECT_EQ(Image(model.SearchResultsIndex()), 8);
    EXPECT_TRUE(Bold(model.IndexOf(beta)));
    EXPECT_TRUE(Bold(model.FavoriteCopyOf(beta)));
    EXPECT_FALSE(Bold(model.IndexOf(alpha)));
    EXPECT_FALSE(model.IsAnimating());

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QPersistentModelIndex alphaRow(model.IndexOf(alpha));
    const QPersistentModelIndex betaCopy(model.FavoriteCopyOf(beta));

    // The stored items of a channel arrive after the window shows: its rows catch up.
    beta->SetCounts(5, 9);
    model.OnUpdate(RssEvent::ChannelReloaded, beta);
    EXPECT_EQ(model.IndexOf(beta).data().toString(), u"Beta (5)"_s);
    EXPECT_EQ(betaCopy.data().toString(), u"Beta (5)"_s);
    EXPECT_EQ(changed.count(), 2);

    // A refresh of 500 channels changes 500 rows and rebuilds nothing.
    CRssGroup* many = w.AddGroup(root, u"Many"_s);
    std::vector<CRssChannel*> feeds;
    for (int i = 0; i < 500; ++i)
        feeds.push_back(w.AddChannel(*many, u"Feed %1"_s.arg(i)));
    model.OnUpdate(RssEvent::TreeChanged, many);
    EXPECT_EQ(inserted.count(), 1) << "the new group arrives as one row with its channels";
    EXPECT_EQ(model.rowCount(model.IndexOf(many)), 500);
    changed.clear();
    for (CRssChannel* feed : feeds) {
        feed->SetCounts(1, 1);
        model.OnUpdate(RssEvent::ChannelChanged, feed);
    }
    EXPECT_EQ(changed.count(), 500);
    EXPECT_EQ(model.IndexOf(feeds[499]).data().toString(), u"Feed 499 (1)"_s);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(QModelIndex(alphaRow), model.IndexOf(alpha));

    // Renaming shows in the channel's row and in its favourite copy.
    beta->SetNameAndUrl(u"Bravo"_s, beta->Url());
    model.OnUpdate(RssEvent::ChannelChanged, beta);
    EXPECT_EQ(betaCopy.data().toString(), u"Bravo (5)"_s);

    // Removing and reordering touch only the rows concerned.
    tech->RemoveChild(alpha);
    const CRefPtr<CRssNode> keep(gamma);
    root.RemoveChild(gamma);
    root.AddChild(gamma, 0);
    model.OnUpdate(RssEvent::TreeChanged, &root);
    EXPECT_EQ(Labels(model, model.RootGroupIndex()),
              (QStringList{u"Gamma"_s, u"Tech"_s, u"Many"_s}));
    EXPECT_EQ(Labels(model, model.IndexOf(tech)), QStringList{u"Bravo (5)"_s});
    EXPECT_FALSE(alphaRow.isValid());
    EXPECT_TRUE(betaCopy.isValid());

    // Favourites come and go with the flag, and with their channel.
    beta->SetFavorite(false);
    gamma->SetFavorite(true);
    model.OnUpdate(RssEvent::FavoriteChanged, beta);
    EXPECT_EQ(Labels(model, model.FavoritesIndex()), QStringList{u"Gamma"_s});
    root.RemoveChild(gamma);
    model.OnUpdate(RssEvent::TreeChanged, &root);
    EXPECT_EQ(model.rowCount(model.FavoritesIndex()), 0);

    // A group that reads its channels says nothing until their items arrive.
    tech->SetLoading(true);
    CRssChannel* late = w.AddChannel(*tech, u"Late"_s, 1);
    tech->SetLoading(false);
    model.OnUpdate(RssEvent::ChannelReloaded, late);
    EXPECT_EQ(model.IndexOf(late).data().toString(), u"Late (1)"_s);
    EXPECT_EQ(resets.count(), 0);
}

TEST(ChannelTreeModel, DownloadingChannelsAnimateOnlyWhileTheyDownload)
{
    TreeWorld w;
    CRssChannel* feed = w.AddChannel(w.doc.RootGroup(), u"Feed"_s);
    feed->SetFavorite(true);
    ChannelTreeModel model(w.doc);

    feed->SetDownloadState(CRssChannel::Downloading);
    model.OnUpdate(RssEvent::ChannelChanged, feed);
    EXPECT_TRUE(model.IsAnimating());
    QSet<int> images;
    QSet<int> copyImages;
    for (int i = 0; i < 12; ++i) {
        images << Image(model.IndexOf(feed));
        copyImages << Image(model.FavoriteCopyOf(feed));
        QTest::qWait(100);
    }
    EXPECT_GE(images.size(), 2) << "the busy images take turns";
    EXPECT_TRUE(images.subtract({9, 10, 11}).isEmpty());
    EXPECT_TRUE(copyImages.subtract({9, 10, 11}).isEmpty());

    feed->SetDownloadState(CRssChannel::Downloaded);
    model.OnUpdate(RssEvent::ChannelChanged, feed);
    EXPECT_EQ(Image(model.IndexOf(feed)), 6);
    // The timer stops with the last download: nothing runs while the program is idle.
    ASSERT_SOON(!model.IsAnimating());
    EXPECT_EQ(model.BusyCount(), 0);
}

TEST(ChannelTreeModel, DropMovesNodesIntoGroupsAndTheTreeIsSaved)
{
    TreeWorld w;
    CRssGroup& root = w.doc.RootGroup();
    CRssGroup* a = w.AddGroup(root, u"A"_s);
    CRssChannel* a1 = w.AddChannel(*a, u"a1"_s, 2);
    CRssGroup* b = w.AddGroup(root, u"B"_s);
    CRssGroup* inner = w.AddGroup(*b, u"Inner"_s);
    CRssChannel* x = w.AddChannel(*inner, u"x"_s);
    ASSERT_TRUE(w.doc.SaveNews());
    const QString a1File = a1->FilePath();
    ASSERT_TRUE(QFile::exists(a1File));

    ChannelTreeModel model(w.doc);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto drag = [&](const CRssNode* node) {
        return std::unique_ptr<QMimeData>(model.mimeData({model.IndexOf(node)}));
    };

    // A channel onto another group: at its end.
    auto mime = drag(a1);
    ASSERT_TRUE(mime);
    EXPECT_TRUE(model.canDropMimeData(mime.get(), Qt::MoveAction, -1, 0, model.IndexOf(b)));
    model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, model.IndexOf(b));
    EXPECT_EQ(ChildNames(*b), (QStringList{u"Inner"_s, u"a1"_s}));
    EXPECT_EQ(ChildNames(*a), QStringList{});
    EXPECT_EQ(Labels(model, model.IndexOf(b)), (QStringList{u"Inner"_s, u"a1 (2)"_s}));

    // A group never goes into itself or its own subtree; special rows take nothing.
    mime = drag(b);
    for (const QModelIndex& onto : {model.IndexOf(b), model.IndexOf(inner), model.IndexOf(x),
                                    model.FavoritesIndex(), model.SavedNewsIndex()}) {
        EXPECT_FALSE(model.canDropMimeData(mime.get(), Qt::MoveAction, -1, 0, onto));
        model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, onto);
    }
    EXPECT_EQ(ChildNames(root), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(ChildNames(*b), (QStringList{u"Inner"_s, u"a1"_s}));
    EXPECT_FALSE(model.mimeData({model.RootGroupIndex()})) << "the root group stays";

    // A group between two rows of another group; a channel dropped on a channel lands after it.
    mime = drag(inner);
    model.dropMimeData(mime.get(), Qt::MoveAction, 0, 0, model.RootGroupIndex());
    EXPECT_EQ(ChildNames(root), (QStringList{u"Inner"_s, u"A"_s, u"B"_s}));
    mime = drag(x);
    model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, model.IndexOf(a1));
    EXPECT_EQ(ChildNames(*b), (QStringList{u"a1"_s, u"x"_s}));

    // The moves are in data.opml at once; the channel keeps its file.
    CRefPtr<CRssGroup> reread = CRssGroup::Create(&w.env.context, true);
    ASSERT_EQ(ReadOpmlFile(*reread, w.doc.OpmlFile()), kResultOk);
    EXPECT_EQ(ChildNames(*reread), (QStringList{u"Inner"_s, u"A"_s, u"B"_s}));
    for (const CRefPtr<CRssNode>& child : reread->ChildrenSnapshot()) {
        if (auto* group = NodeCast<CRssGroup>(child.get()); group && group->Name() == u"B"_s) {
            EXPECT_EQ(ChildNames(*group), (QStringList{u"a1"_s, u"x"_s}));
        }
    }
    EXPECT_EQ(a1->FilePath(), a1File);
    EXPECT_TRUE(QFile::exists(a1File));
}
