#pragma once

#include "CRefCounted.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <unordered_set>
#include <vector>

class CAudioOutput;
class CListenPositions;
class CRssItem;
class CRssNode;
class CRssReaderDoc;
class QSettings;
class QTimer;

// The news player: the items of a channel or group in list order from the one picked,
// each played from its MP3 (spoken news are converted first, ahead of the queue; podcasts
// play their download), with the position of every item kept across runs. Window thread.
class CNewsPlayer : public QObject
{
    Q_OBJECT
public:
    enum class State { Stopped, Preparing, Playing, Paused };

    // settings keeps the speed across runs; it may be null.
    CNewsPlayer(CRssReaderDoc& document, CListenPositions& positions, QSettings* settings,
                QObject* parent = nullptr);
    ~CNewsPlayer() override;

    // Plays items in the order given, starting with the first; source names where they
    // come from (a channel or group) for the log.
    void Listen(std::vector<CRefPtr<CRssItem>> items, const QString& source);
    // A news item changed (its voice became ready or failed): the queue looks again.
    void ItemChanged(CRssItem* item);

    bool HasItem() const { return CurrentItem() != nullptr; }
    CRssItem* CurrentItem() const;
    QString ItemTitle() const;
    QString ChannelName() const;
    // A local picture for the desktop's media widgets: the channel's image when it has one
    // stored, else the program icon; may be empty.
    QString ArtFile() const;
    State PlayState() const { return m_state; }
    qint64 Position() const;  // milliseconds into the current item
    qint64 Duration() const;  // milliseconds; 0 while unknown
    double Rate() const { return m_rate; }
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    // While items are converted before they can play: the 1-based number of the one being
    // prepared and the number in the queue; 0 otherwise.
    int PreparingIndex() const { return m_preparingIndex; }
    int QueueSize() const { return int(m_queue.size()); }

    static constexpr double kMinRate = 0.75;
    static constexpr double kMaxRate = 2.0;
    // The steps of the back and forward buttons.
    static constexpr qint64 kBackStepMs = 15000;
    static constexpr qint64 kForwardStepMs = 30000;

public Q_SLOTS:
    void PlayPause();
    void Play();
    void Pause();
    // Ends playback and forgets the queue (the position is kept).
    void Stop();
    void Next();
    void Previous();
    void SeekBy(qint64 milliseconds);
    void SetPosition(qint64 milliseconds);
    void SetRate(double rate);

Q_SIGNALS:
    // The current item or what is known of it (title, channel, length) changed.
    void itemChanged();
    void stateChanged();
    void positionChanged(qint64 milliseconds);
    void durationChanged(qint64 milliseconds);
    void rateChanged(double rate);
    // Playback jumped (a seek, not the clock running on).
    void seeked(qint64 milliseconds);
    // "Preparing 2 of 12…": index 0 when nothing is being prepared.
    void preparingChanged(int index, int count);
    // An item could not be played; the player goes on with the next one.
    void failed(const QString& message);

private:
    void StartCurrent();
    void Prepare(CRssItem& item);
    void OnFinished();
    void OnFailed(const QString& message);
    void SkipFailed(const QString& message);
    void MoveTo(int index);
    void KeepPosition();
    void SetState(State state);
    void SetPreparing(int index);

    CRssReaderDoc& m_document;
    CListenPositions& m_positions;
    QSettings* m_settings;
    std::vector<CRefPtr<CRssItem>> m_queue;
    std::unordered_set<const CRssItem*> m_requested; // voice asked for since Listen
    int m_current = -1;
    State m_state = State::Stopped;
    double m_rate = 1.0;
    int m_preparingIndex = 0;
    bool m_loaded = false;   // the current item's file is in the audio output
    bool m_wantPlay = false; // play once the current item is ready
    mutable QString m_artFile;
    QElapsedTimer m_sinceListen;
    CAudioOutput* m_audio;
    QTimer* m_keepTimer;
};
