#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CSyncDlg.h"
#include "CThemeColors.h"
#include "DeviceCopyStep.h"
#include "FakeSystem.h"
#include "FeedTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A feed tree with prepared news: "Daily" with two ready items and a deleted one, "Radio"
// with one ready item and one whose file is gone, "Quiet" with none.
struct PreparedNews
{
    explicit PreparedNews(FeedEnvironment& env) : root(CRssGroup::Create(&env.context, true))
    {
        AddChannel(env, u"Daily"_s,
                   {{u"Morning", 3000, true}, {u"Evening", 1000, true}, {u"Removed", 500, true}});
        AddChannel(env, u"Radio"_s, {{u"Show", 2000, true}, {u"Lost", 700, false}});
        AddChannel(env, u"Quiet"_s, {});
        items[0][2]->deleted = true;
    }
    struct Prepared
    {
        const char16_t* title;
        int size;
        bool file;
    };
    void AddChannel(FeedEnvironment& env, const QString& name, std::vector<Prepared> news)
    {
        CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(name, u"http://127.0.0.1/"_s + name);
        root->AddChild(channel.get());
        std::vector<CRefPtr<CRssItem>> made;
        for (const Prepared& one : news) {
            CRefPtr<CRssItem> item =
                CRssItem::Create(&env.context, QString::fromUtf16(one.title), name);
            channel->AddChild(item.get());
            item->SetState(RssItemState::Ready);
            if (one.file) {
                QFile file(item->Mp3File());
                EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << item->Mp3File().toStdString();
                file.write(QByteArray(one.size, 'x'));
            }
            made.push_back(item);
        }
        items.push_back(made);
    }
    CRefPtr<CRssGroup> root;
    std::vector<std::vector<CRefPtr<CRssItem>>> items;
};

// Two removable volumes mounted at folders of the test: "Acme Player" and a labelled card.
struct TwoDevices
{
    explicit TwoDevices(const QString& base) : system(base + u"/fake"_s)
    {
        player = base + u"/player"_s;
        card = base + u"/card"_s;
        QDir().mkpath(player);
        QDir().mkpath(card);
        system.Partition(u"pci0/usb1/1-2/host6/target6:0:0/6:0:0:0"_s, u"sdb"_s, u"sdb1"_s,
                         u"8:17"_s, false, u"Acme"_s, u"Player"_s);
        system.Partition(u"platform/mmc0"_s, u"mmcblk0"_s, u"mmcblk0p1"_s, u"179:1"_s, true);
        system.Link(u"by-label"_s, u"CARD"_s, u"mmcblk0p1"_s);
        system.Mounts("41 22 8:17 / " + player.toUtf8() + " rw - vfat /dev/sdb1 rw\n" +
                      "42 22 179:1 / " + card.toUtf8() + " rw - vfat /dev/mmcblk0p1 rw\n");
    }
    FakeSystem system;
    QString player, card;
};

template <class T> T* Child(QWidget* parent, const char* name)
{
    auto* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString Status(CSyncDlg& dialog)
{
    return Child<QLabel>(&dialog, "status")->text();
}

bool CopyEnabled(CSyncDlg& dialog)
{
    return Child<QPushButton>(&dialog, "copyButton")->isEnabled();
}

} // namespace

TEST(SyncDialog, NothingPreparedSaysSo)
{
    FeedEnvironment env;
    CThemeColors theme;
    CRefPtr<CRssGroup> root = CRssGroup::Create(&env.context, true);
    CSyncDlg dialog(CollectSyncRows(*root), *env.app.Prefs(), theme,
                    TwoDevices(env.home.Path()).system.Roots());
    EXPECT_EQ(dialog.Model().rowCount(), 0);
    EXPECT_EQ(Status(dialog), u"No any prepared news were found for coping. Please try again "
                              "later."_s);
    EXPECT_FALSE(CopyEnabled(dialog));
}

