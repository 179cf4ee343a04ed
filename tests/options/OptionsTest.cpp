#include "CDataFolderLock.h"
#include "CPreferences.h"
#include "CRSSFeedOptions.h"
#include "CRSSGeneralOptions.h"
#include "CRSSPropSht.h"
#include "CRSSVisualOptions.h"
#include "CRSSVoiceOptions.h"
#include "CRssReaderDoc.h"
#include "CSpeechSynth.h"
#include "CThemeColors.h"
#include "FeedTestSupport.h"
#include "IFrameServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The frame as the pages see it: what they ask of it is noted.
class FrameRecord : public IFrameServices
{
public:
    bool OpenInBrowser(const QString&) override { return false; }
    bool BrowseForFolder(QString&) override { return false; }
    void HideSearchBarIfVisible() override {}
    CRssHeader* RightSideHeader() const override { return nullptr; }
    CThemeColors& Theme() const override { return theme; }
    void ApplyOptions(const OptionChanges& changed) override
    {
        applied << QList<bool>{changed.preview, changed.layout, changed.theme, changed.buttons};
    }
    mutable CThemeColors theme;
    QList<QList<bool>> applied;
};

template <class T>
T* Child(QWidget* parent, const char* name)
{
    auto* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Answers the next message box and notes its text.
QString AnswerNextMessage()
{
    auto text = std::make_shared<QString>();
    QTimer::singleShot(0, [text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
        }
    });
    QApplication::processEvents();
    return *text;
}

// Clicks the button of that text in the next message box, and notes the box's text.
void ClickInNextMessage(const QString& button, QString* text)
{
    QTimer::singleShot(0, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        *text = box->text();
        for (QAbstractButton* candidate : box->buttons())
            if (candidate->text().remove(u'&') == button)
                candidate->click();
    });
}

QStringList Names(CRssGroup& group)
{
    QStringList names;
    for (const CRefPtr<CRssNode>& node : group.ChildrenSnapshot())
        if (auto* channel = NodeCast<CRssChannel>(node.get()))
            names << channel->Name();
    return names;
}

class Options : public ::testing::Test
{
protected:
    FeedEnvironment env;
    FrameRecord frame;
    CPreferences& prefs = *env.app.Prefs();
};

TEST_F(Options, NewsPageCorrectsAndRefusesAsThePersonIsTold)
{
    CRSSPropSht sheet;
    auto* page = new CRSSFeedOptions(env.app, frame);
    sheet.AddPage(page, u"RSS News"_s);
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    // Ten preview lines: the sheet says what is allowed and keeps the value.
    Child<QSpinBox>(page, "previewLines")->setValue(10);
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    QString message;
    QTimer::singleShot(0, [&] { message = AnswerNextMessage(); });
    EXPECT_FALSE(sheet.ApplyAll());
    EXPECT_EQ(message, u"Please enter an integer between 1 and 9."_s);
    EXPECT_EQ(Child<QSpinBox>(page, "previewLines")->value(), 10);
    EXPECT_EQ(prefs.previewLines, 2);

    // A check interval of 0 becomes 15; the time display change is told to the views, the
    // preview change to the frame.
    Child<QSpinBox>(page, "previewLines")->setValue(4);
    Child<QLineEdit>(page, "checkInterval")->setText(u"0"_s);
    page->findChild<QCheckBox*>()->click(); // "Show time since news is published"
    env.ClearNotifications();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(Child<QLineEdit>(page, "checkInterval")->text(), u"15"_s);
    EXPECT_EQ(prefs.checkIntervalMinutes, 15);
    EXPECT_EQ(prefs.previewLines, 4);
    EXPECT_FALSE(prefs.showTimeSince);
    EXPECT_EQ(env.Count(RssEvent::TimeDisplayChanged), 1);
    EXPECT_EQ(frame.applied, (QList<QList<bool>>{{true, false, false, false}}));
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

    // The stored record holds what was applied.
    CPreferences reread(std::make_unique<QSettings>(env.home.File(u"settings.ini"_s),
                                                    QSettings::IniFormat),
                        env.app.ProgramFolder());
    reread.Load(false);
    EXPECT_EQ(reread.previewLines, 4);
    EXPECT_EQ(reread.checkIntervalMinutes, 15);
}

