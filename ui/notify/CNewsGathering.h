#pragma once

#include "NewsRound.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Gathers the new items of one refresh into one round: the round ends once no news came
// for a quiet moment and no channel is downloading any more, or at the latest after
// longestMs, so that a refresh that never seems to end still gets announced.
class CNewsGathering : public QObject
{
    Q_OBJECT
public:
    CNewsGathering(std::function<bool()> downloading, QObject* parent = nullptr, int quietMs = 1000,
                   int longestMs = 30000);

    void Add(CRssItem* item);

Q_SIGNALS:
    void gathered(const NewsRound& round);

private:
    void Settle();

    std::function<bool()> m_downloading;
    int m_quietMs;
    int m_longestMs;
    QTimer m_quiet;
    QElapsedTimer m_since;
    NewsRound m_round;
};
