#include "CWavSink.h"

#include "CSpeechSynth.h"

#include <QByteArray>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <samplerate.h>

namespace {

QByteArray WavHeader(quint32 dataBytes)
{
    QByteArray header(CWavSink::kHeaderSize, '\0');
    char* p = header.data();
    const auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, p + at); };
    const auto put16 = [&](int at, quint16 value) { qToLittleEndian(value, p + at); };
    std::copy_n("RIFF", 4, p);
    put32(4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, p + 8);
    put32(16, 16); // format chunk size
    put16(20, 1);  // PCM
    put16(22, 1);  // mono
    put32(24, CSpeechSynth::OutputSampleRate);
    put32(28, CSpeechSynth::OutputSampleRate * 2); // bytes per second
    put16(32, 2);                                  // bytes per sample frame
    put16(34, 16);                                 // bits per sample
    std::copy_n("data", 4, p + 36);
    put32(40, dataBytes);
    return header;
}

} // namespace

CWavSink::CWavSink(qint64 maxDataBytes)
    : m_maxDataBytes(std::clamp<qint64>(maxDataBytes, 0, kMaxDataBytes))
{
}

CWavSink::~CWavSink()
{
    if (m_resampler)
        src_delete(m_resampler);
    if (m_file.isOpen()) {
        m_file.close();
        m_file.remove();
    }
}

bool CWavSink::SetFormat(int inputRate)
{
    if (inputRate <= 0)
        return false;
    m_ratio = double(CSpeechSynth::OutputSampleRate) / inputRate;
    int error = 0;
    m_resampler = src_new(SRC_SINC_FASTEST, 1, &error);
    return m_resampler && src_is_valid_ratio(m_ratio);
}

bool CWavSink::Open(const QString& path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           m_file.write(WavHeader(0)) == kHeaderSize;
}

bool CWavSink::Add(const short* samples, int count)
{
    m_in.resize(size_t(count));
    src_short_to_float_array(samples, m_in.data(), count);
    return Process(m_in.data(), count, false);
}

bool CWavSink::Finish()
{
    const float none = 0;
    if (!Process(&none, 0, true))
        return false;
    const QByteArray header = WavHeader(quint32(m_dataBytes));
    if (!m_file.seek(0) || m_file.write(header) != kHeaderSize || !m_file.flush())
        return false;
    m_file.close();
    return m_file.error() == QFileDevice::NoError;
}

bool CWavSink::Process(const float* in, long count, bool last)
{
    SRC_DATA data{};
    data.data_in = in;
    data.input_frames = count;
    data.src_ratio = m_ratio;
    data.end_of_input = last ? 1 : 0;
    const long room = long(std::ceil(double(count) * m_ratio)) + 512;
    m_out.resize(size_t(room));
    for (;;) {
        data.data_out = m_out.data();
        data.output_frames = room;
        if (src_process(m_resampler, &data) != 0)
            return Fail();
        if (data.output_frames_gen > 0 && !Write(data.output_frames_gen))
            return false;
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
        if (data.input_frames_used == 0 && data.output_frames_gen == 0)
            break;
        if (data.input_frames == 0 && !last)
            break;
    }
    return true;
}

bool CWavSink::Write(long frames)
{
    m_pcm.resize(size_t(frames));
    src_float_to_short_array(m_out.data(), m_pcm.data(), int(frames));
    qToLittleEndian<qint16>(m_pcm.data(), frames, m_pcm.data());
    const qint64 bytes = qint64(frames) * 2;
    if (m_dataBytes + bytes > m_maxDataBytes) {
        m_tooLong = true; // stopped here rather than sizes that wrap round
        return Fail();
    }
    if (m_file.write(reinterpret_cast<const char*>(m_pcm.data()), bytes) != bytes)
        return Fail();
    m_dataBytes += bytes;
    return true;
}

bool CWavSink::Fail()
{
    m_failed = true;
    return false;
}
