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
#include <QStyle>

using namespace Qt::Literals::StringLiterals;
using namespace OptionsControls;

CRSSGeneralOptions::CRSSGeneralOptions(CPreferences& prefs, IFrameServices& frame,
                                       RootMover moveDataRoot, QWidget* parent)
    : COptionsPage(parent), m_prefs(prefs), m_frame(frame), m_moveDataRoot(std::move(moveDataRoot)),
      m_folder(new QLineEdit), m_limit(new QCheckBox(u"Limit number of news per channel"_s)),
      m_newsPerChannel(NumberEdit(0)), m_newsCache(new QLabel),
      m_removeOld(new QCheckBox(u"Remove voice files older than"_s)), m_days(NumberEdit(0)),
      m_voiceCache(new QLabel), m_autostart(new QCheckBox(u"&Start Calvoria when I log in"_s))
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
    grid->setRowStretch(8, 1);

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
    UpdateEnables();
}

void CRSSGeneralOptions::UpdateEnables()
{
    m_newsPerChannel->setEnabled(m_limit->isChecked());
    m_days->setEnabled(m_removeOld->isChecked());
}

QString CRSSGeneralOptions::Problem() const
{
    int value = 0;
    if (!NumberOf(m_newsPerChannel, value) || !NumberOf(m_days, value))
        return kNotAnInteger;
    return {};
}

void CRSSGeneralOptions::ApplyPage()
{
    const QString folder = QDir::fromNativeSeparators(m_folder->text().trimmed());
    if (!folder.isEmpty() && QDir(folder) != QDir(m_prefs.DataRoot()) && m_moveDataRoot) {
        QString error;
        if (!m_moveDataRoot(folder, &error)) {
            // The old folder stays; the person learns why rather than finding the news
            // where they were.
            if (error.isEmpty())
                error = u"Cannot create the folder '%1'."_s.arg(QDir::toNativeSeparators(folder));
            QMessageBox::warning(this, u"Calvoria"_s,
                                 error + u"\nThe news stay in '%1'."_s.arg(QDir::toNativeSeparators(
                                             m_prefs.DataRoot())));
            m_folder->setText(QDir::toNativeSeparators(m_prefs.DataRoot()));
        }
    }
    int value = 0;
    if (NumberOf(m_newsPerChannel, value)) {
        // A limit of 0 would delete every news of every channel: one is the fewest kept.
        value = std::max(1, value);
        m_newsPerChannel->setText(QString::number(value));
        m_prefs.newsPerChannel = value;
    }
    if (NumberOf(m_days, value))
        m_prefs.voiceMaxAgeDays = value;
    m_prefs.limitNewsPerChannel = m_limit->isChecked();
    m_prefs.removeOldVoice = m_removeOld->isChecked();
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
