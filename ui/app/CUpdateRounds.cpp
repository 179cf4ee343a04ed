#include "CUpdateRounds.h"

CUpdateRounds::CUpdateRounds(std::function<void()> startRound, std::function<bool()> roundRunning,
                             QObject* parent, int checkMs)
    : QObject(parent), m_startRound(std::move(startRound)), m_roundRunning(std::move(roundRunning))
{
    m_check.setInterval(checkMs);
    connect(&m_check, &QTimer::timeout, this, &CUpdateRounds::Check);
}

void CUpdateRounds::Request()
{
    if (m_running) {
        m_pending = true;
        return;
    }
    m_running = true;
    m_startRound();
    m_check.start();
}

void CUpdateRounds::Check()
{
    // A round counts as running until the event loop has seen it end: requests handled
    // in one go with it are merged even when its downloads end at once.
    if (m_roundRunning())
        return;
    if (m_pending) {
        m_pending = false;
        m_startRound();
        return;
    }
    m_running = false;
    m_check.stop();
}
