#include "RemovableDeviceList.h"
#include "FakeSystem.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

TEST(RemovableDevices, NamedByModelThenLabelThenUuidAndOnlyRemovableOnes)
{
    ScopedHome home;
    FakeSystem system(home.File(u"fake"_s));
    // A USB stick with its vendor and model, and a label it is not named by.
    system.Partition(u"pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0"_s,
                     u"sdb"_s, u"sdb1"_s, u"8:17"_s, false, u"Acme"_s, u"Flash Disk"_s);
    system.Link(u"by-label"_s, u"STICK"_s, u"sdb1"_s);
    // A card in a built-in reader: removable, no model, a label with a blank.
    system.Partition(u"platform/mmc0"_s, u"mmcblk0"_s, u"mmcblk0p1"_s, u"179:1"_s, true);
    system.Link(u"by-label"_s, u"MY\\x20MUSIC"_s, u"mmcblk0p1"_s);
    // Another card without label but with a file-system UUID; a third with neither.
    system.Partition(u"platform/mmc1"_s, u"mmcblk1"_s, u"mmcblk1p1"_s, u"179:9"_s, true);
    system.Link(u"by-uuid"_s, u"1A2B-3C4D"_s, u"mmcblk1p1"_s);
    system.Partition(u"platform/mmc2"_s, u"mmcblk2"_s, u"mmcblk2p1"_s, u"179:17"_s, true);
    // The system disk is never offered.
    system.Partition(u"pci0000:00/0000:00:17.0/ata1"_s, u"sda"_s, u"sda1"_s, u"8:1"_s, false);
    system.Mounts("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                  "30 22 0:25 / /tmp rw - tmpfs tmpfs rw\n"
                  "41 22 8:17 / /media/me/STICK rw - vfat /dev/sdb1 rw\n"
                  "42 22 179:1 / /media/me/MY\\040MUSIC rw - vfat /dev/mmcblk0p1 rw\n"
                  "43 22 179:9 / /media/me/1A2B-3C4D rw - vfat /dev/mmcblk1p1 rw\n"
                  "44 22 179:17 / /media/me/card rw - vfat /dev/mmcblk2p1 rw\n"
                  "45 22 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
                  "garbage\n");

    // Phones and cameras the desktop mounted (GVfs), by the names it shows; a network share
    // mounted there too is no device.
    for (const QString& folder : {u"mtp:host=Google_Pixel_7_2A1B3C4D5E"_s,
                                  u"gphoto2:host=Canon%20Inc._Canon_EOS_R6"_s,
                                  u"smb-share:server=nas,share=music"_s})
        ASSERT_TRUE(QDir().mkpath(system.Roots().gvfs + u'/' + folder));

    RemovableDeviceList list(system.Roots());
    list.Refresh();
    ASSERT_EQ(list.Count(), 6) << "the system disk, tmpfs, the second mount and the share are left out";
    struct Expected { const char16_t* root; const char16_t* name; const char16_t* key; };
    const Expected expected[] = {
        {u"/media/me/STICK", u"Acme Flash Disk", u"Acme Flash Disk"},
        {u"/media/me/MY MUSIC", u"MY MUSIC", u"MY MUSIC"},
        {u"/media/me/1A2B-3C4D", u"Removable disk", u"*1A2B-3C4D"},
        {u"/media/me/card", u"Removable disk", u"*/media/me/card"},
        {u"/gvfs/gphoto2:host=Canon%20Inc._Canon_EOS_R6", u"Canon Inc. Canon EOS R6",
         u"Canon Inc. Canon EOS R6"},
        {u"/gvfs/mtp:host=Google_Pixel_7_2A1B3C4D5E", u"Google Pixel 7", u"Google Pixel 7"},
    };
    int i = 0;
    while (const RemovableDevice* device = list.Next()) {
        const QString root = QString::fromUtf16(expected[i].root);
        EXPECT_EQ(device->root, root.startsWith(u"/gvfs/"_s) ? home.File(u"fake"_s) + root : root)
            << i;
        EXPECT_EQ(device->name, QString::fromUtf16(expected[i].name)) << i;
        EXPECT_EQ(device->key, QString::fromUtf16(expected[i].key)) << i;
        ++i;
    }
    EXPECT_EQ(i, 6);
    EXPECT_EQ(list.Next(), nullptr);

    EXPECT_GT(RemovableDeviceList::GetFreeSpace(home.File(u"fake"_s)), 0);
    EXPECT_EQ(RemovableDeviceList::GetFreeSpace(home.File(u"no/such/place"_s)), 0);
}

// The kernel's own mount table has no size: it is read to its end all the same.
TEST(RemovableDevices, ReadsTheSystemsOwnMountTable)
{
    EXPECT_TRUE(RemovableDeviceList::IsMountPoint(u"/"_s));
    EXPECT_TRUE(RemovableDeviceList::IsMountPoint(u"/proc/self/.."_s));
    EXPECT_FALSE(RemovableDeviceList::IsMountPoint(QDir::homePath() + u"/no/such/place"_s));
}

} // namespace
