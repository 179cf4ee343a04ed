#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <utility>
#include <vector>

// Measures how long the window thread stays away from its event loop: a timer asks to run
// every few milliseconds and the longest lateness is kept. Only for benchmarks (the
// environment variable CALVORIA_MEASURE_STALLS): it wakes the thread all the time.
class CStallMeter : public QObject
{
    Q_OBJECT
public:
    explicit CStallMeter(QObject* parent = nullptr);
    ~CStallMeter() override;

    qint64 LongestStallMs() const { return m_longest; }

private:
    void Tick();

    static constexpr int kPeriodMs = 5;
    // Stalls at least this long are listed with the time they began (since the meter
    // started, which is when the event loop starts).
    static constexpr int kReportMs = 20;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    std::vector<std::pair<qint64, qint64>> m_stalls;
};
