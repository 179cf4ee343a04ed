#pragma once

#include <QColor>
#include <QObject>

#include <array>

// The fourteen colours that every themed window draws with, for the colour theme chosen in
// the options. The "System" theme follows the desktop's palette and is recomputed when the
// palette changes; `changed` tells the windows to repaint.
class CThemeColors : public QObject
{
    Q_OBJECT
public:
    enum Theme
    {
        Blue = 0,
        Silver = 1,
        Olive = 2,
        System = 3
    };
    enum Role
    {
        InactiveSelection = 0, // also the separator lines between list and tree rows
        FocusSelection = 1,
        SelectionText = 2, // text on selections and on headers
        PreviewText = 3,
        MenuBarBack = 4,
        SplitterBack = 5, // splitter bars and the search bar
        HeaderTop = 6,
        HeaderBottom = 7, // also every one-pixel border
        BarTop = 8,       // tool bar and popup body; open menu title
        BarBottom = 9,
        HotTop = 10,
        HotBottom = 11,
        PressedTop = 12,
        PressedBottom = 13,
    };
    static constexpr int kColorCount = 14;
    using Table = std::array<QColor, kColorCount>;

    explicit CThemeColors(int colorTheme = Blue, QObject* parent = nullptr);

    // Any value other than Silver, Olive and System gives the blue table.
    void setTheme(int colorTheme);
    Theme theme() const { return m_theme; }

    QColor color(int role) const;
    // Tool bar labels: black on the fixed themes, the palette's button text on System.
    QColor barText(bool enabled) const;

    // The fixed table of Blue, Silver or Olive (anything else: Blue).
    static Table fixedTable(int colorTheme);
    static Table systemTable(const QPalette& palette);

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recompute();

    Theme m_theme = Blue;
    Table m_table;
};
