#include "CNewsPlayer.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CAudioOutput.h"
#include "CFeedContext.h"
#include "CListenPositions.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMediaDevices>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kRateKey = u"Listen/Rate"_s;
// Items whose voice is asked for ahead of the one playing.
constexpr int kLookAhead = 4;
// Within this much of the end a stored position starts the item again.
constexpr qint64 kNearEndMs = 3000;
// Previous within this much of the start goes to the previous item, else to the start.
constexpr qint64 kRestartWindowMs = 3000;
// While playing, the position is written this often so a crash loses little.
constexpr int kKeepIntervalMs = 15000;

QByteArray Key(const CRssItem& item)
{
    return IdentityHex(item.Identity()).toLatin1();
}

bool IsReady(CRssItem& item)
{
    item.ResumeJobs(true);
    return item.State() == RssItemState::Ready;
}

bool CanBePrepared(const CRssItem& item)
{
    return item.HasMp3Enclosure() || (item.Context() && item.Context()->App().hasVoice);
}

} // namespace

CNewsPlayer::CNewsPlayer(CRssReaderDoc& document, CListenPositions& positions,
                         QSettings* settings, QObject* parent)
    : QObject(parent), m_document(document), m_positions(positions), m_settings(settings),
      m_audio(new CAudioOutput(this)), m_keepTimer(new QTimer(this))
{
    if (m_settings)
        m_rate = std::clamp(m_settings->value(kRateKey, 1.0).toDouble(), kMinRate, kMaxRate);
    m_audio->SetRate(m_rate);
    connect(m_audio, &CAudioOutput::positionChanged, this, &CNewsPlayer::positionChanged);
    connect(m_audio, &CAudioOutput::finished, this, &CNewsPlayer::OnFinished);
    connect(m_audio, &CAudioOutput::failed, this, &CNewsPlayer::OnFailed);
    // How long Listen took to be heard, conversion included: what a person waits for.
    connect(m_audio, &CAudioOutput::started, this, [this] {
        if (m_sinceListen.isValid())
            LogFormat("First sound %lld ms after Listen", m_sinceListen.elapsed());
        m_sinceListen.invalidate();
    });
    m_keepTimer->setInterval(kKeepIntervalMs);
    connect(m_keepTimer, &QTimer::timeout, this, [this] {
        KeepPosition();
        m_positions.Save();
    });
}

CNewsPlayer::~CNewsPlayer()
{
    KeepPosition();
    m_positions.Save();
    m_document.SetListeningItem(nullptr);
}

void CNewsPlayer::Listen(std::vector<CRefPtr<CRssItem>> items, const QString& source)
{
    KeepPosition();
    m_audio->Stop();
    m_loaded = false;
    std::erase_if(items, [](const CRefPtr<CRssItem>& item) { return !item; });
    m_queue = std::move(items);
    m_requested.clear();
    if (m_queue.empty()) {
        Stop();
        return;
    }
    LogFormat("Listening to %d news of '%s'", int(m_queue.size()), qUtf8Printable(source));
    m_sinceListen.start();
    m_wantPlay = true;
    MoveTo(0);
}

CRssItem* CNewsPlayer::CurrentItem() const
{
    return m_current >= 0 && m_current < int(m_queue.size()) ? m_queue[size_t(m_current)].get()
                                                               : nullptr;
}

QString CNewsPlayer::ItemTitle() const
{
    const CRssItem* item = CurrentItem();
    return item ? item->DisplayTitle() : QString();
}

QString CNewsPlayer::ChannelName() const
{
    const CRssItem* item = CurrentItem();
    const CRefPtr<CRssChannel> channel = item ? item->Channel() : CRefPtr<CRssChannel>();
    return channel ? channel->Name() : QString();
}

QString CNewsPlayer::ArtFile() const
{
    if (!m_artFile.isEmpty())
        return m_artFile;
    // The media widgets of the desktop show a picture from a file: the program icon,
    // written once into the cache folder.
    const QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        return {};
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString file = folder + u"/player-art.png"_s;
    if (QFile::exists(file) || (QDir().mkpath(folder) && icon.pixmap(256, 256).save(file)))
        m_artFile = file;
    return m_artFile;
}

qint64 CNewsPlayer::Position() const
{
    if (m_loaded)
        return m_audio->Position();
    const CRssItem* item = CurrentItem();
    return item ? m_positions.Position(Key(*item)) : 0;
}

