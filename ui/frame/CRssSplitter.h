#pragma once

#include <QList>
#include <QWidget>

class CThemeColors;

// The main window's pane splitter: a static grid of cells, each holding a pane with an
// optional bar and an optional header stacked above it. Bars and borders are drawn in the
// theme colours; the splitter bars between cells can be dragged.
class CRssSplitter : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSplitterBar = 6; // width of a bar between columns, height between rows
    static constexpr int kBorderShare = 0;
    static constexpr int kGap = 6;
    static constexpr int kBorder = 3;

    static constexpr int kFirstPaneId = 0xE900;
    static constexpr int kFirstHeaderId = 0xD900;
    static constexpr int kFirstBarId = 0xDA00;
    static constexpr int PaneId(int row, int col) { return kFirstPaneId + 16 * row + col; }
    static constexpr int HeaderId(int row, int col) { return kFirstHeaderId + 16 * row + col; }
    static constexpr int BarId(int row, int col) { return kFirstBarId + 16 * row + col; }

    CRssSplitter(const CThemeColors* theme, QWidget* parent = nullptr);

    // Sets up rows x columns empty cells (1..16 each); false for other counts.
    bool createStatic(int rows, int cols);
    int rowCount() const { return m_rows.size(); }
    int columnCount() const { return m_cols.size(); }

    // Places `window` as the pane, header or bar of a cell, chosen by its identifier; the
    // splitter takes it as a child. False for an identifier outside the grid.
    bool setWindow(int id, QWidget* window);
    QWidget* window(int id) const;
    // The identifier of a window placed in a cell, 0 for any other widget.
    int windowId(const QWidget* window) const;
    QWidget* pane(int row, int col) const { return window(PaneId(row, col)); }

    // Ideal and minimum sizes; a cell squeezed below its minimum is hidden.
    void setColumnInfo(int col, int ideal, int minimum);
    void setRowInfo(int row, int ideal, int minimum);
    int columnSize(int col) const;
    int rowSize(int row) const;

    void recalcLayout();
    // The whole cell (bar, header and pane) inside its border.
    QRect cellRect(int row, int col) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Track
    {
        int ideal = 0;
        int minimum = 0;
        int current = 0; // after the last layout
        int start = 0;   // cell position after the last layout
    };
    struct Hit
    {
        Qt::Orientation orientation = Qt::Horizontal;
        int index = -1; // the column or row before the splitter bar
    };

    int cellIndex(int id, int* kind) const;
    static void distribute(QList<Track>& tracks, int origin, int space);
    Hit hitTest(QPoint point) const;

    const CThemeColors* m_theme;
    QList<Track> m_rows;
    QList<Track> m_cols;
    QList<QWidget*> m_windows; // three per cell: bar, header, pane
    QList<int> m_heights;      // the height each bar and header was placed with
    Hit m_drag;
};
