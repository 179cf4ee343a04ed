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
    std::fprintf(stderr, "longest event-loop stall: %lld ms\n", static_cast<long long>(m_longest));
}

void CStallMeter::Tick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = std::max(m_longest, now - m_last - kPeriodMs);
    m_last = now;
}
