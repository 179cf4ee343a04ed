#pragma once

#include <QWidget>

class CThemeColors;

// The title strip above a pane: the theme's header gradient with one line of text.
class CRssHeader : public QWidget
{
    Q_OBJECT
public:
    CRssHeader(const CThemeColors* theme, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const CThemeColors* m_theme;
    QString m_text;
};
