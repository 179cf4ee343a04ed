#include "CPreferences.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtEndian>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

class PreferencesTest : public ::testing::Test
{
protected:
    ScopedHome home;
    ScopedLog log;
    QString settingsFile = home.File(u"settings.ini"_s);
    QString programFolder = home.File(u"prog/bin/"_s);

    std::unique_ptr<QSettings> Store() const
    {
        return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
    }
    std::unique_ptr<CPreferences> Loaded() const
    {
        auto prefs = std::make_unique<CPreferences>(Store(), programFolder);
        prefs->Load(false);
        return prefs;
    }
    void StoreValue(const QString& key, const QVariant& value) const
    {
        auto s = Store();
        s->setValue(key, value);
        s->sync();
    }
    QVariant StoredValue(const QString& key) const { return Store()->value(key); }
};

QByteArray DefaultRecordByHand()
{
    QByteArray b(56, '\0');
    const qint32 ints[] = {6, 2, 2, 2000, 0, -4, 15, 0, 3, 15};
    for (int i = 0; i < 10; ++i)
        qToLittleEndian<qint32>(ints[i], b.data() + 4 * i);
    for (int i = 40; i < 48; ++i)
        b[i] = 1;
    qToLittleEndian<qint32>(200, b.data() + 48);
    qToLittleEndian<qint32>(4, b.data() + 52);
    return b;
}

} // namespace

TEST_F(PreferencesTest, DefaultRecordHasTheStoredLayout)
{
    CPreferences prefs(Store(), programFolder);
    EXPECT_EQ(prefs.ToRecord(), DefaultRecordByHand());
}

TEST_F(PreferencesTest, EveryFieldSurvivesSaveAndLoad)
{
    {
        CPreferences prefs(Store(), programFolder);
        prefs.previewLines = 9;
        prefs.readingPanePosition = 1;
        prefs.markReadDelayMs = 5000;
        prefs.colorTheme = 2;
        prefs.sortOrder = 3;
        prefs.checkIntervalMinutes = 45;
        prefs.popupSeconds = 7;
        prefs.showNewsPopup = false;
        prefs.cleanDeviceFolder = false;
        prefs.showTimeSince = false;
        prefs.removeOldVoice = false;
        prefs.newsPerChannel = 10;
        prefs.voiceMaxAgeDays = 30;
        prefs.SetReadingStyle(u"Compact.xsl"_s);
        prefs.SaveAll();
    }
    const QByteArray stored = StoredValue(u"Options/Main"_s).toByteArray();
    ASSERT_EQ(stored.size(), 56);
    EXPECT_EQ(qFromLittleEndian<qint32>(stored.constData() + 20), 3);
    EXPECT_EQ(stored[40], 0);
    EXPECT_EQ(stored[41], 1);

    auto prefs = Loaded();
    EXPECT_EQ(prefs->ToRecord(), stored);
    EXPECT_EQ(prefs->checkIntervalMinutes, 45);
    EXPECT_EQ(prefs->ReadingStyle(), u"Compact.xsl"_s);
    EXPECT_TRUE(log.Contains(u"Saving preferences"_s));
}

TEST_F(PreferencesTest, RecordOfWrongSizeOrVersionLeavesDefaults)
{
    struct Case {
        QByteArray record;
        const char16_t* line;
    };
    QByteArray version5 = DefaultRecordByHand();
    qToLittleEndian<qint32>(5, version5.data());
    version5[40] = 0;
    QByteArray longer = DefaultRecordByHand() + '\0';
    longer[40] = 0;
    const Case cases[] = {{DefaultRecordByHand().left(55), u"Prefernces does not exist"},
                          {longer, u"Prefernces does not exist"},
                          {QByteArray(), u"Prefernces does not exist"},
                          {QByteArray(4000, 'x'), u"Prefernces does not exist"},
                          {version5, u"Version of prefernces is incorrect"}};
    for (const Case& c : cases) {
        const QString line = QString::fromUtf16(c.line);
        const qsizetype before = log.Lines().count(line);
        StoreValue(u"Options/Main"_s, c.record);
        auto prefs = Loaded();
        EXPECT_EQ(prefs->ToRecord(), DefaultRecordByHand()) << c.record.size();
        EXPECT_EQ(log.Lines().count(line), before + 1) << c.record.size();
    }
}

