#include "CAudioOutput.h"

#include "CMp3Stream.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kBufferMs = 150;
// The device is topped up this often. Written, not pulled: a PulseAudio sink that pulls
// asks in whole 20 ms periods and so may never fill its buffer to the point where the
// server starts playing.
constexpr int kFeedIntervalMs = 10;
constexpr int kPositionIntervalMs = 250;
// While the device plays out what it holds after the last frame, the end is looked for
// this often; a device whose clock stops still ends this long after the expected end.
constexpr int kDrainIntervalMs = 20;
constexpr int kDrainGraceMs = 500;

} // namespace

CAudioOutput::CAudioOutput(QObject* parent)
    : QObject(parent), m_stream(std::make_unique<CMp3Stream>())
{
    m_feed.setInterval(kFeedIntervalMs);
    m_feed.setTimerType(Qt::PreciseTimer);
    connect(&m_feed, &QTimer::timeout, this, &CAudioOutput::Feed);
    m_tick.setInterval(kPositionIntervalMs);
    connect(&m_tick, &QTimer::timeout, this, &CAudioOutput::Tick);
}

CAudioOutput::~CAudioOutput()
{
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        delete m_sink;
    }
}

bool CAudioOutput::Load(const QString& mp3Path, qint64 startMs)
{
    DropSink();
    m_playing = false;
    m_startedSent = false;
    m_error.clear();
    if (!m_stream->Open(mp3Path, &m_error))
        return false;
    m_stream->SetTempo(m_rate);
    if (startMs > 0)
        m_stream->SeekMs(startMs);
    m_floorMs = m_stream->PositionMs();
    return true;
}

void CAudioOutput::Play()
{
    if (m_playing)
        return;
    if (!m_stream->IsOpen()) {
        Fail(u"There is no file to play."_s);
        return;
    }
    if (m_stream->AtEnd()) {
        DropSink();
        m_stream->SeekMs(0);
        m_floorMs = 0;
    }
    if (m_sink && m_sink->state() == QAudio::SuspendedState)
        m_sink->resume();
    else if (!StartSink())
        return;
    m_playing = true;
    Feed();
    m_feed.start();
    m_tick.start();
}

void CAudioOutput::Pause()
{
    if (!m_playing)
        return;
    m_playing = false;
    m_feed.stop();
    m_tick.stop();
    if (m_sink)
        m_sink->suspend();
    Q_EMIT positionChanged(Position());
}

void CAudioOutput::Stop()
{
    // What the device held is dropped unheard: go on from what was heard.
    const qint64 heard = Position();
    m_playing = false;
    DropSink();
    if (m_stream->IsOpen())
        m_stream->SeekMs(heard);
}

void CAudioOutput::Seek(qint64 ms)
{
    if (!m_stream->IsOpen())
        return;
    // What the device holds is from the old place: a new one starts at the new place at
    // once (opening one takes a few milliseconds).
    const bool playing = m_playing;
    m_playing = false;
    DropSink();
    m_stream->SeekMs(ms);
    m_floorMs = m_stream->PositionMs();
    if (playing)
        Play();
    Q_EMIT positionChanged(m_floorMs);
}

void CAudioOutput::SetRate(double rate)
{
    m_rate = std::clamp(rate, kMinRate, kMaxRate);
    if (m_stream->IsOpen())
        m_stream->SetTempo(m_rate);
}

qint64 CAudioOutput::Duration() const
{
    return m_stream->DurationMs();
}

qint64 CAudioOutput::BufferedBytes() const
{
    if (!m_sink)
        return 0;
    const qint64 played = m_sink->format().bytesForDuration(m_sink->processedUSecs());
    return std::max<qint64>(0, m_written - played);
}

