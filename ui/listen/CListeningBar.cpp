#include "CListeningBar.h"

#include "CNewsPlayer.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSeekSingleStepMs = 5000;
constexpr int kSeekPageStepMs = 30000;

// A line of text that ends in "…" where the bar is too narrow for it.
class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, area.width()),
                              foregroundRole());
    }
};

QString SpeedText(double speed)
{
    return QLocale().toString(speed, 'g', 3) + u"\u00d7"_s;
}

} // namespace

CListeningBar::CListeningBar(CNewsPlayer& player, QWidget* parent)
    : QFrame(parent), m_player(player)
{
    setObjectName(u"listeningBar"_s);
    setAccessibleName(u"Listening bar"_s);
    setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);

    m_previous = AddButton(u"Previous news"_s, u"Previous news (Ctrl+Shift+Up)"_s,
                           QStyle::SP_MediaSkipBackward);
    m_back = AddButton(u"Back 15 seconds"_s, u"Back 15 seconds (Ctrl+Shift+Left)"_s,
                       QStyle::SP_MediaSeekBackward);
    m_playPause = AddButton(u"Play"_s, u"Play or pause (Ctrl+P)"_s, QStyle::SP_MediaPlay);
    m_forward = AddButton(u"Forward 30 seconds"_s, u"Forward 30 seconds (Ctrl+Shift+Right)"_s,
                          QStyle::SP_MediaSeekForward);
    m_next = AddButton(u"Next news"_s, u"Next news (Ctrl+Shift+Down)"_s,
                       QStyle::SP_MediaSkipForward);
    for (QToolButton* button : {m_previous, m_back, m_playPause, m_forward, m_next})
        row->addWidget(button);
    connect(m_previous, &QToolButton::clicked, &m_player, &CNewsPlayer::Previous);
    connect(m_back, &QToolButton::clicked, this, [this] { m_player.SeekBy(-CNewsPlayer::kBackStepMs); });
    connect(m_playPause, &QToolButton::clicked, &m_player, &CNewsPlayer::PlayPause);
    connect(m_forward, &QToolButton::clicked, this, [this] { m_player.SeekBy(CNewsPlayer::kForwardStepMs); });
    connect(m_next, &QToolButton::clicked, &m_player, &CNewsPlayer::Next);

    auto* names = new QVBoxLayout;
    names->setSpacing(0);
    m_title = new ElidedLabel(this);
    m_title->setObjectName(u"listeningTitle"_s);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_channel = new ElidedLabel(this);
    m_channel->setObjectName(u"listeningChannel"_s);
    for (QLabel* label : {m_title, m_channel}) {
        label->setMinimumWidth(120);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        names->addWidget(label);
    }
    row->addLayout(names, 3);

    m_elapsed = new QLabel(this);
    m_elapsed->setAccessibleName(u"Elapsed time"_s);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setAccessibleName(u"Position"_s);
    m_slider->setSingleStep(kSeekSingleStepMs);
    m_slider->setPageStep(kSeekPageStepMs);
    m_slider->setFocusPolicy(Qt::StrongFocus);
    m_remaining = new QLabel(this);
    m_remaining->setAccessibleName(u"Remaining time"_s);
    // Wide enough for the longest time, so the slider keeps its place as they change.
    const int timeWidth = fontMetrics().horizontalAdvance(u"\u22120:00:00"_s);
    m_elapsed->setMinimumWidth(timeWidth);
    m_remaining->setMinimumWidth(timeWidth);
    m_elapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(m_elapsed);
    row->addWidget(m_slider, 2);
    row->addWidget(m_remaining);
    connect(m_slider, &QSlider::sliderReleased, this, &CListeningBar::SeekToSlider);
    // Keys and clicks on the groove move the slider by an action, not by a drag.
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &CListeningBar::SeekToSlider, Qt::QueuedConnection);
    });

    m_speed = new QComboBox(this);
    m_speed->setAccessibleName(u"Speed"_s);
    m_speed->setToolTip(u"Speed of the voice; the pitch stays as it is"_s);
    for (double speed : Speeds())
        m_speed->addItem(SpeedText(speed), speed);
    row->addWidget(m_speed);
    connect(m_speed, &QComboBox::activated, this,
            [this](int index) { m_player.SetRate(m_speed->itemData(index).toDouble()); });

    connect(&m_player, &CNewsPlayer::itemChanged, this, &CListeningBar::ShowItem);
    connect(&m_player, &CNewsPlayer::stateChanged, this, &CListeningBar::ShowState);
    connect(&m_player, &CNewsPlayer::preparingChanged, this, &CListeningBar::ShowItem);
    connect(&m_player, &CNewsPlayer::positionChanged, this, &CListeningBar::ShowPosition);
    connect(&m_player, &CNewsPlayer::durationChanged, this, &CListeningBar::ShowDuration);
    connect(&m_player, &CNewsPlayer::rateChanged, this, &CListeningBar::ShowRate);
    connect(&m_player, &CNewsPlayer::failed, this, [this](const QString& message) {
        m_channel->setText(message);
        m_channel->setStyleSheet(u"color: #c0392b"_s);
    });
    ShowItem();
    ShowDuration(m_player.Duration());
    ShowRate(m_player.Rate());
}