TEST_F(Options, AppearanceTellsTheFrameOnlyWhatChanged)
{
    ASSERT_TRUE(QDir().mkpath(prefs.StylesFolder()));
    for (const char* name : {"Compact.xsl", "Default.xsl"}) {
        QFile style(prefs.StylesFolder() + QLatin1String(name));
        ASSERT_TRUE(style.open(QIODevice::WriteOnly));
    }
    prefs.SetReadingStyle(u"Default"_s);
    CRSSPropSht sheet;
    auto* page = new CRSSVisualOptions(env.app, frame);
    sheet.AddPage(page, u"Appearance"_s);
    auto* style = Child<QComboBox>(page, "readingStyle");
    EXPECT_EQ(style->currentText(), u"Default.xsl"_s);

    // Only the style: the reading pane is told, the frame changes nothing.
    style->setCurrentIndex(0);
    env.ClearNotifications();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(prefs.ReadingStyle(), u"Compact.xsl"_s);
    EXPECT_EQ(env.Count(RssEvent::StyleChanged), 1);
    EXPECT_EQ(frame.applied.last(), (QList<bool>{false, false, false, false}));

    // No reading panel, the Olive theme, small buttons: three flags.
    Child<QCheckBox>(page, "showReadingPanel")->click();
    for (QAbstractButton* radio : page->findChildren<QAbstractButton*>())
        if (radio->text() == u"XP &Olive"_s || radio->text() == u"S&mall buttons"_s)
            radio->click();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(prefs.readingPanePosition, 0);
    EXPECT_EQ(prefs.colorTheme, 2);
    EXPECT_FALSE(prefs.largeButtons);
    EXPECT_EQ(frame.applied.last(), (QList<bool>{false, true, true, true}));

    // Remote images, on at first: off is stored in an entry of its own, and the reading
    // pane shows its page again without them.
    auto* remote = Child<QCheckBox>(page, "loadRemoteImages");
    EXPECT_TRUE(remote->isChecked());
    remote->click();
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    env.ClearNotifications();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_FALSE(prefs.LoadRemoteImages());
    EXPECT_EQ(env.Count(RssEvent::StyleChanged), 1);
    EXPECT_EQ(frame.applied.last(), (QList<bool>{false, false, false, false}));
    QSettings stored(env.home.File(u"settings.ini"_s), QSettings::IniFormat);
    EXPECT_EQ(stored.value(u"Options/LoadRemoteImages"_s).toBool(), false);
    EXPECT_EQ(stored.value(u"Options/Main"_s).toByteArray().size(), 56);
}

TEST_F(Options, TheAnnouncerChoiceIsStoredAndShownAgain)
{
    const auto openGeneral = [&](CRSSPropSht& sheet) {
        auto* page = new CRSSGeneralOptions(prefs, frame, {});
        sheet.AddPage(page, u"General"_s);
        return page;
    };
    {
        CRSSPropSht sheet;
        QWidget* page = openGeneral(sheet);
        EXPECT_TRUE(Child<QRadioButton>(page, "announcePopups")->isChecked());
        Child<QRadioButton>(page, "announceDesktop")->click();
        EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
        ASSERT_TRUE(sheet.ApplyAll());
    }
    EXPECT_EQ(prefs.AnnounceNewsWith(), CPreferences::NewsAnnouncer::DesktopNotifications);
    QSettings stored(env.home.File(u"settings.ini"_s), QSettings::IniFormat);
    EXPECT_EQ(stored.value(u"Options/AnnounceNews"_s).toInt(), 1);
    CRSSPropSht again;
    QWidget* page = openGeneral(again);
    EXPECT_TRUE(Child<QRadioButton>(page, "announceDesktop")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(page, "announcePopups")->isChecked());
}

