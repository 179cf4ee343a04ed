#include "CShortcutsDlg.h"
#include "CommandTable.h"
#include "ShortcutList.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

QString Text(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// The shown rows as "command|keys|place".
QStringList Shown(const CShortcutsDlg& dialog)
{
    QStringList rows;
    for (int row = 0; row < dialog.shownRowCount(); ++row)
        rows << dialog.shownText(row, CShortcutsDlg::CommandColumn) + u'|' +
                    dialog.shownText(row, CShortcutsDlg::KeysColumn) + u'|' +
                    dialog.shownText(row, CShortcutsDlg::PlaceColumn);
    return rows;
}

} // namespace

TEST(KeyboardShortcuts, ListsEveryCommandWithItsKeysFromTheTableAndFiltersByNameOrKey)
{
    CShortcutsDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), dialog.filterField()) << "the keyboard starts in the filter";
    EXPECT_FALSE(dialog.filterField()->accessibleName().isEmpty());
    EXPECT_FALSE(dialog.list()->accessibleName().isEmpty());

    // Every command that has keys, under its menu text without mnemonic or tab part, with
    // its keys as the platform writes them; the tree's row menus are not repeated.
    const QStringList all = Shown(dialog);
    QSet<QString> commandsWithKeys;
    for (const CommandEntry& entry : CommandEntries()) {
        if (entry.owner == CommandOwner::ChannelTreeRow || entry.keys.empty())
            continue;
        const QString text = WithoutMnemonic(Text(entry.text).section(u'\t', 0, 0));
        const QString keys =
            QKeySequence(QString::fromLatin1(entry.keys.data(), qsizetype(entry.keys.size())))
                .toString(QKeySequence::NativeText);
        const bool listed = std::ranges::any_of(
            all, [&](const QString& row) { return row.section(u'|', 0, 1) == text + u'|' + keys; });
        EXPECT_TRUE(listed) << qPrintable(text) << " " << qPrintable(keys);
        EXPECT_FALSE(text.contains(u'&') || text.contains(u'\t')) << qPrintable(text);
        commandsWithKeys << text;
    }
    EXPECT_GE(commandsWithKeys.size(), 12);
    EXPECT_TRUE(all.contains(u"Update channel|F5|Tools > Update"_s)) << qPrintable(all.join(u'\n'));
    EXPECT_TRUE(all.contains(u"Keyboard shortcuts|Ctrl+F1|Help"_s));
    EXPECT_TRUE(all.contains(u"Show Calvoria||Tray menu"_s)) << "commands without keys too";
    EXPECT_FALSE(all.contains(u"Delete channel||"_s)) << "row menus are left out";
    EXPECT_TRUE(all.contains(u"Next pane|F6|Main window"_s)) << "the frame's own keys too";
    EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), all.size()) << "each command once";

    // Typing narrows the rows to those whose name, keys or menu match.
    QTest::keyClicks(dialog.filterField(), u"f5"_s);
    EXPECT_EQ(Shown(dialog), (QStringList{u"Update channel|F5|Tools > Update"_s,
                                          u"Update group|Ctrl+F5|Tools > Update"_s,
                                          u"Update all groups|Ctrl+Shift+F5|Tools > Update"_s}));
    dialog.filterField()->clear();
    QTest::keyClicks(dialog.filterField(), u"ARRANGE BY"_s);
    EXPECT_EQ(dialog.shownRowCount(), 7) << qPrintable(Shown(dialog).join(u'\n'));
    QTest::keyClicks(dialog.filterField(), u" nothing like this"_s);
    EXPECT_EQ(dialog.shownRowCount(), 0);
    dialog.filterField()->clear();
    EXPECT_EQ(Shown(dialog), all);

    // Down goes on to the list; Escape closes the window.
    QTest::keyClick(dialog.filterField(), Qt::Key_Down);
    EXPECT_EQ(dialog.focusWidget(), dialog.list());
    EXPECT_EQ(dialog.list()->currentIndex().row(), 0);
    QTest::keyClick(dialog.list(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());

    // The rows are made from whatever the table holds: a new command with keys appears,
    // under its menu, and one left out of every menu is found by its owner.
    const auto newCommand = static_cast<Command>(40001);
    const auto hiddenCommand = static_cast<Command>(40002);
    const std::vector<CommandEntry> table = {
        {Command::Search, u"Search for news\tCtrl+F", "Ctrl+F", CommandOwner::Frame,
         u"Search for specific word in all news", u"Search"},
        {newCommand, u"&Tidy && sort\tCtrl+Alt+T", "Ctrl+Alt+T", CommandOwner::Frame,
         u"Tidy the tree", u"Tidy"},
        {hiddenCommand, u"&Read aloud", "", CommandOwner::NewsList, u"Read the news aloud",
         u"Read Aloud"},
    };
    const std::vector<MenuLine> menu = {
        {0, Command::None, u"&View"},
        {1, Command::Search, {}},
        {1, Command::None, u"&Tidy things"},
        {2, newCommand, {}},
    };
    const QList<ShortcutRow> rows = ShortcutRows(table, menu, {}, {});
    ASSERT_EQ(rows.size(), 3);
    const QString tidyKeys = QKeySequence(u"Ctrl+Alt+T"_s).toString(QKeySequence::NativeText);
    CShortcutsDlg custom(nullptr, rows);
    EXPECT_EQ(Shown(custom), (QStringList{u"Search for news|Ctrl+F|View"_s,
                                          u"Tidy & sort|"_s + tidyKeys + u"|View > Tidy things"_s,
                                          u"Read aloud||News list"_s}));
    EXPECT_EQ(custom.shownText(1, CShortcutsDlg::PromptColumn), u"Tidy the tree"_s);
}
