#include "CRSSGeneralOptions.h"

#include "AutostartEntry.h"
#include "CPreferences.h"
#include "FolderHelpers.h"
#include "IFrameServices.h"
#include "OptionsControls.h"
#include "TextHelpers.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

using namespace Qt::Literals::StringLiterals;
using namespace OptionsControls;

CRSSGeneralOptions::CRSSGeneralOptions(CPreferences& prefs, IFrameServices& frame,
                                       RootChanger changeDataRoot, QWidget* parent)
    : COptionsPage(parent), m_prefs(prefs), m_frame(frame),
      m_changeDataRoot(std::move(changeDataRoot)), m_folder(new QLineEdit),
      m_limit(new QCheckBox(u"Limit number of news per channel"_s)),
      m_newsPerChannel(NumberEdit(0)), m_newsCache(new QLabel),
      m_removeOld(new QCheckBox(u"Remove voice files older than"_s)), m_days(NumberEdit(0)),
      m_voiceCache(new QLabel), m_autostart(new QCheckBox(u"&Start Calvoria when I log in"_s)),
      m_announcePopups(new QRadioButton(u"Calvoria's &popups"_s)),
      m_announceDesktop(new QRadioButton(u"Desktop &notifications"_s))
{
    setObjectName(u"generalOptions"_s);
    m_folder->setObjectName(u"dataFolder"_s);
    m_newsPerChannel->setObjectName(u"newsPerChannel"_s);
    m_days->setObjectName(u"voiceMaxAgeDays"_s);
    auto* folderLabel = new QLabel(u"&Data folder :"_s);
    folderLabel->setBuddy(m_folder);
    auto* browse = new QPushButton(u"Browse ..."_s);
    m_newsPerChannel->setAccessibleName(u"News per channel"_s);
    m_days->setAccessibleName(u"Days"_s);
    m_autostart->setObjectName(u"autostart"_s);
    auto* autostartNote = new QLabel(u"Calvoria then starts hidden, with its icon in the tray."_s);
    autostartNote->setWordWrap(true);
    // Under the box's text, not its square.
    autostartNote->setIndent(style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                             style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
    m_autostart->setAccessibleDescription(autostartNote->text());

    auto* grid = new QGridLayout(this);
    grid->addWidget(folderLabel, 0, 0, 1, 3);
    grid->addWidget(m_folder, 1, 0, 1, 2);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(m_limit, 2, 0);
    grid->addWidget(m_newsPerChannel, 2, 1);
    grid->addWidget(new QLabel(u"news"_s), 2, 2);
    grid->addWidget(new QLabel(u"Size of news cache :"_s), 3, 0);
    grid->addWidget(m_newsCache, 3, 1, 1, 2);
    grid->addWidget(m_removeOld, 4, 0);
    grid->addWidget(m_days, 4, 1);
    grid->addWidget(new QLabel(u"days"_s), 4, 2);
    grid->addWidget(new QLabel(u"Size of voice cache :"_s), 5, 0);
    grid->addWidget(m_voiceCache, 5, 1, 1, 2);
    grid->addWidget(m_autostart, 6, 0, 1, 3);
    grid->addWidget(autostartNote, 7, 0, 1, 3);
    m_announcePopups->setObjectName(u"announcePopups"_s);
    m_announceDesktop->setObjectName(u"announceDesktop"_s);
    auto* announceLabel = new QLabel(u"Announce new news with:"_s);
    m_announcePopups->setAccessibleDescription(announceLabel->text());
    m_announceDesktop->setAccessibleDescription(announceLabel->text());
    grid->addWidget(announceLabel, 8, 0, 1, 3);
    grid->addWidget(m_announcePopups, 9, 0, 1, 3);
    grid->addWidget(m_announceDesktop, 10, 0, 1, 3);
    grid->setRowStretch(11, 1);

    connect(browse, &QPushButton::clicked, this, [this] {
        QString path = m_folder->text();
        if (m_frame.BrowseForFolder(path)) {
            m_folder->setText(QDir::toNativeSeparators(path));
            MarkChanged();
        }
    });
    for (QCheckBox* box : {m_limit, m_removeOld, m_autostart})
        connect(box, &QCheckBox::clicked, this, [this] {
            UpdateEnables();
            MarkChanged();
        });
    for (QRadioButton* radio : {m_announcePopups, m_announceDesktop})
        connect(radio, &QRadioButton::clicked, this, &CRSSGeneralOptions::MarkChanged);
}

void CRSSGeneralOptions::Initialize()
{
    m_folder->setText(QDir::toNativeSeparators(m_prefs.DataRoot()));
    m_limit->setChecked(m_prefs.limitNewsPerChannel);
    m_newsPerChannel->setText(QString::number(m_prefs.newsPerChannel));
    m_removeOld->setChecked(m_prefs.removeOldVoice);
    m_days->setText(QString::number(m_prefs.voiceMaxAgeDays));
    m_newsCache->setText(FormatSize(FolderSize(m_prefs.FeedsFolder() + u"*.*"_s)));
    m_voiceCache->setText(FormatSize(FolderSize(m_prefs.Mp3Folder() + u"*.*"_s)));
    m_autostart->setChecked(AutostartEnabled());
    const bool desktop =
        m_prefs.AnnounceNewsWith() == CPreferences::NewsAnnouncer::DesktopNotifications;
    (desktop ? m_announceDesktop : m_announcePopups)->setChecked(true);
    UpdateEnables();
}

void CRSSGeneralOptions::UpdateEnables()
{
    m_newsPerChannel->setEnabled(m_limit->isChecked());
    m_days->setEnabled(m_removeOld->isChecked());
}

QString CRSSGeneralOptions::Problem() const
{
    int news = 0, days = 0;
    if (!NumberOf(m_newsPerChannel, news) || !NumberOf(m_days, days))
        return kNotAnInteger;
    // A limit of no news would empty every channel at the next update, an age of no days
    // would delete every prepared voice file: the person is asked what they mean.
    if (m_limit->isChecked() && !CPreferences::NewsPerChannelRange.Holds(news))
        return RangeMessage(CPreferences::NewsPerChannelRange);
    if (m_removeOld->isChecked() && !CPreferences::VoiceMaxAgeRange.Holds(days))
        return RangeMessage(CPreferences::VoiceMaxAgeRange);
    return {};
}

void CRSSGeneralOptions::ApplyDataFolder()
{
    const QString folder = CPreferences::ResolveTypedRoot(m_folder->text());
    const auto showRoot = [this] {
        m_folder->setText(QDir::toNativeSeparators(m_prefs.DataRoot()));
    };
    if (folder.isEmpty() || QDir(folder) == QDir(m_prefs.DataRoot()) || !m_changeDataRoot) {
        showRoot();
        return;
    }
    auto change = DataRootChange::MoveNews;
    if (CRssReaderDoc::HoldsNews(folder)) {
        // Moving there would write over the news it holds.
        QMessageBox question(QMessageBox::Question, u"Calvoria"_s,
                             u"'%1' already holds Calvoria news."_s.arg(
                                 QDir::toNativeSeparators(QDir::cleanPath(folder))),
                             QMessageBox::Cancel, this);
        question.setObjectName(u"dataFolderQuestion"_s);
        question.setInformativeText(
            u"Calvoria can use the news of that folder instead of yours. Yours are saved "
            "where they are, in '%1', and stay there."_s.arg(
                QDir::toNativeSeparators(m_prefs.DataRoot())));
        QPushButton* use =
            question.addButton(u"&Use That Folder's News"_s, QMessageBox::AcceptRole);
        question.setDefaultButton(QMessageBox::Cancel);
        question.exec();
        if (question.clickedButton() != use) {
            showRoot();
            return;
        }
        change = DataRootChange::UseFolderNews;
    }
    QString error;
    if (!m_changeDataRoot(folder, change, &error)) {
        // The old folder stays; the person learns why rather than finding the news where
        // they were.
        if (error.isEmpty())
            error = u"Cannot create the folder '%1'."_s.arg(
                QDir::toNativeSeparators(QDir::cleanPath(folder)));
        QMessageBox::warning(this, u"Calvoria"_s,
                             error + u"\nThe news stay in '%1'."_s.arg(
                                         QDir::toNativeSeparators(m_prefs.DataRoot())));
    }
    showRoot();
}

void CRSSGeneralOptions::ApplyPage()
{
    ApplyDataFolder();
    // A number outside its range can only be left here while its box is clear: the
    // stored one stays.
    int value = 0;
    if (NumberOf(m_newsPerChannel, value) && CPreferences::NewsPerChannelRange.Holds(value))
        m_prefs.newsPerChannel = value;
    m_newsPerChannel->setText(QString::number(m_prefs.newsPerChannel));
    if (NumberOf(m_days, value) && CPreferences::VoiceMaxAgeRange.Holds(value))
        m_prefs.voiceMaxAgeDays = value;
    m_days->setText(QString::number(m_prefs.voiceMaxAgeDays));
    m_prefs.limitNewsPerChannel = m_limit->isChecked();
    m_prefs.removeOldVoice = m_removeOld->isChecked();
    m_prefs.SetAnnounceNewsWith(m_announceDesktop->isChecked()
                                    ? CPreferences::NewsAnnouncer::DesktopNotifications
                                    : CPreferences::NewsAnnouncer::Popups);
    m_prefs.SaveAll();

    const bool wanted = m_autostart->isChecked();
    if (wanted != AutostartEnabled()) {
        QString error;
        if (!SetAutostart(wanted, QCoreApplication::applicationFilePath(), &error)) {
            QMessageBox::warning(this, u"Calvoria"_s,
                                 (wanted ? u"Calvoria cannot start when you log in.\n"_s
                                         : u"Calvoria still starts when you log in.\n"_s) +
                                     error);
        }
        // What the person sees is what the next log-in will do.
        m_autostart->setChecked(AutostartEnabled());
    }
}