TEST_F(PreferencesTest, MissingEntryLogsOnceAndKeepsDefaults)
{
    auto prefs = Loaded();
    EXPECT_EQ(prefs->ToRecord(), DefaultRecordByHand());
    EXPECT_TRUE(log.Contains(u"Prefernces does not exist"_s));
    EXPECT_EQ(prefs->ReadingStyle(), u"Default.xsl"_s);
}

TEST_F(PreferencesTest, PreviewLinesOutOfRangeLoadAsTwo)
{
    for (qint32 lines : {0, 10, -1, 1 << 30}) {
        QByteArray record = DefaultRecordByHand();
        qToLittleEndian<qint32>(lines, record.data() + 4);
        StoreValue(u"Options/Main"_s, record);
        EXPECT_EQ(Loaded()->previewLines, 2) << lines;
    }
    QByteArray record = DefaultRecordByHand();
    qToLittleEndian<qint32>(9, record.data() + 4);
    StoreValue(u"Options/Main"_s, record);
    EXPECT_EQ(Loaded()->previewLines, 9);
}

TEST_F(PreferencesTest, EveryNumberOutsideItsRangeLoadsAsItsDefault)
{
    struct Field
    {
        int offset;
        qint32 fallback;
        std::vector<qint32> kept, refused;
    };
    const qint32 lowest = std::numeric_limits<qint32>::min();
    const Field fields[] = {
        {4, 2, {1, 9}, {0, 10, -1, lowest}},                     // previewLines
        {8, 2, {0, 1}, {-1, 3}},                                 // readingPanePosition
        {12, 2000, {1000, 86400000}, {0, -1000, 999, 86400001}}, // markReadDelayMs
        {16, 0, {1, 3}, {-1, 4}},                                // colorTheme
        {20, -4, {1, 7, -1, -7}, {0, 8, -8, lowest}},            // sortOrder
        {24, 15, {1, 527040}, {0, -5, 527041}},                  // checkIntervalMinutes
        {36, 15, {1, 3600}, {0, 3601}},                          // popupSeconds
        {48, 200, {1, 100000}, {0, -1, 100001}},                 // newsPerChannel
        {52, 4, {1, 36500}, {0, -1, lowest, 36501}},             // voiceMaxAgeDays
    };
    for (const Field& field : fields) {
        for (const bool inRange : {true, false}) {
            for (const qint32 value : inRange ? field.kept : field.refused) {
                QByteArray record = DefaultRecordByHand();
                qToLittleEndian<qint32>(value, record.data() + field.offset);
                record[45] = 0; // a byte field read along, to show the record was taken
                StoreValue(u"Options/Main"_s, record);
                const QByteArray loaded = Loaded()->ToRecord();
                ASSERT_EQ(loaded.size(), 56);
                EXPECT_EQ(qFromLittleEndian<qint32>(loaded.constData() + field.offset),
                          inRange ? value : field.fallback)
                    << "offset " << field.offset << " value " << value;
                QByteArray others = loaded, storedOthers = record;
                others.remove(field.offset, 4);
                storedOthers.remove(field.offset, 4);
                EXPECT_EQ(others, storedOthers) << "offset " << field.offset;
            }
        }
    }
    EXPECT_TRUE(log.Contains(u"Preference newsPerChannel 0 is out of range, 200 is used"_s));
}

TEST_F(PreferencesTest, TypedRootsStartAtHomeAndRemoteImagesHaveTheirOwnEntry)
{
    const QString home = QDir::homePath();
    EXPECT_EQ(CPreferences::ResolveTypedRoot(u" News "_s), home + u"/News/"_s);
    EXPECT_EQ(CPreferences::ResolveTypedRoot(u"~/a/../News"_s), home + u"/News/"_s);
    EXPECT_EQ(CPreferences::ResolveTypedRoot(u"~"_s), home + u'/');
    EXPECT_EQ(CPreferences::ResolveTypedRoot(u"/srv/news"_s), u"/srv/news/"_s);
    EXPECT_EQ(CPreferences::ResolveTypedRoot(u"  "_s), QString());

    auto prefs = Loaded();
    EXPECT_TRUE(prefs->LoadRemoteImages()) << "on unless the person turns it off";
    prefs->SetLoadRemoteImages(false);
    prefs->SaveAll();
    EXPECT_EQ(StoredValue(u"Options/Main"_s).toByteArray().size(), 56);
    EXPECT_FALSE(Loaded()->LoadRemoteImages());
}

