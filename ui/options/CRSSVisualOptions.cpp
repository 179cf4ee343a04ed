#include "CRSSVisualOptions.h"

#include "CAppServices.h"
#include "CPreferences.h"
#include "IFrameServices.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CRSSVisualOptions::CRSSVisualOptions(CAppServices& app, IFrameServices& frame, QWidget* parent)
    : COptionsPage(parent), m_app(app), m_frame(frame), m_theme(new QButtonGroup(this)),
      m_showPane(new QCheckBox(u"Show reading &panel"_s)), m_right(new QRadioButton(u"&Right"_s)),
      m_bottom(new QRadioButton(u"&Bottom"_s)), m_style(new QComboBox),
      m_remoteImages(new QCheckBox(u"Load remote &images"_s)),
      m_large(new QRadioButton(u"&Large buttons"_s)), m_small(new QRadioButton(u"S&mall buttons"_s))
{
    setObjectName(u"visualOptions"_s);
    auto* themeBox = new QGroupBox(u"Color theme"_s);
    auto* themeLayout = new QVBoxLayout(themeBox);
    // The three fixed tables, and the desktop's own colours.
    const QStringList names{u"XP &Blue"_s, u"XP &Silver"_s, u"XP &Olive"_s, u"S&ystem"_s};
    for (int id = 0; id < names.size(); ++id) {
        auto* radio = new QRadioButton(names[id]);
        m_theme->addButton(radio, id);
        themeLayout->addWidget(radio);
    }
    auto* paneBox = new QGroupBox(u"Reading panel"_s);
    auto* paneLayout = new QVBoxLayout(paneBox);
    m_showPane->setObjectName(u"showReadingPanel"_s);
    paneLayout->addWidget(m_showPane);
    paneLayout->addWidget(m_right);
    paneLayout->addWidget(m_bottom);
    auto* styleBox = new QGroupBox(u"Reading Style"_s);
    auto* styleLayout = new QVBoxLayout(styleBox);
    m_style->setObjectName(u"readingStyle"_s);
    m_style->setAccessibleName(u"Reading Style"_s);
    styleLayout->addWidget(m_style);
    // Pictures in news come from the sender's server, which learns who read what and when.
    m_remoteImages->setObjectName(u"loadRemoteImages"_s);
    m_remoteImages->setToolTip(
        u"Images and other content of news pages come from the web. Their servers can tell "
        "when you read a news item; channel properties can decide otherwise for a channel."_s);
    styleLayout->addWidget(m_remoteImages);
    auto* barBox = new QGroupBox(u"Toolbar"_s);
    auto* barLayout = new QVBoxLayout(barBox);
    barLayout->addWidget(m_large);
    barLayout->addWidget(m_small);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* box : {static_cast<QWidget*>(themeBox), static_cast<QWidget*>(paneBox),
                         static_cast<QWidget*>(styleBox), static_cast<QWidget*>(barBox)})
        layout->addWidget(box);
    layout->addStretch();

    connect(m_theme, &QButtonGroup::idClicked, this, [this] { MarkChanged(); });
    connect(m_showPane, &QCheckBox::clicked, this, [this] {
        UpdateEnables();
        MarkChanged();
    });
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             m_right, m_bottom, m_large, m_small, m_remoteImages})
        connect(button, &QAbstractButton::clicked, this, [this] { MarkChanged(); });
    connect(m_style, &QComboBox::currentIndexChanged, this, [this] { MarkChanged(); });
}

void CRSSVisualOptions::Initialize()
{
    const CPreferences& prefs = *m_app.Prefs();
    const int theme = prefs.colorTheme;
    if (QAbstractButton* radio = m_theme->button(theme >= 0 && theme <= 3 ? theme : 0))
        radio->setChecked(true);
    m_showPane->setChecked(prefs.readingPanePosition != 0);
    (prefs.readingPanePosition == 2 ? m_bottom : m_right)->setChecked(true);
    (prefs.largeButtons ? m_large : m_small)->setChecked(true);
    const QStringList styles =
        QDir(prefs.StylesFolder()).entryList({u"*.xsl"_s}, QDir::Files, QDir::Name);
    m_style->addItems(styles);
    m_style->setEnabled(!styles.isEmpty());
    if (styles.isEmpty())
        m_style->setPlaceholderText(u"No reading styles installed"_s);
    int selected = -1;
    const QString current = prefs.ReadingStyle();
    for (int i = 0; i < styles.size() && !current.isEmpty(); ++i)
        if (styles[i].startsWith(current, Qt::CaseInsensitive)) {
            selected = i;
            break;
        }
    m_style->setCurrentIndex(selected);
    m_remoteImages->setChecked(prefs.LoadRemoteImages());
    UpdateEnables();
}

void CRSSVisualOptions::UpdateEnables()
{
    m_right->setEnabled(m_showPane->isChecked());
    m_bottom->setEnabled(m_showPane->isChecked());
}

void CRSSVisualOptions::ApplyPage()
{
    CPreferences& prefs = *m_app.Prefs();
    const int oldPosition = prefs.readingPanePosition;
    const int oldTheme = prefs.colorTheme;
    const bool oldLarge = prefs.largeButtons;
    prefs.readingPanePosition = !m_showPane->isChecked() ? 0 : m_bottom->isChecked() ? 2 : 1;
    prefs.colorTheme = std::max(0, m_theme->checkedId());
    prefs.largeButtons = m_large->isChecked();
    prefs.SetReadingStyle(m_style->currentText());
    prefs.SetLoadRemoteImages(m_remoteImages->isChecked());
    prefs.SaveAll();
    m_app.NotifyAll(RssEvent::StyleChanged, nullptr);
    m_frame.ApplyOptions({.layout = oldPosition != prefs.readingPanePosition,
                          .theme = oldTheme != prefs.colorTheme,
                          .buttons = oldLarge != prefs.largeButtons});
}
