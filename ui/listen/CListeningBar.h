#pragma once

#include <QFrame>

class CNewsPlayer;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

// The bar under the panes that drives the news player: previous and next news, back 15 s
// and forward 30 s, play/pause, the news and its channel (or "Preparing 2 of 12…"), a
// seek slider between the elapsed and the remaining time, and the speed.
class CListeningBar : public QFrame
{
    Q_OBJECT
public:
    explicit CListeningBar(CNewsPlayer& player, QWidget* parent = nullptr);

    // "1:05", "12:00", "1:02:03".
    static QString TimeText(qint64 milliseconds);
    // The speeds offered, slowest first.
    static const QList<double>& Speeds();

private:
    QToolButton* AddButton(const QString& name, const QString& tip, int icon);
    void ShowItem();
    void ShowState();
    void ShowPosition(qint64 milliseconds);
    void ShowDuration(qint64 milliseconds);
    void ShowRate(double rate);
    void SeekToSlider();

    CNewsPlayer& m_player;
    QToolButton* m_previous;
    QToolButton* m_back;
    QToolButton* m_playPause;
    QToolButton* m_forward;
    QToolButton* m_next;
    QLabel* m_title;
    QLabel* m_channel;
    QLabel* m_elapsed;
    QSlider* m_slider;
    QLabel* m_remaining;
    QComboBox* m_speed;
    qint64 m_duration = 0;
};
