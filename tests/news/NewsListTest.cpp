#include "CRssReaderView.h"
#include "NewsColumnLayout.h"
#include "NewsListModel.h"
#include "NewsTestSupport.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kT0 = 1700000000 - 86400;

class NewsList : public ::testing::Test, public NewsFixture
{
protected:
    QStringList Titles(const CRssReaderView& view)
    {
        QStringList titles;
        for (int row = 0; row < view.Model().rowCount(); ++row)
            titles << view.Model().index(row, NewsColumnTitle).data().toString();
        return titles;
    }
    QString TitleAt(const CRssReaderView& view, QPoint point)
    {
        return view.indexAt(point).siblingAtColumn(NewsColumnTitle).data().toString();
    }
};

TEST_F(NewsList, NewsArrivingInTheShownChannelAreInsertedWhileTheReaderStaysPut)
{
    CRefPtr<CRssChannel> world = AddChannel(u"World"_s, 100, kT0);
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    view.resize(500, 300);
    view.show();
    view.InitialUpdate();
    view.OnUpdate(RssEvent::ChannelSelected, world.get());
    ASSERT_EQ(view.Model().rowCount(), 100);
    EXPECT_EQ(Titles(view).first(), u"News 99"_s) << "newest first by default";
    EXPECT_EQ(frame.header->text(), u"World"_s);
    EXPECT_EQ(frame.searchBarHidden, 1);

    // The reader has scrolled down and reads "News 39".
    view.setCurrentIndex(view.Model().index(60, NewsColumnTitle));
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    const QString top = TitleAt(view, {5, 5});
    const int topY = view.visualRect(view.indexAt({5, 5})).top();

    QSignalSpy resets(&view.Model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&view.Model(), &QAbstractItemModel::rowsInserted);
    AddItems(*world, u"Fresh"_s, 50, kT0 + 6000);
    AddItem(*world, u"Between"_s, kT0 + 50 * 60 + 30);
    view.OnUpdate(RssEvent::ChannelReloaded, world.get());

    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(inserted.count(), 2) << "one run on top, one in the middle";
    ASSERT_EQ(view.Model().rowCount(), 151);
    const QStringList titles = Titles(view);
    EXPECT_EQ(titles.first(), u"Fresh 49"_s);
    EXPECT_EQ(titles.indexOf(u"Between"_s), titles.indexOf(u"News 51"_s) + 1);
    EXPECT_EQ(view.SelectedItem()->PlainTitle(), u"News 39"_s);
    EXPECT_EQ(view.currentIndex().row(), 111);
    EXPECT_EQ(TitleAt(view, {5, 5}), top) << "the rows in sight stay in sight";
    EXPECT_EQ(view.visualRect(view.indexAt({5, 5})).top(), topY);

    // News deleted elsewhere leave the list the same way.
    QSignalSpy removed(&view.Model(), &QAbstractItemModel::rowsRemoved);
    // "Between" is the first of the channel.
    static_cast<CRssItem*>(world->ChildrenSnapshot()[0].get())->Delete(false);
    view.OnUpdate(RssEvent::ChannelReloaded, world.get());
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(view.Model().rowCount(), 150);
    EXPECT_FALSE(Titles(view).contains(u"Between"_s));

    // Without the preview a row is one line of text and 4 pixels.
    const int previewHeight = view.visualRect(view.Model().index(0, 0)).height();
    Prefs().showPreview = false;
    view.OnUpdate(RssEvent::PreviewChanged, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.visualRect(view.Model().index(0, 0)).height(), view.fontMetrics().height() + 4);
    EXPECT_GT(previewHeight, 2 * view.fontMetrics().height());
}

TEST_F(NewsList, ScatteredNewsComeAndGoInOneStepAndTheReaderStaysPut)
{
    CRefPtr<CRssChannel> world = AddChannel(u"World"_s, 100, kT0);
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    view.resize(500, 300);
    view.show();
    view.InitialUpdate();
    view.OnUpdate(RssEvent::ChannelSelected, world.get());
    view.setCurrentIndex(view.Model().index(60, NewsColumnTitle));
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    const QString top = TitleAt(view, {5, 5});

    // Thirty news, each between two stored ones: thirty places in the list.
    std::vector<CRefPtr<CRssItem>> scattered;
    for (int k = 0; k < 30; ++k)
        scattered.push_back(AddItem(*world, u"Scattered %1"_s.arg(k), kT0 + 60 * 3 * k + 30));
    QSignalSpy resets(&view.Model(), &QAbstractItemModel::modelReset);
    view.OnUpdate(RssEvent::ChannelReloaded, world.get());
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(view.Model().rowCount(), 130);
    QStringList titles = Titles(view);
    EXPECT_EQ(titles.indexOf(u"Scattered 5"_s), titles.indexOf(u"News 16"_s) + 1);
    EXPECT_EQ(titles.indexOf(u"News 15"_s), titles.indexOf(u"Scattered 5"_s) + 1);
    EXPECT_EQ(view.SelectedItem()->PlainTitle(), u"News 39"_s);
    EXPECT_EQ(TitleAt(view, {5, 5}), top) << "the rows in sight stay in sight";

    for (int k = 0; k < 30; k += 2)
        scattered[size_t(k)]->Delete(false);
    view.OnUpdate(RssEvent::ChannelReloaded, world.get());
    ASSERT_EQ(view.Model().rowCount(), 115);
    titles = Titles(view);
    EXPECT_EQ(titles.indexOf(u"Scattered 4"_s), -1);
    EXPECT_EQ(titles.indexOf(u"Scattered 5"_s), titles.indexOf(u"News 16"_s) + 1);
    EXPECT_EQ(view.SelectedItem()->PlainTitle(), u"News 39"_s);
    EXPECT_EQ(TitleAt(view, {5, 5}), top);
}