qint64 CNewsPlayer::Duration() const
{
    return m_loaded ? m_audio->Duration() : 0;
}

bool CNewsPlayer::CanGoNext() const
{
    return m_current >= 0 && m_current + 1 < int(m_queue.size());
}

bool CNewsPlayer::CanGoPrevious() const
{
    return m_current > 0 || (m_loaded && m_audio->Position() > 0);
}

void CNewsPlayer::ItemChanged(CRssItem* item)
{
    if (!item || item != CurrentItem() || m_loaded)
        return;
    switch (item->State()) {
    case RssItemState::Ready:
        StartCurrent();
        break;
    case RssItemState::Failed:
    case RssItemState::FileMissing:
        if (m_state == State::Preparing)
            SkipFailed(u"The voice of '%1' could not be made."_s.arg(item->DisplayTitle()));
        break;
    default:
        break;
    }
}

void CNewsPlayer::PlayPause()
{
    if (m_state == State::Playing)
        Pause();
    else
        Play();
}

void CNewsPlayer::Play()
{
    if (!HasItem())
        return;
    m_wantPlay = true;
    if (!m_loaded) {
        StartCurrent();
        return;
    }
    m_audio->Play();
    if (m_loaded) {
        m_keepTimer->start();
        SetState(State::Playing);
    }
}

void CNewsPlayer::Pause()
{
    m_wantPlay = false;
    if (m_loaded) {
        m_audio->Pause();
        KeepPosition();
        m_positions.Save();
    }
    m_keepTimer->stop();
    if (HasItem())
        SetState(State::Paused);
}

void CNewsPlayer::Stop()
{
    KeepPosition();
    m_positions.Save();
    m_audio->Stop();
    m_keepTimer->stop();
    m_loaded = false;
    m_wantPlay = false;
    m_queue.clear();
    m_requested.clear();
    m_current = -1;
    m_document.SetListeningItem(nullptr);
    SetPreparing(0);
    SetState(State::Stopped);
    Q_EMIT itemChanged();
}

void CNewsPlayer::Next()
{
    if (CanGoNext())
        MoveTo(m_current + 1);
}

void CNewsPlayer::Previous()
{
    if (m_loaded && m_audio->Position() > kRestartWindowMs) {
        SetPosition(0);
        return;
    }
    if (m_current > 0)
        MoveTo(m_current - 1);
    else if (m_loaded)
        SetPosition(0);
}

void CNewsPlayer::SeekBy(qint64 milliseconds)
{
    if (m_loaded)
        SetPosition(m_audio->Position() + milliseconds);
}

void CNewsPlayer::SetPosition(qint64 milliseconds)
{
    if (!m_loaded)
        return;
    const qint64 duration = m_audio->Duration();
    milliseconds = std::max<qint64>(0, duration > 0 ? std::min(milliseconds, duration) : milliseconds);
    m_audio->Seek(milliseconds);
    Q_EMIT positionChanged(milliseconds);
    Q_EMIT seeked(milliseconds);
}

void CNewsPlayer::SetRate(double rate)
{
    rate = std::clamp(rate, kMinRate, kMaxRate);
    if (qFuzzyCompare(rate, m_rate))
        return;
    m_rate = rate;
    m_audio->SetRate(rate);
    if (m_settings)
        m_settings->setValue(kRateKey, rate);
    Q_EMIT rateChanged(rate);
}

void CNewsPlayer::MoveTo(int index)
{
    KeepPosition();
    m_audio->Stop();
    m_loaded = false;
    m_current = index;
    CRssItem* item = CurrentItem();
    m_document.SetListeningItem(item);
    Q_EMIT itemChanged();
    Q_EMIT durationChanged(0);
    StartCurrent();
}

