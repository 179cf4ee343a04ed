#include "CCommandRouter.h"
#include "CCommandTable.h"
#include "CommandTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <string>

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
    std::map<int, CommandState> handled;
    QList<int> ran;
    bool HandlesCommand(int id) const override { return handled.contains(id); }
    void RunCommand(int id) override { ran.append(id); }
    void UpdateCommand(int id, CommandState& state) override { state = handled.at(id); }
};

} // namespace

TEST(Commands, MainMenuAcceleratorsAndPromptsAreTheProgramsOwn)
{
    CCommandTable table;
    QMenuBar bar;
    table.buildMainMenu(&bar);
    QString menu;
    dump(bar.actions(), 0, menu);
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
  -
  &Status bar||59393
  &Tool bar||59392
&Browse
  B&ack||32795
  &Forward||32796
  &Refresh||32797
&Tools
  &Update
    Update &channel|F5|32814
    Update &group|Ctrl+F5|32815
    Update &all groups|Ctrl+Shift+F5|32816
  -
  &Options||32771
&Help
  He&lp|F1|32800
  &Check for new version||32801
  -
  &About Calvoria...||57664
)");

    // The menu's 45 commands, Enter's open in browser, the tray's restore and the five
    // commands only the news item's popup menu offers.
    EXPECT_EQ(table.ids().size(), 52);
    EXPECT_EQ(table.action(32851)->shortcut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(table.action(32848)->text().toStdString(), "Show Calvoria");
    QWidget window;
    table.addShortcutsTo(&window);
    std::map<std::string, int> accelerators;
    for (QAction* act : window.actions())
        accelerators[act->shortcut().toString().toStdString()] = act->data().toInt();
    EXPECT_EQ(accelerators, (std::map<std::string, int>{{"Ctrl+Shift+F5", 32816},
                                                        {"F5", 32814},
                                                        {"Ctrl+F5", 32815},
                                                        {"Ctrl+N", 32772},
                                                        {"Ctrl+G", 32775},
                                                        {"Ctrl+F", 32850},
                                                        {"Del", 32811},
                                                        {"Ctrl+U", 32839},
                                                        {"Space", 32810},
                                                        {"Return", 32851},
                                                        {"F1", 32800},
                                                        {"Alt+X", 57665}}));

    EXPECT_EQ(table.action(32850)->statusTip().toStdString(),
              "Search for specific word in all newsr");
    EXPECT_EQ(table.action(32850)->toolTip().toStdString(), "Search");
    EXPECT_EQ(table.action(57665)->statusTip().toStdString(), "Quit the program");
    EXPECT_EQ(table.action(57665)->toolTip().toStdString(), "Exit");
    EXPECT_EQ(table.action(32837)->toolTip().toStdString(), "Add to Favorites");
    EXPECT_EQ(FindCommand(32811)->owner, CommandOwner::NewsList);
    EXPECT_EQ(FindCommand(32816)->owner, CommandOwner::Document);
    EXPECT_EQ(FindCommand(32850)->owner, CommandOwner::Frame);
    EXPECT_EQ(FindCommand(57665)->owner, CommandOwner::Application);
    EXPECT_EQ(FindCommand(32849), nullptr);
    for (int id : table.ids()) {
        EXPECT_FALSE(table.action(id)->statusTip().isEmpty()) << id;
        EXPECT_FALSE(table.action(id)->toolTip().isEmpty()) << id;
    }
}

TEST(Commands, RouterAsksActiveViewThenOtherViewsThenFrameThenApplication)
{
    FakeTarget tree, list, frame, app;
    tree.handled = {{32813, {}}, {32850, {}}};
    list.handled = {{32813, {}}, {32811, {false, false}}, {32810, {}}};
    frame.handled = {{32850, {true, true}}, {32782, {true, true}}, {57665, {}}};
    app.handled = {{57665, {}}, {57664, {}}};

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
    table.action(32810)->trigger();
    table.action(32813)->trigger();
    table.action(32850)->trigger();
    table.action(57665)->trigger();
    table.action(57664)->trigger();
    EXPECT_EQ(tree.ran, (QList<int>{32813, 32850}));
    EXPECT_EQ(list.ran, (QList<int>{32810}));
    EXPECT_EQ(frame.ran, (QList<int>{57665}));
    EXPECT_EQ(app.ran, (QList<int>{57664}));

    router.setActiveView(&list);
    EXPECT_EQ(router.targetFor(32813), &list);

    // Updates come from the handling target; unhandled commands are disabled; a command
    // its target disables does not run, even by a key that arrives before the update.
    EXPECT_FALSE(router.route(32811));
    router.updateActions();
    EXPECT_FALSE(table.action(32811)->isEnabled());
    EXPECT_FALSE(table.action(32801)->isEnabled());
    EXPECT_TRUE(table.action(32782)->isChecked());
    EXPECT_FALSE(table.action(32850)->isChecked()); // the tree answers it, not the frame
    EXPECT_TRUE(table.action(32810)->isEnabled());
    EXPECT_TRUE(list.ran == QList<int>{32810});

    router.removeView(&list);
    EXPECT_EQ(router.targetFor(32810), nullptr);
    EXPECT_EQ(router.targetFor(32813), &tree);
}
