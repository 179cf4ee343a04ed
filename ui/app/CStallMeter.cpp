#include "CStallMeter.h"

#include <cstdio>

CStallMeter::CStallMeter(QObject* parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CStallMeter::Tick);
    m_clock.start();
    m_timer.start();
}

CStallMeter::~CStallMeter()
{
    for (const auto& [at, length] : m_stalls)
        std::fprintf(stderr, "event-loop stall at %lld ms: %lld ms\n", static_cast<long long>(at),
                     static_cast<long long>(length));
    std::fprintf(stderr, "longest event-loop stall: %lld ms\n", static_cast<long long>(m_longest));
}

void CStallMeter::Tick()
{
    const qint64 now = m_clock.elapsed();
    const qint64 stall = now - m_last - kPeriodMs;
    m_longest = std::max(m_longest, stall);
    if (stall >= kReportMs)
        m_stalls.emplace_back(m_last, stall);
    m_last = now;
}
