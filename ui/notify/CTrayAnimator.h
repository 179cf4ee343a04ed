#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>

class QAbstractAnimation;
class QWidget;

// Shrinks a window into the notification area and grows it back out of it (geometry and
// opacity), or simply hides and shows it when the desktop asks for no motion.
class CTrayAnimator : public QObject
{
    Q_OBJECT
public:
    // Whether to animate: as the desktop says (its general UI effects and the style's
    // animation hint), or always, or never (an explicit setting).
    enum class Motion
    {
        FollowDesktop,
        On,
        Off
    };

    explicit CTrayAnimator(QObject* parent = nullptr);
    ~CTrayAnimator() override;

    void setMotion(Motion motion) { m_motion = motion; }
    Motion motion() const { return m_motion; }
    bool animationsWanted(const QWidget* window) const;
    bool isRunning() const;

    // Ends with the window hidden, its geometry and opacity as before the animation.
    void animateToTray(QWidget* window, const QRect& trayRect, bool force);
    // Ends with the window shown at its own geometry, opaque, raised and active.
    void animateFromTray(QWidget* window, const QRect& trayRect, bool force);

Q_SIGNALS:
    void finished();

private:
    void run(QWidget* window, const QRect& from, const QRect& to, qreal fromOpacity,
             qreal toOpacity, std::function<void()> done);
    void finishNow();

    Motion m_motion = Motion::FollowDesktop;
    QPointer<QAbstractAnimation> m_animation;
    std::function<void()> m_done;
};
