#include "CRSSFeedOptions.h"

#include "CAppServices.h"
#include "CPreferences.h"
#include "IFrameServices.h"
#include "OptionsControls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

using namespace Qt::Literals::StringLiterals;
using namespace OptionsControls;

namespace {

QLabel* Buddy(const QString& text, QWidget* control)
{
    auto* label = new QLabel(text);
    label->setBuddy(control);
    return label;
}

} // namespace

CRSSFeedOptions::CRSSFeedOptions(CAppServices& app, IFrameServices& frame, QWidget* parent)
    : COptionsPage(parent), m_app(app), m_frame(frame), m_interval(NumberEdit(0, 5)),
      m_timeSince(new QCheckBox(u"Show &time since news is published"_s)),
      m_popup(new QCheckBox(u"Show window &popup when new news arrived"_s)),
      m_preview(new QCheckBox(u"Show news pre&view"_s)), m_previewLines(new QSpinBox),
      m_markRead(NumberEdit(0, 4))
{
    setObjectName(u"feedOptions"_s);
    m_interval->setObjectName(u"checkInterval"_s);
    m_previewLines->setObjectName(u"previewLines"_s);
    m_markRead->setObjectName(u"markReadSeconds"_s);
    // Typing may go past the range; Apply says what is allowed rather than changing it.
    m_previewLines->setRange(0, 99);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Buddy(u"&Check for news every "_s, m_interval), 0, 0);
    grid->addWidget(m_interval, 0, 1);
    grid->addWidget(new QLabel(u"minute(s)"_s), 0, 2);
    grid->addWidget(m_timeSince, 1, 0, 1, 3);
    grid->addWidget(m_popup, 2, 0, 1, 3);
    grid->addWidget(m_preview, 3, 0, 1, 3);
    grid->addWidget(Buddy(u"Number of preview &lines"_s, m_previewLines), 4, 0);
    grid->addWidget(m_previewLines, 4, 1);
    grid->addWidget(Buddy(u"&Mark news read after displaying for"_s, m_markRead), 5, 0);
    grid->addWidget(m_markRead, 5, 1);
    grid->addWidget(new QLabel(u"second(s)"_s), 5, 2);
    grid->setRowStretch(6, 1);

    for (QLineEdit* edit : {m_interval, m_markRead})
        connect(edit, &QLineEdit::textEdited, this, [this] { MarkChanged(); });
    connect(m_previewLines, &QSpinBox::valueChanged, this, [this] { MarkChanged(); });
    for (QCheckBox* box : {m_timeSince, m_popup, m_preview})
        connect(box, &QCheckBox::clicked, this, [this] {
            UpdateEnables();
            MarkChanged();
        });
}

void CRSSFeedOptions::Initialize()
{
    const CPreferences& prefs = *m_app.Prefs();
    m_interval->setText(QString::number(prefs.checkIntervalMinutes));
    m_timeSince->setChecked(prefs.showTimeSince);
    m_popup->setChecked(prefs.showNewsPopup);
    m_preview->setChecked(prefs.showPreview);
    m_previewLines->setValue(prefs.previewLines);
    m_markRead->setText(QString::number(prefs.markReadDelayMs / 1000));
    UpdateEnables();
}

void CRSSFeedOptions::UpdateEnables()
{
    m_previewLines->setEnabled(m_preview->isChecked());
}

QString CRSSFeedOptions::Problem() const
{
    int value = 0;
    if (!NumberOf(m_interval, value) || !NumberOf(m_markRead, value))
        return kNotAnInteger;
    if (!CPreferences::PreviewLinesRange.Holds(m_previewLines->value()))
        return RangeMessage(CPreferences::PreviewLinesRange);
    return {};
}

void CRSSFeedOptions::ApplyPage()
{
    CPreferences& prefs = *m_app.Prefs();
    const int oldLines = prefs.previewLines;
    const bool oldPreview = prefs.showPreview;
    int interval = 0, seconds = 0;
    NumberOf(m_interval, interval);
    NumberOf(m_markRead, seconds);
    if (interval <= 0)
        interval = 15;
    if (seconds <= 0)
        seconds = 1;
    m_interval->setText(QString::number(interval));
    m_markRead->setText(QString::number(seconds));
    prefs.checkIntervalMinutes = interval;
    prefs.markReadDelayMs = seconds * 1000;
    prefs.previewLines = m_previewLines->value();
    prefs.showPreview = m_preview->isChecked();
    if (m_timeSince->isChecked() != prefs.showTimeSince) {
        prefs.showTimeSince = m_timeSince->isChecked();
        m_app.NotifyAll(RssEvent::TimeDisplayChanged, nullptr);
    }
    prefs.showNewsPopup = m_popup->isChecked();
    prefs.SaveAll();
    m_frame.ApplyOptions(
        {.preview = oldLines != prefs.previewLines || oldPreview != prefs.showPreview});
}