void CNewsPlayer::StartCurrent()
{
    CRssItem* item = CurrentItem();
    if (!item)
        return;
    if (!IsReady(*item)) {
        // While it is awaited it is the only one asked for, at the head of the work.
        Prepare(*item);
        const RssItemState state = item->State();
        const bool gaveUp = state == RssItemState::Failed || state == RssItemState::FileMissing ||
                            state == RssItemState::None;
        if (!CanBePrepared(*item))
            SkipFailed(u"'%1' has no voice and no podcast audio."_s.arg(item->DisplayTitle()));
        else if (gaveUp)
            SkipFailed(u"The voice of '%1' could not be made."_s.arg(item->DisplayTitle()));
        else {
            SetPreparing(m_current + 1);
            SetState(m_wantPlay ? State::Preparing : State::Paused);
        }
        return;
    }
    SetPreparing(0);
    qint64 start = m_positions.Position(Key(*item));
    if (!m_audio->Load(item->Mp3File(), 0)) {
        SkipFailed(m_audio->ErrorText());
        return;
    }
    const qint64 duration = m_audio->Duration();
    if (duration > 0 && start > duration - kNearEndMs)
        start = 0;
    if (start > 0)
        m_audio->Seek(start);
    m_loaded = true;
    LogFormat("Playing news '%s'", qUtf8Printable(item->DisplayTitle()));
    Q_EMIT itemChanged();
    Q_EMIT durationChanged(duration);
    Q_EMIT positionChanged(start);
    // The next ones are made while this one plays.
    const int ahead = std::min(int(m_queue.size()), m_current + kLookAhead);
    for (int i = ahead - 1; i > m_current; --i)
        Prepare(*m_queue[size_t(i)]);
    if (m_wantPlay) {
        m_audio->Play();
        // Play may have failed at once (no sound device): that has set the state already.
        if (m_loaded) {
            m_keepTimer->start();
            SetState(State::Playing);
        }
    } else {
        SetState(State::Paused);
    }
}

void CNewsPlayer::Prepare(CRssItem& item)
{
    // Each goes to the head of the work (the ones ahead are asked for last to first, so
    // they are made in the order they will be heard). Each item is asked for once a Listen:
    // one whose voice cannot be made is passed over, not tried again and again.
    if (IsReady(item) || !CanBePrepared(item) || !m_requested.insert(&item).second)
        return;
    const RssItemState state = item.State();
    const bool pending = state == RssItemState::DownloadPending ||
                         state == RssItemState::PageCached ||
                         state == RssItemState::PodcastPending;
    if (pending)
        item.ResumeJobs(false);
    else
        item.RequestConversion({.retry = true, .urgent = true, .preferPodcast = true});
}

void CNewsPlayer::OnFinished()
{
    CRssItem* item = CurrentItem();
    if (!item)
        return;
    // Heard to the end: read, and the next time it starts from the beginning.
    m_positions.SetPosition(Key(*item), 0);
    m_positions.Save();
    item->SetUnread(false, ChannelCounts::Recount);
    m_loaded = false;
    if (CanGoNext()) {
        MoveTo(m_current + 1);
        return;
    }
    m_keepTimer->stop();
    m_wantPlay = false;
    m_queue.clear();
    m_current = -1;
    m_document.SetListeningItem(nullptr);
    SetState(State::Stopped);
    Q_EMIT itemChanged();
}

void CNewsPlayer::OnFailed(const QString& message)
{
    SkipFailed(message);
}

void CNewsPlayer::SkipFailed(const QString& message)
{
    const CRssItem* item = CurrentItem();
    LogFormat("*ERROR: Cannot play '%s': %s", item ? qUtf8Printable(item->DisplayTitle()) : "",
              qUtf8Printable(message));
    m_loaded = false;
    // A device that is missing fails every item alike: stop rather than run through them.
    if (CanGoNext() && !QMediaDevices::defaultAudioOutput().isNull()) {
        // Later, not from inside the failing call: a run of failing items never nests.
        QMetaObject::invokeMethod(
            this, [this, from = m_current] {
                if (m_current == from && CanGoNext())
                    MoveTo(m_current + 1);
            },
            Qt::QueuedConnection);
    } else {
        m_wantPlay = false;
        m_keepTimer->stop();
        SetPreparing(0);
        SetState(State::Paused);
    }
    Q_EMIT failed(message);
}

void CNewsPlayer::KeepPosition()
{
    const CRssItem* item = CurrentItem();
    if (item && m_loaded)
        m_positions.SetPosition(Key(*item), m_audio->Position());
}

void CNewsPlayer::SetState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void CNewsPlayer::SetPreparing(int index)
{
    if (index == m_preparingIndex)
        return;
    m_preparingIndex = index;
    Q_EMIT preparingChanged(index, int(m_queue.size()));
}
