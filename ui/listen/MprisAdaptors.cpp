#include "MprisAdaptors.h"

#include "CNewsPlayer.h"
#include "CRssItem.h"
#include "RssTypes.h"

#include <QUrl>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

CMprisRootAdaptor::CMprisRootAdaptor(QObject* object, std::function<void()> raise)
    : QDBusAbstractAdaptor(object), m_raise(std::move(raise))
{
}

QString CMprisRootAdaptor::Identity() const
{
    return u"Calvoria"_s;
}

QString CMprisRootAdaptor::DesktopEntry() const
{
    return u"org.calvoria.calvoria"_s;
}

void CMprisRootAdaptor::Raise()
{
    if (m_raise)
        m_raise();
}

CMprisPlayerAdaptor::CMprisPlayerAdaptor(QObject* object, CNewsPlayer& player)
    : QDBusAbstractAdaptor(object), m_player(player)
{
}

QString CMprisPlayerAdaptor::PlaybackStatus() const
{
    switch (m_player.PlayState()) {
    case CNewsPlayer::State::Playing:
    // The item is being converted and starts by itself when ready: the widget offers Pause
    // (which the player honours) rather than a Play button that seems to do nothing, and
    // does not grey the player out as it would for "Stopped".
    case CNewsPlayer::State::Preparing:
        return u"Playing"_s;
    case CNewsPlayer::State::Paused:
        return u"Paused"_s;
    case CNewsPlayer::State::Stopped:
        break;
    }
    return u"Stopped"_s;
}

double CMprisPlayerAdaptor::Rate() const
{
    return m_player.Rate();
}

void CMprisPlayerAdaptor::SetRate(double rate)
{
    // The interface asks a player to take a rate of 0 as Pause.
    if (rate <= 0.0) {
        m_player.Pause();
        return;
    }
    m_player.SetRate(std::clamp(rate, CNewsPlayer::kMinRate, CNewsPlayer::kMaxRate));
}

double CMprisPlayerAdaptor::MinimumRate() const
{
    return CNewsPlayer::kMinRate;
}

double CMprisPlayerAdaptor::MaximumRate() const
{
    return CNewsPlayer::kMaxRate;
}

QDBusObjectPath CMprisPlayerAdaptor::TrackId() const
{
    const CRssItem* item = m_player.CurrentItem();
    if (!item)
        return {};
    return QDBusObjectPath(u"/org/calvoria/news/"_s + IdentityHex(item->Identity()));
}

QVariantMap CMprisPlayerAdaptor::Metadata() const
{
    if (!m_player.HasItem()) {
        // What the interface names the absence of a track.
        return {{u"mpris:trackid"_s,
                 QVariant::fromValue(QDBusObjectPath(u"/org/mpris/MediaPlayer2/TrackList/NoTrack"_s))}};
    }
    const QString channel = m_player.ChannelName();
    QVariantMap data{{u"mpris:trackid"_s, QVariant::fromValue(TrackId())},
                     {u"xesam:title"_s, m_player.ItemTitle()},
                     {u"xesam:artist"_s, QStringList{channel}},
                     {u"xesam:album"_s, channel}};
    if (const qint64 duration = m_player.Duration(); duration > 0)
        data.insert(u"mpris:length"_s, qlonglong(duration) * 1000);
    if (const QString art = m_player.ArtFile(); !art.isEmpty())
        data.insert(u"mpris:artUrl"_s, QUrl::fromLocalFile(art).toString());
    return data;
}

qlonglong CMprisPlayerAdaptor::Position() const
{
    return qlonglong(m_player.Position()) * 1000;
}

bool CMprisPlayerAdaptor::CanGoNext() const
{
    return m_player.CanGoNext();
}

bool CMprisPlayerAdaptor::CanGoPrevious() const
{
    return m_player.CanGoPrevious();
}

bool CMprisPlayerAdaptor::CanPlay() const
{
    return m_player.HasItem();
}

bool CMprisPlayerAdaptor::CanPause() const
{
    return m_player.HasItem();
}

bool CMprisPlayerAdaptor::CanSeek() const
{
    const CNewsPlayer::State state = m_player.PlayState();
    return m_player.Duration() > 0 &&
           (state == CNewsPlayer::State::Playing || state == CNewsPlayer::State::Paused);
}

QVariantMap CMprisPlayerAdaptor::Announced() const
{
    return {{u"PlaybackStatus"_s, PlaybackStatus()}, {u"Rate"_s, Rate()},
            {u"Metadata"_s, Metadata()},             {u"CanGoNext"_s, CanGoNext()},
            {u"CanGoPrevious"_s, CanGoPrevious()},   {u"CanPlay"_s, CanPlay()},
            {u"CanPause"_s, CanPause()},             {u"CanSeek"_s, CanSeek()}};
}

void CMprisPlayerAdaptor::Next()
{
    if (m_player.CanGoNext())
        m_player.Next();
}

void CMprisPlayerAdaptor::Previous()
{
    if (m_player.CanGoPrevious())
        m_player.Previous();
}

void CMprisPlayerAdaptor::Pause()
{
    m_player.Pause();
}

void CMprisPlayerAdaptor::PlayPause()
{
    m_player.PlayPause();
}

void CMprisPlayerAdaptor::Stop()
{
    m_player.Stop();
}

void CMprisPlayerAdaptor::Play()
{
    m_player.Play();
}

void CMprisPlayerAdaptor::Seek(qlonglong offset)
{
    if (CanSeek())
        m_player.SeekBy(offset / 1000);
}

void CMprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong microseconds)
{
    // A request meant for an item that has gone by since the client asked.
    if (!CanSeek() || track != TrackId())
        return;
    if (microseconds < 0 || microseconds > qlonglong(m_player.Duration()) * 1000)
        return;
    m_player.SetPosition(microseconds / 1000);
}

void CMprisPlayerAdaptor::OpenUri(const QString&)
{
}
