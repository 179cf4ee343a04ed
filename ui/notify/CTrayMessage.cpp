#include "CTrayMessage.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPropertyAnimation>

CTrayMessage::CTrayMessage(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus)
{
    setWindowTitle(QStringLiteral("NewsMessageWindowCalvoria"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    m_displayTimer.setSingleShot(true);
    connect(&m_displayTimer, &QTimer::timeout, this, &CTrayMessage::displayTimeUp);
}

CTrayMessage::~CTrayMessage() = default;

void CTrayMessage::popUp(const QRect& home)
{
    m_home = m_target = home.topLeft();
    m_shown = 0;
    runEffect(m_showKind, 1);
    show();
}

void CTrayMessage::dismiss()
{
    if (m_dismissing)
        return;
    m_dismissing = true;
    m_displayTimer.stop();
    Q_EMIT dismissing(this);
    if (!isVisible()) {
        // Never shown: nothing to animate, but the owner hears of it from the event loop
        // like any other ending.
        if (m_effectAnimation)
            m_effectAnimation->stop();
        const int run = ++m_effectRun;
        QMetaObject::invokeMethod(
            this, [this, run] { effectEnded(run); }, Qt::QueuedConnection);
        return;
    }
    runEffect(m_hideKind, 0);
}

void CTrayMessage::runEffect(int kind, qreal to)
{
    if (m_effectAnimation)
        m_effectAnimation->stop();
    const int run = ++m_effectRun;
    m_effect = to > 0 ? AppearEffect(kind, m_edge) : DisappearEffect(kind, m_edge);
    if (m_effect.shape == PopupEffectShape::None || m_effectMs <= 0) {
        setShown(to);
        QMetaObject::invokeMethod(
            this, [this, run] { effectEnded(run); }, Qt::QueuedConnection);
        return;
    }
    setShown(m_shown);
    auto* animation = new QPropertyAnimation(this, "shown", this);
    animation->setDuration(m_effectMs);
    animation->setStartValue(m_shown);
    animation->setEndValue(to);
    connect(animation, &QAbstractAnimation::finished, this, [this, run] { effectEnded(run); });
    m_effectAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CTrayMessage::effectEnded(int run)
{
    // An effect that another one replaced ends without consequence.
    if (run != m_effectRun)
        return;
    if (!m_dismissing) {
        m_effect = {};
        setShown(1);
        m_displayTimer.start(m_displayMs);
        return;
    }
    ++m_effectRun;
    if (m_slide)
        m_slide->stop();
    hide();
    Q_EMIT hidden(this);
    deleteLater();
}

void CTrayMessage::displayTimeUp()
{
    if (m_mouseInside)
        m_displayTimer.start(kRecheckMs);
    else
        dismiss();
}

void CTrayMessage::setShown(qreal shown)
{
    m_shown = shown;
    if (m_effect.shape == PopupEffectShape::Fade)
        setWindowOpacity(shown);
    else if (windowOpacity() < 1)
        setWindowOpacity(1);
    applyFrame();
}

void CTrayMessage::setHomePos(const QPoint& pos)
{
    m_home = pos;
    applyFrame();
}

void CTrayMessage::moveHome(const QPoint& to, bool animated)
{
    if (m_slide)
        m_slide->stop();
    m_target = to;
    if (!animated || m_effectMs <= 0 || !isVisible()) {
        setHomePos(to);
        return;
    }
    auto* slide = new QPropertyAnimation(this, "homePos", this);
    slide->setDuration(m_effectMs);
    slide->setStartValue(m_home);
    slide->setEndValue(to);
    m_slide = slide;
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}

bool CTrayMessage::isSliding() const
{
    return m_slide && m_slide->state() == QAbstractAnimation::Running;
}

void CTrayMessage::applyFrame()
{
    const PopupFrame frame = EffectFrame(m_effect, home(), m_shown);
    const bool offsetChanged = frame.contentOffset != m_contentOffset;
    m_contentOffset = frame.contentOffset;
    if (frame.window != geometry()) {
        setGeometry(frame.window);
        Q_EMIT frameApplied();
    }
    if (offsetChanged)
        update();
}

void CTrayMessage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.translate(m_contentOffset);
    paintContent(painter);
}

void CTrayMessage::enterEvent(QEnterEvent* event)
{
    m_mouseInside = true;
    QWidget::enterEvent(event);
}

void CTrayMessage::leaveEvent(QEvent* event)
{
    m_mouseInside = false;
    QWidget::leaveEvent(event);
}
