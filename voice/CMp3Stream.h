#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

struct mpg123_handle_struct;
namespace soundtouch {
class SoundTouch;
}

// Decodes an MP3 file (libmpg123) into interleaved signed 16-bit frames at a tempo of
// 0.5 to 2.0 with the pitch kept (SoundTouch). The output format is that of the first
// frame and stays fixed: a file whose rate or channel count changes further on is
// converted by the decoder. Not thread-safe; one reader.
class CMp3Stream
{
public:
    CMp3Stream();
    ~CMp3Stream();
    CMp3Stream(const CMp3Stream&) = delete;
    CMp3Stream& operator=(const CMp3Stream&) = delete;

    // Closes first. On failure nothing stays open and error (when given) says why.
    bool Open(const QString& path, QString* error);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    int SampleRate() const { return m_rate; }
    int Channels() const { return m_channels; }
    // Exact: from the file's Info header or a scan of every frame; 0 when unknown.
    qint64 DurationMs() const;

    // Clamped into [0, duration]; drops what the stretcher held.
    bool SeekMs(qint64 ms);
    // The source time of the last frame Read() gave out.
    qint64 PositionMs() const;

    // Clamped into 0.5..2.0. At 1.0 the decoder's frames pass through untouched.
    void SetTempo(double tempo);
    double Tempo() const { return m_tempo; }

    // Fills up to maxFrames frames; returns the number written, 0 only at the end.
    qint64 Read(qint16* out, qint64 maxFrames);
    bool AtEnd() const;

    static constexpr double kMinTempo = 0.5;
    static constexpr double kMaxTempo = 2.0;

private:
    bool ReachesEnd();
    bool Stretching() const { return m_tempo != 1.0; }
    qint64 Decode(qint16* out, qint64 maxFrames);
    qint64 ReadStretched(qint16* out, qint64 maxFrames);
    void SeekFrames(qint64 frame);
    void UpdateHeard();
    qint64 FramesToMs(qint64 frames) const;

    mpg123_handle_struct* m_handle = nullptr;
    std::unique_ptr<soundtouch::SoundTouch> m_stretch;
    std::vector<qint16> m_decoded;
    std::vector<float> m_samples;
    int m_rate = 0;
    int m_channels = 0;
    qint64 m_lengthFrames = 0; // 0 while unknown
    double m_tempo = 1.0;
    qint64 m_decodedFrames = 0; // source position of the decoder
    qint64 m_heardFrames = 0;   // source position of the last frame given out
    bool m_decoderDone = false;
    bool m_flushed = false;
};
