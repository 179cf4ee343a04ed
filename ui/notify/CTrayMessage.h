#pragma once

#include "PopupPlacement.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QPropertyAnimation;

// A small window beside the panel that never takes the focus: it appears with an effect,
// stays for its display time (longer while the mouse rests on it), then disappears with an
// effect and deletes itself. Its place (home) can slide while it shows. All motion runs on
// the event loop; nothing here waits.
class CTrayMessage : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal shown READ shown WRITE setShown)
    Q_PROPERTY(QPoint homePos READ homePos WRITE setHomePos)
public:
    static constexpr int kDefaultShowEffect = 8;
    static constexpr int kDefaultHideEffect = 2;
    static constexpr int kDefaultDisplayMs = 10000;
    static constexpr int kDefaultEffectMs = 250;
    // While the mouse is on the popup its time is looked at again this often.
    static constexpr int kRecheckMs = 50;

    explicit CTrayMessage(QWidget* parent = nullptr);
    ~CTrayMessage() override;

    void setShowEffect(int kind) { m_showKind = kind; }
    void setHideEffect(int kind) { m_hideKind = kind; }
    void setDisplayTime(int ms) { m_displayMs = ms; }
    int displayTime() const { return m_displayMs; }
    void setEffectDuration(int ms) { m_effectMs = ms; }
    int effectDuration() const { return m_effectMs; }
    void setPanelEdge(PanelEdge edge) { m_edge = edge; }

    // The whole popup's size, as the content is drawn.
    virtual QSize contentSize() const = 0;

    // Shows the popup at `home` with the appear effect; its display time runs once it is whole.
    void popUp(const QRect& home);
    // Disappears with the hide effect, says `hidden`, and deletes itself. Once only.
    void dismiss();
    bool isDismissing() const { return m_dismissing; }
    bool isDisplayTimerRunning() const { return m_displayTimer.isActive(); }
    bool isMouseInside() const { return m_mouseInside; }

    // Where the whole popup stands when no effect runs.
    QRect home() const { return QRect(m_home, contentSize()); }
    QPoint homePos() const { return m_home; }
    void setHomePos(const QPoint& pos);
    // Moves home at once, or sliding in a straight line over the effect duration.
    void moveHome(const QPoint& to, bool animated);
    // Where home is once a slide has ended.
    QRect target() const { return QRect(m_target, contentSize()); }
    bool isSliding() const;

    qreal shown() const { return m_shown; }
    void setShown(qreal shown);

Q_SIGNALS:
    void dismissing(CTrayMessage* message);
    // The hide effect ended; the window is gone from the screen and is deleted next.
    void hidden(CTrayMessage* message);
    // An effect or a slide changed the window's place or size.
    void frameApplied();

protected:
    // Draws the whole popup at (0, 0) in contentSize(); the window may show part of it.
    virtual void paintContent(QPainter& painter) = 0;
    // A point of the window in the content's coordinates.
    QPoint toContent(const QPoint& windowPos) const { return windowPos - m_contentOffset; }

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void applyFrame();
    void runEffect(int kind, qreal to);
    void effectEnded(int run);
    void displayTimeUp();

    int m_showKind = kDefaultShowEffect;
    int m_hideKind = kDefaultHideEffect;
    int m_displayMs = kDefaultDisplayMs;
    int m_effectMs = kDefaultEffectMs;
    PanelEdge m_edge = PanelEdge::Bottom;
    PopupEffect m_effect;
    QPoint m_home;
    QPoint m_target;
    QPoint m_contentOffset;
    qreal m_shown = 0;
    int m_effectRun = 0;
    bool m_dismissing = false;
    bool m_mouseInside = false;
    QTimer m_displayTimer;
    QPointer<QPropertyAnimation> m_effectAnimation;
    QPointer<QPropertyAnimation> m_slide;
};
