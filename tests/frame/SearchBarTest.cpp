#include "CRssReaderDoc.h"
#include "CSearchDlg.h"
#include "CThemeColors.h"
#include "FeedTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

CRefPtr<CRssItem> AddItem(CFeedContext& context, CRssChannel& channel, const QString& title,
                          const QString& description, bool deleted = false)
{
    CRefPtr<CRssItem> item = CRssItem::Create(&context, title, description);
    item->deleted = deleted;
    channel.AddChild(item.get());
    return item;
}

QStringList Titles(const CRssChannel& channel)
{
    QStringList titles;
    for (const CRefPtr<CRssNode>& node : channel.ChildrenSnapshot())
        titles << static_cast<const CRssItem*>(node.get())->title;
    return titles;
}

// A feed tree of two channels, one in a sub-group, and one saved item; the search bar on it.
class SearchBar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CRefPtr<CRssChannel> fruit = CRssChannel::Create(&env.context);
        AddItem(env.context, *fruit, u"Apple pie"_s, u"sweet"_s);
        AddItem(env.context, *fruit, u"Banana bread"_s, u"nothing of that kind"_s);
        doc.RootGroup().AddChild(fruit.get());
        CRefPtr<CRssGroup> group = CRssGroup::Create(&env.context);
        CRefPtr<CRssChannel> daily = CRssChannel::Create(&env.context);
        AddItem(env.context, *daily, u"Cherry"_s, u"<b>An APPLE</b> a day"_s);
        AddItem(env.context, *daily, u"Old apple news"_s, u"gone"_s, true);
        group->AddChild(daily.get());
        doc.RootGroup().AddChild(group.get());
        AddItem(env.context, doc.SavedNews(), u"Saved apple"_s, u"kept"_s);
        // An earlier result that a search replaces.
        AddItem(env.context, doc.SearchResults(), u"Stale result"_s, u"apple"_s);
        bar.setDocument(&doc);
        bar.show();
        bar.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&bar));
        env.ClearNotifications();
    }

    // Types the text and presses Enter in the text field, as a person would.
    void Search(const QString& text)
    {
        bar.activate();
        bar.comboBox()->lineEdit()->clear();
        QWidget* field = QApplication::focusWidget();
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    FeedEnvironment env;
    CRssReaderDoc doc{env.context};
    CThemeColors theme;
    CSearchDlg bar{&theme};
};

} // namespace

TEST_F(SearchBar, FindsTitleOrTextInAnyCaseAcrossTheTreeAndKeepsEachTextOnce)
{
    QSignalSpy searched(&bar, &CSearchDlg::searched);
    const QStringList expected{u"Apple pie"_s, u"Cherry"_s, u"Old apple news"_s};

    Search(u"APPLE"_s);
    ASSERT_EQ(searched.count(), 1);
    EXPECT_EQ(searched.at(0).at(0).toInt(), 3);
    EXPECT_EQ(Titles(doc.SearchResults()), expected);
    for (const CRefPtr<CRssNode>& node : doc.SearchResults().ChildrenSnapshot())
        EXPECT_FALSE(static_cast<const CRssItem*>(node.get())->deleted);
    EXPECT_EQ(doc.SearchResults().TotalCount(), 3);
    EXPECT_EQ(doc.SearchResults().UnreadCount(), 3);
    EXPECT_EQ(env.Count(RssEvent::ChannelReloaded), 1);
    EXPECT_EQ(env.Count(RssEvent::ChannelChanged), 1);

    Search(u"apple"_s);
    EXPECT_EQ(Titles(doc.SearchResults()), expected);
    bar.findNowButton()->click(); // the button searches for the same text again
    EXPECT_EQ(Titles(doc.SearchResults()), expected);
    EXPECT_EQ(searched.count(), 3);
    EXPECT_EQ(bar.history().size(), 2);
    EXPECT_TRUE(bar.history().contains(u"APPLE"_s));
    EXPECT_TRUE(bar.history().contains(u"apple"_s));

    // The feed tree keeps its items; the search result is not stored.
    EXPECT_EQ(doc.RootGroup().ChildCount(), 2);
    EXPECT_FALSE(QFile::exists(doc.SearchResultsFile()));
}

TEST_F(SearchBar, EmptyTextMatchesEveryTreeItemAndNoMatchLeavesOneReadNotice)
{
    Search(QString());
    EXPECT_EQ(Titles(doc.SearchResults()),
              (QStringList{u"Apple pie"_s, u"Banana bread"_s, u"Cherry"_s, u"Old apple news"_s}));
    EXPECT_TRUE(bar.history().isEmpty());

    Search(u"zebra"_s);
    ASSERT_EQ(Titles(doc.SearchResults()), QStringList{u"Did not find any news."_s});
    const auto* notice =
        static_cast<const CRssItem*>(doc.SearchResults().ChildrenSnapshot().front().get());
    EXPECT_FALSE(notice->unread);
    EXPECT_TRUE(notice->Description().startsWith(
        u"Your search did not match any news. <br /><br /> Suggestions: <ul>"_s));
    EXPECT_EQ(env.Count(RssEvent::ChannelReloaded), 2);
}

TEST_F(SearchBar, EscapeClosesTheBarAndWithoutDocumentNothingHappens)
{
    QSignalSpy closed(&bar, &CSearchDlg::closed);
    bar.activate();
    ASSERT_EQ(QApplication::focusWidget(), bar.comboBox());
    QTest::keyClick(bar.comboBox(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_EQ(closed.count(), 1);

    bar.setDocument(nullptr);
    bar.setSearchText(u"apple"_s);
    EXPECT_EQ(bar.findNow(), -1);
    EXPECT_EQ(Titles(doc.SearchResults()), QStringList{u"Stale result"_s});
    EXPECT_TRUE(bar.history().isEmpty());
}

TEST_F(SearchBar, StretchesTheTextFieldOnResizeAndFollowsTheTheme)
{
    theme.setTheme(CThemeColors::Silver);
    EXPECT_EQ(bar.palette().color(QPalette::Window), QColor(0xF3, 0xF3, 0xF7));
    EXPECT_FALSE(bar.findChild<QLabel*>()->autoFillBackground());

    const QRect combo = bar.comboBox()->geometry();
    const QRect button = bar.findNowButton()->geometry();
    const int rightGap = bar.width() - button.right();
    bar.resize(bar.width() + 100, bar.height());
    EXPECT_EQ(bar.comboBox()->geometry().topLeft(), combo.topLeft());
    EXPECT_EQ(bar.comboBox()->width(), combo.width() + 100);
    EXPECT_EQ(bar.findNowButton()->geometry().left() - bar.comboBox()->geometry().right(),
              button.left() - combo.right());
    EXPECT_EQ(bar.width() - bar.findNowButton()->geometry().right(), rightGap);
    EXPECT_EQ(bar.findNowButton()->size(), button.size());
}