qint64 CAudioOutput::Position() const
{
    if (!m_stream->IsOpen())
        return 0;
    qint64 ms = m_stream->PositionMs();
    const qint64 frameBytes = qint64(m_stream->Channels()) * qint64(sizeof(qint16));
    if (m_sink && frameBytes > 0 && m_stream->SampleRate() > 0) {
        const double bufferedMs =
            double(BufferedBytes() / frameBytes) * 1000.0 / m_stream->SampleRate();
        ms -= qint64(bufferedMs * m_stream->Tempo());
    }
    if (m_stream->DurationMs() > 0)
        ms = std::min(ms, m_stream->DurationMs());
    m_floorMs = std::max(m_floorMs, ms);
    return m_floorMs;
}

bool CAudioOutput::StartSink()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        Fail(u"No audio output device was found."_s);
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(m_stream->SampleRate());
    format.setChannelCount(m_stream->Channels());
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        Fail(u"The audio device %1 cannot play %2 Hz audio with %3 channels."_s.arg(
            device.description(), QString::number(format.sampleRate()),
            QString::number(format.channelCount())));
        return false;
    }
    m_sink = new QAudioSink(device, format, this);
    m_sink->setBufferSize(format.bytesForDuration(kBufferMs * 1000));
    connect(m_sink, &QAudioSink::stateChanged, this, &CAudioOutput::SinkStateChanged);
    m_draining.invalidate();
    m_tick.setInterval(kPositionIntervalMs);
    m_written = 0;
    m_device = m_sink->start();
    if (!m_device || m_sink->error() == QAudio::OpenError) {
        Fail(u"The audio device %1 could not be opened."_s.arg(device.description()));
        return false;
    }
    return true;
}

void CAudioOutput::DropSink()
{
    m_feed.stop();
    m_tick.stop();
    m_draining.invalidate();
    m_device = nullptr;
    if (!m_sink)
        return;
    // Possibly called from the sink's own signal: it goes once that has returned.
    m_sink->disconnect(this);
    m_sink->stop();
    m_sink->deleteLater();
    m_sink = nullptr;
}

void CAudioOutput::Fail(const QString& message)
{
    m_error = message;
    m_playing = false;
    DropSink();
    Q_EMIT failed(message);
}

void CAudioOutput::SinkStateChanged()
{
    if (!m_sink)
        return;
    switch (m_sink->error()) {
    case QAudio::OpenError:
        Fail(u"The audio device could not be opened."_s);
        break;
    case QAudio::IOError:
    case QAudio::FatalError:
        Fail(u"The audio device stopped working."_s);
        break;
    case QAudio::NoError:
    case QAudio::UnderrunError:
        break;
    }
}

void CAudioOutput::Feed()
{
    if (!m_playing || !m_device || m_draining.isValid())
        return;
    const qint64 frameBytes = qint64(m_stream->Channels()) * qint64(sizeof(qint16));
    const qint64 room = qint64(m_sink->bytesFree()) / frameBytes;
    if (room <= 0)
        return;
    m_frames.resize(size_t(room * m_stream->Channels()));
    const qint64 frames = m_stream->Read(m_frames.data(), room);
    if (frames > 0) {
        m_written +=
            m_device->write(reinterpret_cast<const char*>(m_frames.data()), frames * frameBytes);
        if (!m_startedSent) {
            m_startedSent = true;
            Q_EMIT started();
        }
    } else if (m_stream->AtEnd()) {
        m_draining.start();
        m_tick.setInterval(kDrainIntervalMs);
    }
}

void CAudioOutput::Tick()
{
    if (m_draining.isValid()) {
        // The device's clock is read in whole microseconds: a frame or two may stay.
        const qint64 slack = m_sink ? m_sink->format().bytesForDuration(1000) : 0;
        if (BufferedBytes() <= slack || m_draining.elapsed() > kBufferMs + kDrainGraceMs) {
            Finish();
            return;
        }
    }
    Q_EMIT positionChanged(Position());
}

void CAudioOutput::Finish()
{
    m_playing = false;
    DropSink();
    m_floorMs = std::max(m_floorMs, m_stream->PositionMs());
    Q_EMIT positionChanged(m_floorMs);
    Q_EMIT finished();
}
