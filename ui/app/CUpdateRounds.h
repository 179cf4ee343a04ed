#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// "Update all groups" asked for from outside (later starts, the session, scripts): a
// request that arrives while a round runs makes one more round after it, however many
// such requests there are, so a flood of them costs two rounds, not one each.
class CUpdateRounds : public QObject
{
    Q_OBJECT
public:
    // startRound updates every channel; roundRunning tells whether its downloads still
    // run. The end of a round is looked for every checkMs.
    CUpdateRounds(std::function<void()> startRound, std::function<bool()> roundRunning,
                  QObject* parent = nullptr, int checkMs = 250);

    void Request();

private:
    void Check();

    std::function<void()> m_startRound;
    std::function<bool()> m_roundRunning;
    QTimer m_check;
    bool m_running = false;
    bool m_pending = false;
};
