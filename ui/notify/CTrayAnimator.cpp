#include "CTrayAnimator.h"

#include <QApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QStyle>
#include <QWidget>

namespace {

constexpr int kDurationMs = 250;

void Activate(QWidget* window)
{
    window->raise();
    window->activateWindow();
}

} // namespace

CTrayAnimator::CTrayAnimator(QObject* parent) : QObject(parent) {}

CTrayAnimator::~CTrayAnimator()
{
    // Never leave a window half shrunk and transparent.
    finishNow();
}

bool CTrayAnimator::animationsWanted(const QWidget* window) const
{
    switch (m_motion) {
    case Motion::On:
        return true;
    case Motion::Off:
        return false;
    case Motion::FollowDesktop:
        break;
    }
    if (!QApplication::isEffectEnabled(Qt::UI_General))
        return false;
    const QStyle* style = window ? window->style() : QApplication::style();
    return style->styleHint(QStyle::SH_Widget_Animation_Duration, nullptr, window) > 0;
}

bool CTrayAnimator::isRunning() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

void CTrayAnimator::animateToTray(QWidget* window, const QRect& trayRect, bool force)
{
    finishNow();
    if (!window)
        return;
    if (!window->isVisible() || !(force || animationsWanted(window))) {
        window->hide();
        return;
    }
    const QRect own = window->geometry();
    // A maximised or full-screen window keeps its place and only fades: moving it would
    // take it out of its state.
    const bool move = !(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    QPointer<QWidget> guard(window);
    run(window, own, move ? trayRect : QRect(), 1.0, 0.0, [guard, own, move] {
        if (!guard)
            return;
        guard->hide();
        if (move)
            guard->setGeometry(own);
        guard->setWindowOpacity(1.0);
    });
}

void CTrayAnimator::animateFromTray(QWidget* window, const QRect& trayRect, bool force)
{
    finishNow();
    if (!window)
        return;
    if (window->isMinimized()) {
        window->showNormal();
        Activate(window);
        return;
    }
    if (window->isVisible() || !(force || animationsWanted(window))) {
        window->show();
        Activate(window);
        return;
    }
    const QRect own = window->geometry();
    const bool move = !(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    window->setWindowOpacity(0.0);
    if (move)
        window->setGeometry(trayRect);
    window->show();
    QPointer<QWidget> guard(window);
    run(window, trayRect, move ? own : QRect(), 0.0, 1.0, [guard, own, move] {
        if (!guard)
            return;
        if (move)
            guard->setGeometry(own);
        guard->setWindowOpacity(1.0);
        Activate(guard);
    });
}

void CTrayAnimator::run(QWidget* window, const QRect& from, const QRect& to, qreal fromOpacity,
                        qreal toOpacity, std::function<void()> done)
{
    auto* group = new QParallelAnimationGroup(this);
    if (to.isValid()) {
        auto* geometry = new QPropertyAnimation(window, "geometry", group);
        geometry->setDuration(kDurationMs);
        geometry->setStartValue(from);
        geometry->setEndValue(to);
        geometry->setEasingCurve(QEasingCurve::InOutQuad);
        group->addAnimation(geometry);
    }
    auto* opacity = new QPropertyAnimation(window, "windowOpacity", group);
    opacity->setDuration(kDurationMs);
    opacity->setStartValue(fromOpacity);
    opacity->setEndValue(toOpacity);
    group->addAnimation(opacity);

    m_done = std::move(done);
    m_animation = group;
    connect(group, &QAbstractAnimation::finished, this, &CTrayAnimator::finishNow);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

// Brings a running animation to its end state at once (also when it ran out by itself).
void CTrayAnimator::finishNow()
{
    if (m_animation) {
        QAbstractAnimation* animation = m_animation;
        m_animation = nullptr;
        animation->disconnect(this);
        animation->stop();
    }
    if (auto done = std::exchange(m_done, nullptr)) {
        done();
        Q_EMIT finished();
    }
}