// The list, the device choice, the ticks and the status rules as a person meets them.
TEST(SyncDialog, ListsPreparedNewsAndTellsWhatStopsTheCopy)
{
    FeedEnvironment env;
    CThemeColors theme;
    PreparedNews news(env);
    TwoDevices devices(env.home.Path());
    CPreferences& prefs = *env.app.Prefs();
    prefs.Store().setValue(u"Options/DefaultDeviceName"_s, u"Gone Player"_s);
    prefs.Store().setValue(u"Options/DefaultDeviceFolder"_s, u"Music/News"_s);
    prefs.cleanDeviceFolder = false;

    CSyncDlg dialog(CollectSyncRows(*news.root), prefs, theme, devices.system.Roots());
    SyncListModel& model = dialog.Model();
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown << (model.IsHeading(row) ? u"# "_s : u""_s) + model.index(row, 0).data().toString();
    EXPECT_EQ(shown,
              (QStringList{u"# Daily"_s, u"Morning"_s, u"Evening"_s, u"# Radio"_s, u"Show"_s}));
    EXPECT_EQ(model.index(1, 2).data().toString(), u"2.9 KB"_s);

    // The remembered device is not here: none chosen, though two are offered.
    auto* box = Child<QComboBox>(&dialog, "deviceBox");
    EXPECT_EQ(box->count(), 2);
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_TRUE(Status(dialog).startsWith(u"Your default removable device was not found."_s));
    EXPECT_FALSE(CopyEnabled(dialog));
    EXPECT_FALSE(Child<QCheckBox>(&dialog, "cleanBox")->isChecked());
    EXPECT_TRUE(Child<QLabel>(&dialog, "existingFiles")->text().isEmpty());

    box->setCurrentIndex(1); // the card
    EXPECT_TRUE(dialog.Changed());
    EXPECT_TRUE(Child<QPushButton>(&dialog, "applyButton")->isEnabled());
    EXPECT_TRUE(Status(dialog).isEmpty());
    EXPECT_TRUE(CopyEnabled(dialog));
    EXPECT_EQ(Child<QLabel>(&dialog, "requiredSpace")->text(), u"5.9 KB"_s);

    // Headings take neither ticks nor selection.
    EXPECT_FALSE(model.setData(model.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(model.flags(model.index(3, 0)) & Qt::ItemIsSelectable);

    // Unticking one of two selected rows unticks both; then nothing is left to copy.
    auto* list = Child<QTableView>(&dialog, "newsList");
    list->selectionModel()->select(model.index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(model.index(4, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(model.index(4, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    list->clearSelection();
    list->setCurrentIndex(model.index(2, 0));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(Status(dialog), u"You do not select any news to copy."_s);
    EXPECT_FALSE(CopyEnabled(dialog));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(Child<QLabel>(&dialog, "requiredSpace")->text(), u"1000 bytes"_s);

    // A folder that climbs out of the device is refused.
    auto* folder = Child<QLineEdit>(&dialog, "folderEdit");
    EXPECT_EQ(folder->text(), u"Music/News"_s);
    folder->clear();
    QTest::keyClicks(folder, u"../../home"_s);
    EXPECT_TRUE(Status(dialog).contains(u".."_s));
    EXPECT_FALSE(CopyEnabled(dialog));

    // An empty folder is the device root; Copy remembers the device and the folder.
    folder->clear();
    QTest::keyClicks(folder, u"x"_s);
    QTest::keyClick(folder, Qt::Key_Backspace);
    Child<QCheckBox>(&dialog, "cleanBox")->click();
    Child<QPushButton>(&dialog, "copyButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultRoot(), devices.card);
    EXPECT_EQ(dialog.Folder(), QString());
    ASSERT_EQ(dialog.Ticked().size(), 1u);
    EXPECT_EQ(dialog.Ticked()[0]->item, news.items[0][1]);
    EXPECT_EQ(prefs.Store().value(u"Options/DefaultDeviceName"_s).toString(), u"CARD"_s);
    EXPECT_EQ(prefs.Store().value(u"Options/DefaultDeviceFolder"_s).toString(), QString());
    EXPECT_TRUE(prefs.cleanDeviceFolder);
}

TEST(SyncDialog, FitsWithOrWithoutCleaning)
{
    constexpr qint64 MB = 1 << 20;
    SyncSpace space{3, 1, true, {}, 8 * MB, 10 * MB, 5 * MB, false};
    EXPECT_TRUE(SyncFits(space));
    space.clean = true;
    EXPECT_TRUE(SyncFits(space));
    space.required = 12 * MB;
    EXPECT_TRUE(SyncFits(space));
    EXPECT_TRUE(SyncStatusText(space).isEmpty());
    space.clean = false;
    EXPECT_FALSE(SyncFits(space));
    EXPECT_EQ(SyncStatusText(space),
              u"Not enough space on removable device. Please uncheck some news."_s);
}

// The copy step moves the files, and the moved news show that their file is gone.
TEST(SyncCopy, MovedNewsShowTheirFileGone)
{
    FeedEnvironment env;
    PreparedNews news(env);
    TwoDevices devices(env.home.Path());
    const CRefPtr<CRssItem>& morning = news.items[0][0];
    const CRefPtr<CRssItem>& show = news.items[1][0];
    QDir().mkpath(devices.player + u"/News"_s);
    QFile old(devices.player + u"/News/old.mp3"_s);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();

    DeviceCopyRequest request;
    request.sync.root = devices.player;
    request.sync.folder = u"News"_s;
    request.sync.clean = true;
    request.sync.files = {morning->Mp3File(), show->Mp3File()};
    request.items = {morning, show};
    EXPECT_EQ(RunDeviceCopy(nullptr, request), 2);
    EXPECT_EQ(QDir(devices.player + u"/News"_s).entryList(QDir::Files),
              (QStringList{QFileInfo(morning->Mp3File()).fileName(),
                           QFileInfo(show->Mp3File()).fileName()}));
    EXPECT_EQ(morning->State(), RssItemState::FileMissing);
    EXPECT_EQ(show->State(), RssItemState::FileMissing);
    EXPECT_EQ(news.items[0][1]->State(), RssItemState::Ready);
}
