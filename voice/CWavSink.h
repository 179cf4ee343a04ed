#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <vector>

struct SRC_STATE_tag;

// Takes the speech engine's samples as they come, resamples them to 16 kHz and appends
// them to a 16-bit mono PCM WAV file whose sizes are filled in when it is finished. A
// file that is not finished is removed with the sink.
class CWavSink
{
public:
    static constexpr int kHeaderSize = 44;
    static constexpr qint64 kBytesPerSecond = 32000;
    // What the 32-bit size fields of the file can describe.
    static constexpr qint64 kMaxDataBytes = 0xFFFFFFFFll - 36;

    // More samples than maxDataBytes hold fail the sink (TooLong).
    explicit CWavSink(qint64 maxDataBytes = kMaxDataBytes);
    CWavSink(const CWavSink&) = delete;
    CWavSink& operator=(const CWavSink&) = delete;
    ~CWavSink();

    bool SetFormat(int inputRate);
    bool HasFormat() const { return m_resampler != nullptr; }
    bool Open(const QString& path);
    bool Add(const short* samples, int count);
    bool Finish();
    bool Failed() const { return m_failed; }
    bool TooLong() const { return m_tooLong; }

private:
    bool Process(const float* in, long count, bool last);
    bool Write(long frames);
    bool Fail();

    SRC_STATE_tag* m_resampler = nullptr;
    double m_ratio = 1;
    QFile m_file;
    std::vector<float> m_in;
    std::vector<float> m_out;
    std::vector<short> m_pcm;
    qint64 m_maxDataBytes;
    qint64 m_dataBytes = 0;
    bool m_failed = false;
    bool m_tooLong = false;
};
