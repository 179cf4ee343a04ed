#include "CCommandRouter.h"
#include "CCommandTable.h"
#include "CRssFullBar.h"
#include "CommandTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

void dump(const QList<QAction*>& actions, int depth, QString& out)
{
    for (QAction* act : actions) {
        out += QString(depth * 2, u' ');
        if (act->isSeparator())
            out += u'-';
        else if (act->menu() != nullptr)
            out += act->text();
        else
            out += act->text() + u'|' + act->shortcut().toString() + u'|' +
                   QString::number(act->data().toInt());
        out += u'\n';
        if (act->menu() != nullptr)
            dump(act->menu()->actions(), depth + 1, out);
    }
}

// Handles the commands it is given; each update answer is given per command.
struct FakeTarget : ICommandTarget
{
    std::map<Command, CommandState> handled;
    QList<Command> ran;
    bool HandlesCommand(Command id) const override { return handled.contains(id); }
    void RunCommand(Command id) override { ran.append(id); }
    void UpdateCommand(Command id, CommandState& state) override { state = handled.at(id); }
};

} // namespace

TEST(Commands, MainMenuAcceleratorsAndPromptsAreTheProgramsOwn)
{
    CCommandTable table;
    QMenuBar bar;
    table.buildMainMenu(&bar);
    QString menu;
    dump(bar.actions(), 0, menu);
    // The numbers are part of what is checked: a second start sends them to the running copy.
    EXPECT_EQ(menu.toStdString(), R"(&File
  &Synchronize||32835
  Ex&plore voice folder||32861
  -
  &New channel|Ctrl+N|32772
  New &group|Ctrl+G|32775
  -
  &Import subscriptions...||32867
  &Export subscriptions...||32868
  -
  E&xit|Alt+X|57665
&Edit
  &Mark read/unread|Space|32810
  &Delete news|Del|32811
  -
  &Channel properties||32813
  Add to favorities||32837
  Remove from favorities||32853
  -
  &Rename group||32812
&View
  Next unread news|Ctrl+U|32839
  Prev unread news||32838
  Search for news|Ctrl+F|32850
  Show only &unread|Ctrl+Shift+U|32871
  -
  &Arrange by
    &Read||32791
    Stat&e||32793
    &Title||32788
    &Date||32787
    &Category||32790
    A&uthor||32789
    &Source||32792
  &Columns
    &Read||32803
    Stat&e||32809
    &Date||32804
    &Category||32805
    &Author||32806
    &Source||32807
  -
  Reading pa&ne
    &Hide||32784
    &Right||32782
    &Bottom||32783
  Auto&Preview||32785
  Full &article|Ctrl+Shift+A|32872
  -
  &Listening bar||32874
  &Status bar||59393
  &Tool bar||59392
&Browse
  B&ack||32795
  &Forward||32796
  &Refresh||32797
&Listen
  &Listen|Ctrl+L|32873
  -
  &Play/pause|Ctrl+P|32876
  P&revious news|Ctrl+Shift+Up|32877
  &Next news|Ctrl+Shift+Down|32878
  &Back 15 seconds|Ctrl+Shift+Left|32879
  &Forward 30 seconds|Ctrl+Shift+Right|32880
&Tools
  &Update
    Update &channel|F5|32814
    Update &group|Ctrl+F5|32815
    Update &all groups|Ctrl+Shift+F5|32816
  -
  &Options||32771
&Help
  He&lp|F1|32800
  &Welcome||32869
  &Keyboard shortcuts|Ctrl+F1|32870
  &Check for new version||32801
  -
  &About Calvoria...||57664
)");

    // The menu's 52 commands, Enter's open in browser, the tray's restore and the five
    // commands only the news item's popup menu offers.
    EXPECT_EQ(table.ids().size(), 63);
    EXPECT_EQ(table.action(Command::OpenInBrowser)->shortcut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(table.action(Command::ShowWindow)->text().toStdString(), "Show Calvoria");
    QWidget window;
    table.addShortcutsTo(&window);
    std::map<std::string, Command> accelerators;
    for (QAction* act : window.actions())
        accelerators[act->shortcut().toString().toStdString()] = Command(act->data().toInt());
    EXPECT_EQ(accelerators,
              (std::map<std::string, Command>{{"Ctrl+Shift+F5", Command::UpdateAllGroups},
                                              {"F5", Command::UpdateChannel},
                                              {"Ctrl+F5", Command::UpdateGroup},
                                              {"Ctrl+N", Command::NewChannel},
                                              {"Ctrl+G", Command::NewGroup},
                                              {"Ctrl+F", Command::Search},
                                              {"Del", Command::DeleteNews},
                                              {"Ctrl+U", Command::NextUnread},
                                              {"Space", Command::MarkReadUnread},
                                              {"Return", Command::OpenInBrowser},
                                              {"F1", Command::Help},
                                              {"Ctrl+F1", Command::KeyboardShortcuts},
                                              {"Ctrl+Shift+U", Command::ShowOnlyUnread},
                                              {"Ctrl+Shift+A", Command::FullArticle},
                                              {"Ctrl+L", Command::Listen},
                                              {"Ctrl+P", Command::PlayPause},
                                              {"Ctrl+Shift+Up", Command::PreviousNews},
                                              {"Ctrl+Shift+Down", Command::NextNews},
                                              {"Ctrl+Shift+Left", Command::SkipBack},
                                              {"Ctrl+Shift+Right", Command::SkipForward},
                                              {"Alt+X", Command::Exit}}));

    EXPECT_EQ(table.action(Command::Search)->statusTip().toStdString(),
              "Search for specific word in all newsr");
    EXPECT_EQ(table.action(Command::Search)->toolTip().toStdString(), "Search");
    EXPECT_EQ(table.action(Command::Exit)->statusTip().toStdString(), "Quit the program");
    EXPECT_EQ(table.action(Command::Exit)->toolTip().toStdString(), "Exit");
    EXPECT_EQ(table.action(Command::AddToFavorites)->toolTip().toStdString(), "Add to Favorites");
    EXPECT_EQ(FindCommand(Command::DeleteNews)->owner, CommandOwner::NewsList);
    EXPECT_EQ(FindCommand(Command::UpdateAllGroups)->owner, CommandOwner::Document);
    EXPECT_EQ(FindCommand(Command::Search)->owner, CommandOwner::Frame);
    EXPECT_EQ(FindCommand(Command::Exit)->owner, CommandOwner::Application);
    EXPECT_EQ(FindCommand(Command(32849)), nullptr);
    for (Command id : table.ids()) {
        EXPECT_FALSE(table.action(id)->statusTip().isEmpty()) << CommandNumber(id);
        EXPECT_FALSE(table.action(id)->toolTip().isEmpty()) << CommandNumber(id);
    }
}

TEST(Commands, RouterAsksActiveViewThenOtherViewsThenFrameThenApplication)
{
    FakeTarget tree, list, frame, app;
    tree.handled = {{Command::ChannelProperties, {}}, {Command::Search, {}}};
    list.handled = {{Command::ChannelProperties, {}},
                    {Command::DeleteNews, {false, false}},
                    {Command::MarkReadUnread, {}}};
    frame.handled = {{Command::Search, {true, true}},
                     {Command::ReadingPaneRight, {true, true}},
                     {Command::Exit, {}}};
    app.handled = {{Command::Exit, {}}, {Command::About, {}}};

    CCommandTable table;
    CCommandRouter router;
    router.setApplication(&app);
    router.setFrame(&frame);
    router.addView(&tree);
    router.addView(&list);
    router.setActiveView(&tree);
    router.attach(&table);

    // A news-list command reaches the list while the tree is active; the active view
    // wins a command both views handle; views come before the frame, the frame before
    // the application.
    table.action(Command::MarkReadUnread)->trigger();
    table.action(Command::ChannelProperties)->trigger();
    table.action(Command::Search)->trigger();
    table.action(Command::Exit)->trigger();
    table.action(Command::About)->trigger();
    EXPECT_EQ(tree.ran, (QList<Command>{Command::ChannelProperties, Command::Search}));
    EXPECT_EQ(list.ran, (QList<Command>{Command::MarkReadUnread}));
    EXPECT_EQ(frame.ran, (QList<Command>{Command::Exit}));
    EXPECT_EQ(app.ran, (QList<Command>{Command::About}));

    router.setActiveView(&list);
    EXPECT_EQ(router.targetFor(Command::ChannelProperties), &list);

    // Updates come from the handling target; unhandled commands are disabled; a command
    // its target disables does not run, even by a key that arrives before the update.
    EXPECT_FALSE(router.route(Command::DeleteNews));
    router.updateActions();
    EXPECT_FALSE(table.action(Command::DeleteNews)->isEnabled());
    EXPECT_FALSE(table.action(Command::CheckForNewVersion)->isEnabled());
    EXPECT_TRUE(table.action(Command::ReadingPaneRight)->isChecked());
    EXPECT_FALSE(table.action(Command::Search)->isChecked()); // the tree answers it, not the frame
    EXPECT_TRUE(table.action(Command::MarkReadUnread)->isEnabled());
    EXPECT_TRUE(list.ran == QList<Command>{Command::MarkReadUnread});

    router.removeView(&list);
    EXPECT_EQ(router.targetFor(Command::MarkReadUnread), nullptr);
    EXPECT_EQ(router.targetFor(Command::ChannelProperties), &tree);
}

TEST(Commands, EveryCommandHasAPromptATipAndTheToolBarItsImage)
{
    for (const CommandEntry& entry : CommandEntries()) {
        EXPECT_FALSE(entry.prompt.empty()) << CommandNumber(entry.id);
        EXPECT_FALSE(entry.tip.empty()) << CommandNumber(entry.id);
        EXPECT_EQ(entry.prompt.find(u'\n'), std::u16string_view::npos) << CommandNumber(entry.id);
    }
    // The row menus' commands are described here too, but get no routed action.
    CCommandTable table;
    EXPECT_EQ(table.action(Command::RowDeleteGroup), nullptr);
    EXPECT_EQ(CCommandTable::text(Command::RowEnableConversion).toStdString(),
              "&Enable convertion to voice");
    EXPECT_EQ(CCommandTable::prompt(Command::RowDeleteGroup).toStdString(),
              "Delete this group and all its channels");
    EXPECT_EQ(CCommandTable::toolTip(Command::RowDeleteGroup).toStdString(), "Delete Group");

    std::vector<std::pair<int, int>> bar;
    for (const RssToolBarEntry& entry : CCommandTable::toolBarLayout())
        bar.emplace_back(entry.command, entry.image);
    const auto slot = [](Command id, int image) { return std::pair(CommandNumber(id), image); };
    const auto separator = slot(Command::None, -1);
    EXPECT_EQ(
        bar, (std::vector{slot(Command::NewChannel, 0), slot(Command::NewGroup, 1),
                          slot(Command::AddToFavorites, 2), separator,
                          slot(Command::UpdateAllGroups, 3), slot(Command::Synchronize, 4),
                          separator, slot(Command::PreviousUnread, 5), slot(Command::NextUnread, 6),
                          slot(Command::Search, 7), slot(Command::ShowOnlyUnread, 13), separator,
                          slot(Command::Back, 8), slot(Command::Forward, 9),
                          slot(Command::FullArticle, 14), slot(Command::Listen, 15), separator,
                          slot(Command::Options, 11), slot(Command::About, 12)}));
}
