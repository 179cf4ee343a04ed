#pragma once

#include "CImageStrip.h"

#include <QHash>
#include <QList>
#include <QMargins>
#include <QWidget>

class CRssBarButton;
class CThemeColors;
class QAction;

// One entry of a tool bar layout: a command (0 for a separator) and its image in the strip.
struct RssToolBarEntry
{
    int command;
    int image;
};

// The main window's tool bar: large or small themed buttons with optional labels, laid out
// in a row (docked at the top or bottom) or a column (docked at a side).
class CRssFullBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr QMargins kBorders{3, 3, 3, 4};

    CRssFullBar(const CThemeColors* theme, QWidget* parent = nullptr);

    // Creates the buttons; a command without an action in `actions` gets no button.
    // Fails (false) when the strip cannot be rendered.
    bool loadToolBar(const QList<RssToolBarEntry>& layout, const QHash<int, QAction*>& actions,
                     int stripResource);
    // Label from the string table; string 0 clears it.
    void setButtonLabel(int command, int stringId);
    void removeButton(int command);
    // Renders another strip (large or small buttons) and lays out again.
    bool reloadImages(int stripResource);
    void setHostedControl(int command, QWidget* control);
    // Horizontal when docked at the top or bottom, vertical at a side.
    void setOrientation(Qt::Orientation orientation);

    // The command of the button under `point` (bar coordinates), 0 for none.
    int commandAt(QPoint point) const;
    CRssBarButton* button(int command) const;
    const CImageStrip& strip() const { return m_strip; }

    QSize sizeHint() const override;
    // As deep as its buttons but, along the bar, only the first: a window narrower than the
    // bar cuts off its last buttons (each is also in a menu) rather than refuse the width.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Slot
    {
        int command = 0;
        CRssBarButton* button = nullptr; // null for a separator
    };

    QSize slotSize(const Slot& slot) const;
    void layoutButtons();

    const CThemeColors* m_theme;
    CImageStrip m_strip;
    int m_stripResource = 0;
    QList<Slot> m_slots;
    Qt::Orientation m_orientation = Qt::Horizontal;
};