TEST_F(NewsList, AGroupShowsTheNewsOfAllItsChannelsAndFollowsEachOne)
{
    CRefPtr<CRssChannel> world = AddChannel(u"World"_s, 3, kT0, u"World"_s);
    CRefPtr<CRssChannel> sport = AddChannel(u"Sport"_s, 2, kT0 + 30, u"Sport"_s);
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InitialUpdate();
    view.OnUpdate(RssEvent::GroupSelected, &doc.RootGroup());
    EXPECT_EQ(Titles(view),
              (QStringList{u"World 2"_s, u"Sport 1"_s, u"World 1"_s, u"Sport 0"_s, u"World 0"_s}));
    EXPECT_EQ(frame.header->text(), u"My Feeds"_s);

    QSignalSpy resets(&view.Model(), &QAbstractItemModel::modelReset);
    AddItem(*sport, u"Sport late"_s, kT0 + 10000);
    view.OnUpdate(RssEvent::ChannelReloaded, sport.get());
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(Titles(view).first(), u"Sport late"_s);
    EXPECT_EQ(view.Model().rowCount(), 6);

    // Enough news for a scroll bar: the columns still fill the narrower rows.
    EXPECT_FALSE(view.verticalScrollBar()->isVisible());
    AddItems(*world, u"More"_s, 40, kT0 - 10000);
    view.OnUpdate(RssEvent::ChannelReloaded, world.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.verticalScrollBar()->isVisible(); }, 2000));
    EXPECT_EQ(view.header()->length(), view.viewport()->width());
}

TEST_F(NewsList, ColumnSharesRescaleAndDividersTradeWidth)
{
    NewsColumnLayout layout;
    layout.order = {NewsColumnTitle, NewsColumnDate, NewsColumnAuthor, -1, -1, -1, -1};
    NewsColumnLayout::PerKind widths = layout.Widths(1200, 16);
    EXPECT_EQ(layout.shares[NewsColumnTitle], 5500);
    EXPECT_EQ(layout.shares[NewsColumnDate], 2833);
    EXPECT_EQ(layout.shares[NewsColumnAuthor], 1667);
    EXPECT_EQ(widths[NewsColumnTitle], 660);
    EXPECT_EQ(widths[NewsColumnDate], 339);
    EXPECT_EQ(widths[NewsColumnAuthor], 201);

    NewsColumnLayout alone; // Read, State, Title, Date
    alone.Hide(NewsColumnDate);
    alone.Hide(NewsColumnTitle); // never hidden
    EXPECT_EQ(alone.Widths(500, 16)[NewsColumnTitle], 500 - 2 * 20);

    NewsColumnLayout dragged;
    widths = dragged.Widths(640, 16);
    ASSERT_EQ(widths[NewsColumnTitle], 396);
    EXPECT_TRUE(dragged.DragDivider(NewsColumnTitle, 446, 640, widths));
    EXPECT_EQ(widths[NewsColumnDate], 154) << "the neighbour gives what the column gains";
    EXPECT_EQ(dragged.shares[NewsColumnTitle], 6968);
    EXPECT_EQ(dragged.shares[NewsColumnDate], 2406);
    EXPECT_FALSE(dragged.DragDivider(NewsColumnDate, 100, 640, widths)) << "last column";
    EXPECT_FALSE(dragged.DragDivider(NewsColumnRead, 100, 640, widths)) << "icon column";
}