TEST_F(PreferencesTest, TheAnnouncerHasItsOwnEntryAndAnythingElseStoredMeansPopups)
{
    using Announcer = CPreferences::NewsAnnouncer;
    EXPECT_EQ(Loaded()->AnnounceNewsWith(), Announcer::Popups);
    {
        auto prefs = Loaded();
        prefs->SetAnnounceNewsWith(Announcer::DesktopNotifications);
        prefs->SaveAll();
    }
    EXPECT_EQ(StoredValue(u"Options/Main"_s).toByteArray().size(), 56);
    EXPECT_EQ(Loaded()->AnnounceNewsWith(), Announcer::DesktopNotifications);
    for (const QVariant& bad : {QVariant(2), QVariant(-1), QVariant(u"desktop"_s), QVariant(u""_s),
                                QVariant(QByteArray("\x01"))}) {
        StoreValue(u"Options/AnnounceNews"_s, bad);
        EXPECT_EQ(Loaded()->AnnounceNewsWith(), Announcer::Popups) << bad.toString().toStdString();
    }
}

TEST_F(PreferencesTest, CorruptSettingsFileGivesDefaults)
{
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += char((i * 7919) % 256);
    garbage += "\n[Options]\nMain=@ByteArray(\\x\nRoot=\n";
    ASSERT_TRUE(WriteFile(settingsFile, garbage));
    auto prefs = Loaded();
    EXPECT_EQ(prefs->ToRecord(), DefaultRecordByHand());
}

TEST_F(PreferencesTest, EmptyRootBecomesTheUserDataFolderAndIsStored)
{
    auto prefs = Loaded();
    const QString expected = home.File(u"data/Calvoria/"_s);
    EXPECT_EQ(prefs->DataRoot(), expected);
    EXPECT_EQ(StoredValue(u"Options/Root"_s).toString(), expected);
    for (const QString& folder : {prefs->FeedsFolder(), prefs->VoiceFolder(), prefs->Mp3Folder()})
        EXPECT_TRUE(QDir(folder).exists()) << folder.toStdString();
    EXPECT_EQ(prefs->FeedsFolder(), expected + u"Feeds/"_s);
    EXPECT_EQ(prefs->StylesFolder(), programFolder + u"../Options/"_s);
    EXPECT_TRUE(log.Contains(u"Root dir '"_s + expected + u"'"_s));
}

TEST_F(PreferencesTest, DefaultRootThatCannotBeMadeLeavesTheRootEmpty)
{
    ASSERT_TRUE(WriteFile(home.File(u"file"_s), "x"));
    ScopedEnv data("XDG_DATA_HOME", home.File(u"file/data"_s).toUtf8());
    auto prefs = Loaded();
    EXPECT_TRUE(prefs->DataRoot().isEmpty());
    EXPECT_FALSE(StoredValue(u"Options/Root"_s).isValid());
}

TEST_F(PreferencesTest, ChangeRootToAFolderThatCannotBeMadeKeepsTheOldRoot)
{
    auto prefs = Loaded();
    const QString old = prefs->DataRoot();
    ASSERT_TRUE(WriteFile(home.File(u"file"_s), "x"));
    EXPECT_FALSE(prefs->ChangeRoot(home.File(u"file/news"_s)));
    EXPECT_EQ(prefs->DataRoot(), old);
    EXPECT_EQ(StoredValue(u"Options/Root"_s).toString(), old);
}

TEST_F(PreferencesTest, ChangeRootAddsTheSlashAndMakesEveryFolder)
{
    auto prefs = Loaded();
    const QString root = home.File(u"deep/new/root"_s);
    EXPECT_TRUE(prefs->ChangeRoot(root));
    EXPECT_EQ(prefs->DataRoot(), root + u'/');
    EXPECT_EQ(StoredValue(u"Options/Root"_s).toString(), root + u'/');
    EXPECT_TRUE(QDir(root + u"/MP3"_s).exists());
    EXPECT_TRUE(Loaded()->DataRoot() == root + u'/') << "a stored root is used as it is";
}

TEST_F(PreferencesTest, AlternativeBrowserRequestedButMissingFallsBack)
{
    StoreValue(u"Options/Browser"_s, 1);
    auto prefs = Loaded();
    EXPECT_EQ(prefs->BrowserClassId(), CPreferences::WebBrowserClassId);
    EXPECT_EQ(log.Lines().count(u"*ERROR: Requested to use FireFox, but FireFox not installed"_s), 1);

    auto withControl = std::make_unique<CPreferences>(Store(), programFolder);
    withControl->Load(true);
    EXPECT_EQ(withControl->BrowserClassId(), CPreferences::AlternativeBrowserClassId);
}
