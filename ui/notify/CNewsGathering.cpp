#include "CNewsGathering.h"

CNewsGathering::CNewsGathering(std::function<bool()> downloading, QObject* parent, int quietMs,
                               int longestMs)
    : QObject(parent), m_downloading(std::move(downloading)), m_quietMs(quietMs),
      m_longestMs(longestMs)
{
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &CNewsGathering::Settle);
}

void CNewsGathering::Add(CRssItem* item)
{
    if (m_round.IsEmpty())
        m_since.start();
    m_round.Add(item);
    if (!m_round.IsEmpty())
        m_quiet.start(m_quietMs);
}

void CNewsGathering::Settle()
{
    if (m_downloading && m_downloading() && m_since.elapsed() < m_longestMs) {
        m_quiet.start(m_quietMs);
        return;
    }
    const NewsRound round = std::exchange(m_round, {});
    if (!round.IsEmpty())
        Q_EMIT gathered(round);
}