const QList<double>& CListeningBar::Speeds()
{
    static const QList<double> speeds = {0.75, 1.0, 1.25, 1.5, 1.75, 2.0};
    return speeds;
}

QString CListeningBar::TimeText(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, milliseconds) / 1000;
    const QChar zero(u'0');
    if (seconds < 3600)
        return u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, zero);
    return u"%1:%2:%3"_s.arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

QToolButton* CListeningBar::AddButton(const QString& name, const QString& tip, int icon)
{
    auto* button = new QToolButton(this);
    button->setIcon(style()->standardIcon(QStyle::StandardPixmap(icon)));
    button->setAccessibleName(name);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

void CListeningBar::ShowItem()
{
    m_channel->setStyleSheet({});
    const int preparing = m_player.PreparingIndex();
    if (!m_player.HasItem()) {
        m_title->setText(u"Nothing to listen to"_s);
        m_channel->setText(u"Select news and press Listen (Ctrl+L)"_s);
    } else if (preparing > 0) {
        m_title->setText(m_player.ItemTitle());
        m_channel->setText(
            u"Preparing %1 of %2\u2026"_s.arg(preparing).arg(m_player.QueueSize()));
    } else {
        m_title->setText(m_player.ItemTitle());
        m_channel->setText(m_player.ChannelName());
    }
    m_title->setToolTip(m_title->text());
    ShowState();
}

void CListeningBar::ShowState()
{
    const bool playing = m_player.PlayState() == CNewsPlayer::State::Playing;
    const bool has = m_player.HasItem();
    m_playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause
                                                       : QStyle::SP_MediaPlay));
    m_playPause->setAccessibleName(playing ? u"Pause"_s : u"Play"_s);
    m_playPause->setEnabled(has);
    m_previous->setEnabled(m_player.CanGoPrevious());
    m_next->setEnabled(m_player.CanGoNext());
    const bool loaded = has && m_player.Duration() > 0;
    m_back->setEnabled(loaded);
    m_forward->setEnabled(loaded);
    m_slider->setEnabled(loaded);
}

void CListeningBar::ShowPosition(qint64 milliseconds)
{
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(std::min<qint64>(milliseconds, INT_MAX)));
    // No times while the length is unknown (the news is still being prepared).
    const bool known = m_duration > 0;
    m_elapsed->setText(known ? TimeText(milliseconds) : QString());
    m_remaining->setText(known ? u"\u2212"_s + TimeText(m_duration - milliseconds) : QString());
    m_previous->setEnabled(m_player.CanGoPrevious());
}

void CListeningBar::ShowDuration(qint64 milliseconds)
{
    m_duration = milliseconds;
    m_slider->setRange(0, int(std::min<qint64>(milliseconds, INT_MAX)));
    ShowPosition(m_player.Position());
    ShowState();
}

void CListeningBar::ShowRate(double rate)
{
    qsizetype nearest = 0;
    const QList<double>& speeds = Speeds();
    for (qsizetype i = 1; i < speeds.size(); ++i)
        if (std::abs(speeds[i] - rate) < std::abs(speeds[nearest] - rate))
            nearest = i;
    m_speed->setCurrentIndex(int(nearest));
}

void CListeningBar::SeekToSlider()
{
    m_player.SetPosition(m_slider->value());
}
