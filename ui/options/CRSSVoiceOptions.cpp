#include "CRSSVoiceOptions.h"

#include "CSpeechSynth.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

CRSSVoiceOptions::CRSSVoiceOptions(QSettings& store, std::function<void()> speechChanged,
                                   QWidget* parent)
    : COptionsPage(parent), m_store(store), m_speechChanged(std::move(speechChanged)),
      m_voice(new QComboBox), m_rate(new QSlider(Qt::Horizontal)),
      m_opening(new QCheckBox(u"Begin each news with its &channel and title"_s))
{
    setObjectName(u"voiceOptions"_s);
    m_voice->setObjectName(u"voiceName"_s);
    m_rate->setObjectName(u"voiceRate"_s);
    m_opening->setObjectName(u"voiceOpening"_s);
    m_rate->setRange(-10, 10);
    m_rate->setPageStep(2);
    m_rate->setTickPosition(QSlider::TicksBelow);
    m_rate->setAccessibleName(u"Rate"_s);
    auto* test = new QPushButton(u"&Test"_s);
    test->setObjectName(u"voiceTest"_s);

    auto* form = new QFormLayout(this);
    form->addRow(u"Voice &name"_s, m_voice);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(new QLabel(u"Slow"_s));
    rateRow->addWidget(m_rate, 1);
    rateRow->addWidget(new QLabel(u"Fast"_s));
    form->addRow(u"&Rate"_s, rateRow);
    form->addRow(m_opening);
    form->addRow(test);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(rateRow)))
        label->setBuddy(m_rate);

    connect(m_voice, &QComboBox::currentIndexChanged, this, [this] { MarkChanged(); });
    connect(m_rate, &QSlider::valueChanged, this, [this] { MarkChanged(); });
    connect(m_opening, &QCheckBox::clicked, this, [this] { MarkChanged(); });
    connect(test, &QPushButton::clicked, this, &CRSSVoiceOptions::Test);
}

CRSSVoiceOptions::~CRSSVoiceOptions()
{
    if (m_player)
        m_player->kill();
}

QString CRSSVoiceOptions::TestText()
{
    return u"RSS is a format for syndicating news and the content of news-like sites, "
           "including major news sites, news-oriented community sites and personal web logs. "
           "A feed lists the newest stories of a site with their headlines, a short summary "
           "and a link to the full article, so a reader can follow many sites in one place "
           "without visiting each of them. Calvoria checks your feeds in the background, "
           "shows you what is new, and reads any story aloud, so you can listen to the news "
           "on your way to work, and stay informed with your eyes on the road."_s;
}

void CRSSVoiceOptions::Initialize()
{
    const SpeechSettings settings = SpeechSettings::FromStore(m_store);
    for (const SpeechVoice& voice : CSpeechSynth::Voices())
        m_voice->addItem(u"%1 (%2)"_s.arg(voice.name, voice.language), voice.id);
    const QString current = CSpeechSynth::ResolveVoice(settings.voice);
    m_voice->setCurrentIndex(std::max(0, m_voice->findData(current)));
    m_rate->setValue(settings.rate.value_or(0));
    m_opening->setChecked(settings.opening);
}

void CRSSVoiceOptions::ApplyPage()
{
    m_store.setValue(u"TTS/Voice"_s, m_voice->currentData().toString());
    m_store.setValue(u"TTS/Rate"_s, m_rate->value());
    m_store.setValue(u"TTS/Opening"_s, m_opening->isChecked());
    m_store.sync();
    if (m_speechChanged)
        m_speechChanged();
}

void CRSSVoiceOptions::Test()
{
    if (!m_testFolder.isValid())
        return;
    if (m_player)
        m_player->kill();
    SpeechSettings settings;
    settings.voice = m_voice->currentData().toString();
    settings.rate = m_rate->value();
    const QString wav = m_testFolder.filePath(u"test-%1.wav"_s.arg(++m_tests));
    // Speaking takes a moment: the page stays usable meanwhile.
    QPointer<CRSSVoiceOptions> page(this);
    QThread* speaker = QThread::create([settings, wav] {
        CSpeechSynth(settings).Speak(TestText(), wav, u"voice test"_s);
    });
    connect(speaker, &QThread::finished, this, [page, wav, tests = m_tests] {
        if (page && tests == page->m_tests)
            page->Play(wav);
    });
    connect(speaker, &QThread::finished, speaker, &QObject::deleteLater);
    speaker->start();
}

void CRSSVoiceOptions::Play(const QString& wavPath)
{
    for (const QString& player : {u"pw-play"_s, u"paplay"_s, u"aplay"_s}) {
        const QString program = QStandardPaths::findExecutable(player);
        if (program.isEmpty())
            continue;
        m_player = new QProcess(this);
        connect(m_player, &QProcess::finished, m_player, &QObject::deleteLater);
        m_player->start(program, {wavPath});
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(wavPath));
}