TEST_F(NewsList, TheColumnLayoutSurvivesANewViewAndABadEntryGivesTheDefaults)
{
    QSettings& store = Prefs().Store();
    {
        // Shown, laid out and resized without a drag: the shares read are the shares stored.
        CRssReaderView view(doc, frame.theme, frame, Prefs());
        view.resize(583, 300);
        view.show();
        view.InitialUpdate();
        view.resize(611, 280);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(store.value(u"Items/Sizes"_s).toByteArray().size(), 28);
    EXPECT_EQ(NewsColumnLayout::Load(store).shares, NewsColumnLayout{}.shares);
    {
        CRssReaderView view(doc, frame.theme, frame, Prefs());
        view.resize(640, 300);
        view.InitialUpdate();
        view.RunCommand(Command::ColumnAuthor); // show Author
        view.RunCommand(Command::ColumnRead);   // hide Read
        CommandState state;
        view.UpdateCommand(Command::ColumnAuthor, state);
        EXPECT_TRUE(state.checked);
        view.UpdateCommand(Command::ColumnSource, state);
        EXPECT_FALSE(state.enabled) << "the Source column cannot be chosen";
    }
    const QByteArray columns = store.value(u"Items/Columns"_s).toByteArray();
    EXPECT_EQ(columns, QByteArray::fromHex("01000000"
                                           "02000000"
                                           "03000000"
                                           "04000000"
                                           "ffffffff"
                                           "ffffffff"
                                           "ffffffff"));
    EXPECT_EQ(store.value(u"Items/Sizes"_s).toByteArray().size(), 28);

    CRssReaderView again(doc, frame.theme, frame, Prefs());
    again.resize(640, 300);
    again.show();
    again.InitialUpdate();
    // Dragging the Title's divider takes the width from the Date column next to it.
    QHeaderView* head = again.header();
    const int titleAndDate = head->sectionSize(NewsColumnTitle) + head->sectionSize(NewsColumnDate);
    head->resizeSection(NewsColumnTitle, head->sectionSize(NewsColumnTitle) - 50);
    EXPECT_EQ(head->sectionSize(NewsColumnTitle) + head->sectionSize(NewsColumnDate), titleAndDate);
    EXPECT_EQ(head->length(), again.viewport()->width());
    EXPECT_EQ(again.Layout().Visible(),
              (QList<int>{NewsColumnState, NewsColumnTitle, NewsColumnDate, NewsColumnAuthor}));
    EXPECT_TRUE(again.header()->isSectionHidden(NewsColumnRead));
    EXPECT_FALSE(again.header()->isSectionHidden(NewsColumnAuthor));

    store.setValue(u"Items/Sizes"_s, QByteArray(27, '\0'));
    CRssReaderView damaged(doc, frame.theme, frame, Prefs());
    EXPECT_EQ(damaged.Layout().Visible(),
              (QList<int>{NewsColumnRead, NewsColumnState, NewsColumnTitle, NewsColumnDate}));
    EXPECT_EQ(damaged.Layout().shares[NewsColumnTitle], 6600);
}

TEST_F(NewsList, HeaderClicksSortAndTheSameColumnAgainReverses)
{
    CRefPtr<CRssChannel> channel = AddChannel(u"Mixed"_s, 0, kT0);
    AddItem(*channel, u"beta"_s, kT0 + 10);
    AddItem(*channel, u"Alpha"_s, kT0 + 30);
    AddItem(*channel, u"alpha"_s, kT0 + 20);
    CRssReaderView view(doc, frame.theme, frame, Prefs());
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    view.resize(640, 300);
    view.show();
    view.InitialUpdate();
    view.OnUpdate(RssEvent::ChannelSelected, channel.get());
    const auto click = [&](int kind) {
        QHeaderView* head = view.header();
        QTest::mouseClick(head->viewport(), Qt::LeftButton, {},
                          QPoint(head->sectionViewportPosition(kind) + head->sectionSize(kind) / 2,
                                 head->height() / 2));
    };
    view.setCurrentIndex(view.Model().index(0, NewsColumnTitle)); // "Alpha", newest

    click(NewsColumnTitle);
    EXPECT_EQ(Titles(view), (QStringList{u"Alpha"_s, u"alpha"_s, u"beta"_s})) << "code units";
    EXPECT_EQ(int(Prefs().sortOrder), 3);
    // Qt draws the up arrow for DescendingOrder: up while ascending, down while descending.
    EXPECT_EQ(view.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    click(NewsColumnTitle);
    EXPECT_EQ(Titles(view), (QStringList{u"beta"_s, u"alpha"_s, u"Alpha"_s}));
    EXPECT_EQ(int(Prefs().sortOrder), -3);
    EXPECT_EQ(view.header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(view.SelectedItem()->PlainTitle(), u"Alpha"_s) << "the selection follows its item";
    click(NewsColumnDate);
    EXPECT_EQ(Titles(view), (QStringList{u"beta"_s, u"alpha"_s, u"Alpha"_s})) << "oldest first";
    EXPECT_EQ(int(Prefs().sortOrder), 4);

    view.SetColumnShown(NewsColumnSource, true); // as a stored layout may have it
    click(NewsColumnSource);
    EXPECT_EQ(int(Prefs().sortOrder), 7);
    EXPECT_EQ(Titles(view), (QStringList{u"beta"_s, u"alpha"_s, u"Alpha"_s})) << "all equal";
    EXPECT_FALSE(view.header()->isSortIndicatorShown());
    CommandState arrange;
    view.UpdateCommand(Command::ArrangeByDate, arrange);
    EXPECT_FALSE(arrange.checked);

    // A damaged settings record sorts nothing; the next click starts afresh.
    Prefs().sortOrder = std::numeric_limits<qint32>::min();
    view.Model().Sort(Prefs().sortOrder);
    click(NewsColumnTitle);
    EXPECT_EQ(int(Prefs().sortOrder), 3);
}

} // namespace
