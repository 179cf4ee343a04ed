#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

class CMp3Stream;
class QAudioSink;
class QIODevice;

// Plays one MP3 file at a time to the default audio output at 0.75 to 2.0 times its speed,
// the pitch kept. Decoded frames are written to the device on the window thread as it
// makes room, keeping it no more than a short buffer ahead, so that pausing and seeking
// answer within a fraction of a second. Window thread.
class CAudioOutput : public QObject
{
    Q_OBJECT
public:
    explicit CAudioOutput(QObject* parent = nullptr);
    ~CAudioOutput() override;

    // Opens the file, ready to play from startMs; playback of the file before ends. On
    // failure (reported here only, not through failed()) ErrorText() says why.
    bool Load(const QString& mp3Path, qint64 startMs);
    void Play();
    void Pause();
    // Releases the audio device; the file stays loaded at its position.
    void Stop();
    void Seek(qint64 ms);
    // Kept across Load()s.
    void SetRate(double rate);
    double Rate() const { return m_rate; }

    // Milliseconds of the file heard so far: what was decoded less what the device still
    // holds. Never goes back while playing on.
    qint64 Position() const;
    qint64 Duration() const;
    bool IsPlaying() const { return m_playing; }
    QString ErrorText() const { return m_error; }

    static constexpr double kMinRate = 0.75;
    static constexpr double kMaxRate = 2.0;

Q_SIGNALS:
    // About four times a second while playing, and after a seek.
    void positionChanged(qint64 ms);
    // The first audio of a Load() was handed to the device.
    void started();
    // The file played to its end and the device has played out what it held.
    void finished();
    // No audio device, a device error, or Play() without a file loaded. A file that turns
    // unreadable while playing ends there, with finished().
    void failed(const QString& message);

private:
    bool StartSink();
    void DropSink();
    void Fail(const QString& message);
    void SinkStateChanged();
    void Feed();
    void Tick();
    void Finish();
    qint64 BufferedBytes() const;

    std::unique_ptr<CMp3Stream> m_stream;
    QAudioSink* m_sink = nullptr;
    QIODevice* m_device = nullptr; // the sink's, written to
    qint64 m_written = 0;          // bytes written to the sink
    std::vector<qint16> m_frames;
    QTimer m_feed;
    QTimer m_tick;
    QElapsedTimer m_draining; // runs once the last frame was written
    double m_rate = 1.0;
    QString m_error;
    bool m_playing = false;
    bool m_startedSent = false;
    mutable qint64 m_floorMs = 0;
};
