#pragma once

#include <QAbstractButton>
#include <QPointer>

class CImageStrip;
class CThemeColors;
class QAction;

// One button of the themed tool bar. It triggers the action it was given and follows the
// action's enabled and checked state; hot, pressed and checked looks use the theme's
// gradients. Space, Enter and Return press it when it has the focus; arrow keys move the
// focus to the next or previous button.
class CRssBarButton : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kGap = 2;

    CRssBarButton(QAction* action, const CThemeColors* theme, QWidget* parent = nullptr);

    QAction* action() const { return m_action; }
    void setImage(const CImageStrip* strip, int index);
    int imageIndex() const { return m_image; }
    void setLabel(const QString& label);
    QString label() const { return m_label; }
    // A control shown in place of the image and label (for example a search field).
    void setHostedControl(QWidget* control);
    QWidget* hostedControl() const { return m_hosted; }

    // The button's own size: image, gap and label plus two pixels on every side.
    QSize sizeHint() const override;

    bool isHot() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void followAction();
    void moveFocusAlong(bool forward);

    QAction* m_action;
    const CThemeColors* m_theme;
    const CImageStrip* m_strip = nullptr;
    int m_image = -1;
    QString m_label;
    QPointer<QWidget> m_hosted;
};