TEST_F(Options, TheDataFolderMovesWithTheNewsAndItsLock)
{
    CRssReaderDoc doc(env.context);
    ASSERT_TRUE(doc.LoadNews());
    CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
    channel->SetNameAndUrl(u"Desk"_s, u"http://news.example/rss"_s);
    doc.RootGroup().AddChild(channel.get());
    const QString oldRoot = prefs.DataRoot();
    const QString newRoot = env.home.File(u"elsewhere/"_s);
    QFile ready(prefs.Mp3Folder() + u"ready.mp3"_s);
    ASSERT_TRUE(ready.open(QIODevice::WriteOnly));
    ready.write("audio");
    ready.close();

    CRSSPropSht sheet;
    auto* page = new CRSSGeneralOptions(
        prefs, frame, [&](const QString& path, DataRootChange change, QString* error) {
            return doc.ChangeDataRoot(path, change, error);
        });
    sheet.AddPage(page, u"General"_s);
    Child<QLineEdit>(page, "dataFolder")->setText(newRoot);
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(QDir(prefs.DataRoot()), QDir(newRoot));
    EXPECT_TRUE(QFile::exists(newRoot + u"data.opml"_s));
    EXPECT_TRUE(QFile::exists(channel->FilePath()));
    EXPECT_TRUE(channel->FilePath().startsWith(prefs.FeedsFolder()));
    EXPECT_TRUE(QFile::exists(newRoot + u"MP3/ready.mp3"_s)) << "the prepared audio goes along";
    EXPECT_FALSE(QFile::exists(oldRoot + u"MP3/ready.mp3"_s));
    CDataFolderLock other;
    EXPECT_FALSE(other.Acquire(newRoot)) << "the program holds its new folder";
    EXPECT_TRUE(other.Acquire(oldRoot)) << "and let go of the old one";
    other.Release();

    // A folder that cannot be made keeps the root where it is, and the person is told.
    Child<QLineEdit>(page, "dataFolder")->setText(u"/proc/no/such/folder"_s);
    QString message;
    QTimer::singleShot(0, [&] { message = AnswerNextMessage(); });
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_TRUE(message.startsWith(u"Cannot create the folder '/proc/no/such/folder'."_s))
        << message.toStdString();
    EXPECT_EQ(QDir(prefs.DataRoot()), QDir(newRoot));
    EXPECT_EQ(QDir(Child<QLineEdit>(page, "dataFolder")->text()), QDir(newRoot));
    doc.CloseNews();

    // Starting at log-in is the autostart entry itself: ticked and applied, it is written;
    // a sheet opened later shows the file as it is, a switched-off entry unticked.
    const QString entry = env.home.File(u"config/autostart/org.calvoria.calvoria.desktop"_s);
    auto* autostart = Child<QCheckBox>(page, "autostart");
    EXPECT_FALSE(autostart->isChecked());
    autostart->click();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_TRUE(ReadFile(entry).contains(
        "\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + " --hidden\n"));
    const auto openedBox = [&] {
        auto* sheet = new CRSSPropSht;
        auto* page = new CRSSGeneralOptions(prefs, frame, {});
        sheet->AddPage(page, u"General"_s);
        return std::pair{std::unique_ptr<CRSSPropSht>(sheet), Child<QCheckBox>(page, "autostart")};
    };
    ASSERT_TRUE(WriteFile(entry, "[Desktop Entry]\nExec=calvoria\nHidden=true\n"));
    EXPECT_FALSE(openedBox().second->isChecked());
    ASSERT_TRUE(WriteFile(entry, "[Desktop Entry]\nExec=calvoria\n"));
    auto [later, box] = openedBox();
    EXPECT_TRUE(box->isChecked());
    box->click();
    ASSERT_TRUE(later->ApplyAll());
    EXPECT_FALSE(QFile::exists(entry));

    // When the entry cannot be written the person is told why, and the box stays clear.
    const QString folder = env.home.File(u"config/autostart"_s);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(WriteFile(folder, "a file where the folder goes"));
    box->click();
    QTimer::singleShot(0, [&] { message = AnswerNextMessage(); });
    ASSERT_TRUE(later->ApplyAll());
    EXPECT_EQ(
        message,
        u"Calvoria cannot start when you log in.\nCannot create the folder '%1'."_s.arg(folder));
    EXPECT_FALSE(box->isChecked());
}

TEST_F(Options, AFolderHoldingNewsIsTakenOnlyWhenThePersonSaysSoAndNumbersMustKeepSomething)
{
    CRssReaderDoc doc(env.context);
    ASSERT_TRUE(doc.LoadNews());
    CRefPtr<CRssChannel> mine = CRssChannel::Create(&env.context);
    mine->SetNameAndUrl(u"Mine"_s, u"http://mine.example/rss"_s);
    doc.RootGroup().AddChild(mine.get());
    const QString oldRoot = prefs.DataRoot();
    // Typed relative to nothing in particular: it means the home folder's "News".
    const QString theirs = QDir::homePath() + u"/News/"_s;
    const QByteArray theirOpml = R"(<opml version="1.0"><head/><body>
    <outline type="rss" text="Theirs" xmlUrl="http://theirs.example/rss"/>
  </body></opml>)";
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_TRUE(WriteFile(theirs + u"data.opml"_s, theirOpml));

    CRSSPropSht sheet;
    auto* page = new CRSSGeneralOptions(
        prefs, frame, [&](const QString& path, DataRootChange change, QString* error) {
            return doc.ChangeDataRoot(path, change, error);
        });
    sheet.AddPage(page, u"General"_s);
    auto* folder = Child<QLineEdit>(page, "dataFolder");

    // Cancelled: nothing changes, here or there.
    folder->setText(u"News"_s);
    QString question;
    ClickInNextMessage(u"Cancel"_s, &question);
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(question, u"'%1' already holds Calvoria news."_s.arg(QDir::cleanPath(theirs)));
    EXPECT_EQ(prefs.DataRoot(), oldRoot);
    EXPECT_EQ(folder->text(), oldRoot);
    EXPECT_EQ(Names(doc.RootGroup()), QStringList{u"Mine"_s});
    EXPECT_EQ(ReadFile(theirs + u"data.opml"_s), theirOpml);
    EXPECT_TRUE(QDir(theirs).entryList({u"data-*.opml"_s}).isEmpty());

    // Taken: the person's news are saved where they were, the folder's own are read, and
    // its data.opml is first kept under a dated name.
    folder->setText(u"~/News"_s);
    question.clear();
    ClickInNextMessage(u"Use That Folder's News"_s, &question);
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_FALSE(question.isEmpty());
    EXPECT_EQ(prefs.DataRoot(), theirs);
    EXPECT_EQ(folder->text(), theirs) << "the edit shows where the news are";
    EXPECT_EQ(Names(doc.RootGroup()), QStringList{u"Theirs"_s});
    EXPECT_GE(env.Count(RssEvent::TreeChanged), 1);
    EXPECT_TRUE(ReadFile(oldRoot + u"data.opml"_s).contains("text=\"Mine\""));
    const QStringList copies = QDir(theirs).entryList({u"data-*.opml"_s});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0], u"data-%1.opml"_s.arg(QDateTime::fromSecsSinceEpoch(env.Now()).toString(
                             u"yyyyMMdd-HHmmss"_s)));
    EXPECT_EQ(ReadFile(theirs + copies[0]), theirOpml);
    CDataFolderLock other;
    EXPECT_FALSE(other.Acquire(theirs)) << "the program holds the folder it uses";
    EXPECT_TRUE(other.Acquire(oldRoot)) << "and let go of the one it left";
    other.Release();
    CPreferences reread(
        std::make_unique<QSettings>(env.home.File(u"settings.ini"_s), QSettings::IniFormat),
        env.app.ProgramFolder());
    reread.Load(false);
    EXPECT_EQ(reread.DataRoot(), theirs) << "and the next start uses it too";

    // No news kept, or voice files of no age, would delete them all: the person is asked
    // for a number that keeps some, and nothing is stored meanwhile.
    const auto refused = [&](const char* edit, const QString& text) {
        Child<QLineEdit>(page, edit)->setText(text);
        QString message;
        QTimer::singleShot(0, [&] { message = AnswerNextMessage(); });
        EXPECT_FALSE(sheet.ApplyAll()) << edit;
        return message;
    };
    EXPECT_EQ(refused("newsPerChannel", u"0"_s),
              u"Please enter an integer between 1 and 100000."_s);
    EXPECT_EQ(prefs.newsPerChannel, 200);
    Child<QLineEdit>(page, "newsPerChannel")->setText(u"50"_s);
    EXPECT_EQ(refused("voiceMaxAgeDays", u"0"_s),
              u"Please enter an integer between 1 and 36500."_s);
    EXPECT_EQ(prefs.voiceMaxAgeDays, 4);
    // With its box cleared the number matters not; the stored one stays.
    for (QCheckBox* box : page->findChildren<QCheckBox*>())
        if (box->text() == u"Remove voice files older than"_s)
            box->click();
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_FALSE(prefs.removeOldVoice);
    EXPECT_EQ(prefs.voiceMaxAgeDays, 4);
    EXPECT_EQ(Child<QLineEdit>(page, "voiceMaxAgeDays")->text(), u"4"_s);
    EXPECT_EQ(prefs.newsPerChannel, 50);
    doc.CloseNews();
}

TEST_F(Options, VoicePageStoresTheChoiceAndTellsTheConverter)
{
    int told = 0;
    CRSSPropSht sheet;
    auto* page = new CRSSVoiceOptions(prefs.Store(), [&] { ++told; });
    sheet.AddPage(page, u"Voice"_s);
    auto* voices = Child<QComboBox>(page, "voiceName");
    ASSERT_GT(voices->count(), 5);
    EXPECT_EQ(voices->currentData().toString(), u"flite/rms"_s) << "the default voice";
    voices->setCurrentIndex(voices->findData(u"flite/slt"_s));
    Child<QSlider>(page, "voiceRate")->setValue(-4);
    Child<QCheckBox>(page, "voiceOpening")->click();
    ASSERT_TRUE(sheet.ApplyAll());
    const SpeechSettings stored = SpeechSettings::FromStore(prefs.Store());
    EXPECT_EQ(stored.voice, u"flite/slt"_s);
    EXPECT_EQ(stored.rate, -4);
    EXPECT_FALSE(stored.opening);
    EXPECT_EQ(told, 1);
}

} // namespace
