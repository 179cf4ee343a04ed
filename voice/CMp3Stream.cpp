#include "CMp3Stream.h"

#include <QFile>
#include <QFileInfo>
#include <SoundTouch.h>
#include <algorithm>
#include <mpg123.h>
#include <type_traits>

using namespace Qt::Literals::StringLiterals;

namespace {

// Frames asked of the decoder per step while stretching: about 50 ms at 22 050 Hz.
constexpr qint64 kDecodeChunk = 1152;

bool InitDecoderLibrary()
{
    static const bool ok = mpg123_init() == MPG123_OK;
    return ok;
}

QString DecoderError(mpg123_handle* handle)
{
    return QString::fromUtf8(mpg123_strerror(handle));
}

} // namespace

CMp3Stream::CMp3Stream() = default;

CMp3Stream::~CMp3Stream()
{
    Close();
}

bool CMp3Stream::Open(const QString& path, QString* error)
{
    Close();
    auto fail = [&](const QString& message) {
        Close();
        if (error)
            *error = message;
        return false;
    };
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(u"The file %1 does not exist."_s.arg(path));
    if (!info.isReadable())
        return fail(u"The file %1 cannot be read."_s.arg(path));
    if (info.size() == 0)
        return fail(u"The file %1 is empty."_s.arg(path));
    if (!InitDecoderLibrary())
        return fail(u"The MP3 decoder could not be started."_s);

    int code = MPG123_OK;
    m_handle = mpg123_new(nullptr, &code);
    if (!m_handle)
        return fail(u"The MP3 decoder could not be started: %1"_s.arg(
            QString::fromUtf8(mpg123_plain_strerror(code))));
    mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);

    // The first frame decides the output format; the file is opened once more with only
    // that format allowed, so that the decoder converts whatever follows into it.
    const QByteArray localPath = QFile::encodeName(path);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(m_handle, localPath.constData()) != MPG123_OK)
        return fail(u"The file %1 cannot be opened: %2"_s.arg(path, DecoderError(m_handle)));
    if (mpg123_getformat(m_handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0)
        return fail(u"The file %1 is not an MP3 file."_s.arg(path));
    // Without an Info header the decoder's delay cannot be told from the sound, and
    // taking it off would make the output shorter than the length counted.
    long delay = -1;
    double unused = 0;
    if (mpg123_getstate(m_handle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay < 0)
        mpg123_param(m_handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_close(m_handle);
    const int layout = channels >= 2 ? MPG123_STEREO : MPG123_MONO;
    if (mpg123_format_none(m_handle) != MPG123_OK ||
        mpg123_format(m_handle, rate, layout, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(m_handle, localPath.constData()) != MPG123_OK ||
        mpg123_getformat(m_handle, &rate, &channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16)
        return fail(u"The file %1 cannot be decoded: %2"_s.arg(path, DecoderError(m_handle)));
    m_rate = int(rate);
    m_channels = channels;

    // Without an Info header the length is a guess from the file size: count the frames,
    // which also fills the seek index. With one, it is the length of the whole file, which
    // a download cut short does not reach.
    long accurate = 0;
    if (mpg123_getstate(m_handle, MPG123_ACCURATE, &accurate, &unused) != MPG123_OK || !accurate ||
        !ReachesEnd())
        mpg123_scan(m_handle);
    m_lengthFrames = std::max<qint64>(0, mpg123_length(m_handle));

    m_stretch = std::make_unique<soundtouch::SoundTouch>();
    m_stretch->setSampleRate(uint(m_rate));
    m_stretch->setChannels(uint(m_channels));
    m_stretch->setTempo(m_tempo);
    SeekFrames(0);
    return true;
}

bool CMp3Stream::ReachesEnd()
{
    const off_t length = mpg123_length(m_handle);
    if (length <= 0)
        return false;
    if (mpg123_seek(m_handle, std::max<off_t>(0, length - m_rate / 10), SEEK_SET) < 0)
        return false;
    std::vector<qint16> frames(size_t(kDecodeChunk * m_channels));
    size_t done = 0;
    int code = MPG123_NEW_FORMAT;
    for (int tries = 0; tries < 4 && done == 0 && (code == MPG123_OK || code == MPG123_NEW_FORMAT);
         ++tries)
        code = mpg123_read(m_handle, reinterpret_cast<unsigned char*>(frames.data()),
                           frames.size() * sizeof(qint16), &done);
    return done > 0;
}

void CMp3Stream::Close()
{
    if (m_handle) {
        mpg123_close(m_handle);
        mpg123_delete(m_handle);
        m_handle = nullptr;
    }
    m_stretch.reset();
    m_rate = m_channels = 0;
    m_lengthFrames = m_decodedFrames = m_heardFrames = 0;
    m_decoderDone = m_flushed = false;
}

qint64 CMp3Stream::DurationMs() const
{
    return FramesToMs(m_lengthFrames);
}

qint64 CMp3Stream::FramesToMs(qint64 frames) const
{
    return m_rate > 0 ? frames * 1000 / m_rate : 0;
}

bool CMp3Stream::SeekMs(qint64 ms)
{
    if (!m_handle)
        return false;
    qint64 frame = std::max<qint64>(0, ms) * m_rate / 1000;
    if (m_lengthFrames > 0)
        frame = std::min(frame, m_lengthFrames);
    SeekFrames(frame);
    return true;
}

void CMp3Stream::SeekFrames(qint64 frame)
{
    const off_t reached = mpg123_seek(m_handle, off_t(frame), SEEK_SET);
    m_decodedFrames = reached >= 0 ? qint64(reached) : frame;
    m_heardFrames = m_decodedFrames;
    m_decoderDone = m_flushed = false;
    if (m_stretch)
        m_stretch->clear();
}

qint64 CMp3Stream::PositionMs() const
{
    return FramesToMs(m_heardFrames);
}

void CMp3Stream::SetTempo(double tempo)
{
    tempo = std::clamp(tempo, kMinTempo, kMaxTempo);
    if (tempo == m_tempo)
        return;
    m_tempo = tempo;
    if (!m_stretch)
        return;
    m_stretch->setTempo(tempo);
    // What the stretcher holds was cut for the old tempo: start again from what was heard,
    // which keeps the position exact.
    SeekFrames(m_heardFrames);
}

bool CMp3Stream::AtEnd() const
{
    if (!m_handle)
        return true;
    if (!m_decoderDone)
        return false;
    return !Stretching() || (m_flushed && m_stretch->numSamples() == 0);
}

qint64 CMp3Stream::Read(qint16* out, qint64 maxFrames)
{
    if (!m_handle || maxFrames <= 0)
        return 0;
    if (!Stretching()) {
        const qint64 frames = Decode(out, maxFrames);
        m_decodedFrames += frames;
        m_heardFrames = m_decodedFrames;
        return frames;
    }
    return ReadStretched(out, maxFrames);
}

qint64 CMp3Stream::Decode(qint16* out, qint64 maxFrames)
{
    const qint64 frameBytes = qint64(m_channels) * qint64(sizeof(qint16));
    qint64 got = 0;
    int idle = 0;
    while (got < maxFrames && !m_decoderDone) {
        size_t done = 0;
        const int code =
            mpg123_read(m_handle, reinterpret_cast<unsigned char*>(out + got * m_channels),
                        size_t((maxFrames - got) * frameBytes), &done);
        got += qint64(done) / frameBytes;
        if (code == MPG123_NEW_FORMAT || (code == MPG123_OK && done > 0)) {
            idle = 0;
            continue;
        }
        // The end, an error the decoder could not step over, or a decoder that gives
        // nothing again and again: all end the stream.
        if (code != MPG123_OK || ++idle > 16)
            m_decoderDone = true;
    }
    return got;
}

qint64 CMp3Stream::ReadStretched(qint16* out, qint64 maxFrames)
{
    using Sample = soundtouch::SAMPLETYPE;
    static_assert(std::is_same_v<Sample, float>, "SoundTouch is expected to work in float");
    qint64 got = 0;
    while (got < maxFrames) {
        if (m_stretch->numSamples() > 0) {
            const qint64 want = std::min<qint64>(maxFrames - got, m_stretch->numSamples());
            m_samples.resize(size_t(want * m_channels));
            const qint64 frames = m_stretch->receiveSamples(m_samples.data(), uint(want));
            qint16* target = out + got * m_channels;
            for (qint64 i = 0; i < frames * m_channels; ++i)
                target[i] =
                    qint16(std::clamp(m_samples[size_t(i)] * 32768.0f, -32768.0f, 32767.0f));
            got += frames;
            continue;
        }
        if (m_decoderDone) {
            if (m_flushed)
                break;
            m_stretch->flush();
            m_flushed = true;
            continue;
        }
        m_decoded.resize(size_t(kDecodeChunk * m_channels));
        const qint64 frames = Decode(m_decoded.data(), kDecodeChunk);
        if (frames > 0) {
            m_samples.resize(size_t(frames * m_channels));
            for (qint64 i = 0; i < frames * m_channels; ++i)
                m_samples[size_t(i)] = float(m_decoded[size_t(i)]) / 32768.0f;
            m_stretch->putSamples(m_samples.data(), uint(frames));
            m_decodedFrames += frames;
        }
    }
    UpdateHeard();
    return got;
}

void CMp3Stream::UpdateHeard()
{
    // What went in, less what the stretcher still holds: its input as it is, its ready
    // output scaled back to source time.
    const double held =
        double(m_stretch->numUnprocessedSamples()) + double(m_stretch->numSamples()) * m_tempo;
    qint64 heard = m_decodedFrames - qint64(held + 0.5);
    if (m_flushed)
        heard = m_decodedFrames - qint64(double(m_stretch->numSamples()) * m_tempo + 0.5);
    if (m_lengthFrames > 0)
        heard = std::min(heard, m_lengthFrames);
    m_heardFrames = std::max(m_heardFrames, heard);
}
