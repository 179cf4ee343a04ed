#include "CRssSplitter.h"

#include "CThemeColors.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kMaxTracks = 16;
enum Kind
{
    KindBar = 0,
    KindHeader = 1,
    KindPane = 2,
    KindCount = 3
};

} // namespace

CRssSplitter::CRssSplitter(const CThemeColors* theme, QWidget* parent)
    : QWidget(parent), m_theme(theme)
{
    setAccessibleName(tr("Panes"));
    setMouseTracking(true);
    if (m_theme)
        connect(m_theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
}

bool CRssSplitter::createStatic(int rows, int cols)
{
    if (rows < 1 || cols < 1 || rows > kMaxTracks || cols > kMaxTracks)
        return false;
    for (QWidget* window : std::as_const(m_windows))
        if (window)
            window->removeEventFilter(this);
    m_rows = QList<Track>(rows);
    m_cols = QList<Track>(cols);
    m_windows = QList<QWidget*>(rows * cols * KindCount, nullptr);
    m_heights = QList<int>(rows * cols * KindCount, 0);
    recalcLayout();
    return true;
}

int CRssSplitter::cellIndex(int id, int* kind) const
{
    int first = 0;
    if (id >= kFirstPaneId && id < kFirstPaneId + 16 * kMaxTracks) {
        first = kFirstPaneId;
        *kind = KindPane;
    } else if (id >= kFirstHeaderId && id < kFirstHeaderId + 16 * kMaxTracks) {
        first = kFirstHeaderId;
        *kind = KindHeader;
    } else if (id >= kFirstBarId && id < kFirstBarId + 16 * kMaxTracks) {
        first = kFirstBarId;
        *kind = KindBar;
    } else {
        return -1;
    }
    const int row = (id - first) / 16;
    const int col = (id - first) % 16;
    if (row >= rowCount() || col >= columnCount())
        return -1;
    return row * columnCount() + col;
}

bool CRssSplitter::setWindow(int id, QWidget* window)
{
    int kind = 0;
    const int cell = cellIndex(id, &kind);
    if (cell < 0)
        return false;
    QWidget*& slot = m_windows[cell * KindCount + kind];
    if (slot)
        slot->removeEventFilter(this);
    slot = window;
    if (window) {
        // Reparenting hides a widget: keep a bar or header hidden only when it was hidden
        // on purpose (the search bar until the frame shows it).
        const bool keepHidden = kind != KindPane && window->isHidden() &&
                                window->testAttribute(Qt::WA_WState_ExplicitShowHide);
        window->setParent(this);
        window->installEventFilter(this);
        // A bar or header nobody has sized yet starts at the height it asks for.
        if (kind != KindPane && !window->testAttribute(Qt::WA_Resized))
            window->resize(window->width(), window->sizeHint().height());
        // Kept apart from the window's height: a cell that is empty for a moment (a
        // splitter not laid out yet) squeezes the window, and must not keep it squeezed.
        m_heights[cell * KindCount + kind] = window->height();
        window->setVisible(!keepHidden);
    }
    recalcLayout();
    return true;
}

QWidget* CRssSplitter::window(int id) const
{
    int kind = 0;
    const int cell = cellIndex(id, &kind);
    return cell < 0 ? nullptr : m_windows[cell * KindCount + kind];
}

int CRssSplitter::windowId(const QWidget* window) const
{
    if (!window)
        return 0;
    for (int i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i] != window)
            continue;
        const int cell = i / KindCount;
        const int offset = 16 * (cell / columnCount()) + cell % columnCount();
        static constexpr int firsts[KindCount] = {kFirstBarId, kFirstHeaderId, kFirstPaneId};
        return firsts[i % KindCount] + offset;
    }
    return 0;
}

void CRssSplitter::setColumnInfo(int col, int ideal, int minimum)
{
    if (col < 0 || col >= columnCount())
        return;
    m_cols[col].ideal = qMax(0, ideal);
    m_cols[col].minimum = qMax(0, minimum);
}

void CRssSplitter::setRowInfo(int row, int ideal, int minimum)
{
    if (row < 0 || row >= rowCount())
        return;
    m_rows[row].ideal = qMax(0, ideal);
    m_rows[row].minimum = qMax(0, minimum);
}

int CRssSplitter::columnSize(int col) const
{
    return col >= 0 && col < columnCount() ? m_cols[col].current : 0;
}

int CRssSplitter::rowSize(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[row].current : 0;
}

// Every track but the last gets its ideal size while space lasts, and none at all below its
// minimum; the last takes what is left. Tracks are kGap apart.
void CRssSplitter::distribute(QList<Track>& tracks, int origin, int space)
{
    int pos = origin;
    for (int i = 0; i < tracks.size(); ++i) {
        Track& track = tracks[i];
        const bool last = i + 1 == tracks.size();
        int size = last ? space : qMin(track.ideal, space);
        if (!last && size < track.minimum)
            size = 0;
        size = qMax(0, size);
        track.start = pos;
        track.current = size;
        pos += size + kGap;
        space -= size + kGap;
    }
}

QRect CRssSplitter::cellRect(int row, int col) const
{
    if (row < 0 || col < 0 || row >= rowCount() || col >= columnCount())
        return {};
    return QRect(m_cols[col].start, m_rows[row].start, m_cols[col].current, m_rows[row].current);
}

void CRssSplitter::recalcLayout()
{
    const QRect inner = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    distribute(m_cols, inner.left(), inner.width());
    distribute(m_rows, inner.top(), inner.height());
    for (int row = 0; row < rowCount(); ++row) {
        for (int col = 0; col < columnCount(); ++col) {
            const QRect cell = cellRect(row, col);
            QWidget* const* windows = &m_windows[(row * columnCount() + col) * KindCount];
            int top = cell.top();
            for (int kind = KindBar; kind < KindPane; ++kind) {
                QWidget* window = windows[kind];
                if (!window || window->isHidden())
                    continue;
                const int height = qMin(m_heights[(row * columnCount() + col) * KindCount + kind],
                                        cell.bottom() + 1 - top);
                window->setGeometry(cell.left(), top, cell.width(), height);
                top += height;
            }
            if (QWidget* pane = windows[KindPane])
                pane->setGeometry(cell.left(), top, cell.width(), cell.bottom() + 1 - top);
        }
    }
    update();
}

QSize CRssSplitter::sizeHint() const
{
    QSize size(2 * kBorder, 2 * kBorder);
    for (const Track& col : m_cols)
        size.rwidth() += col.ideal + kGap;
    for (const Track& row : m_rows)
        size.rheight() += row.ideal + kGap;
    return size - QSize(kGap, kGap);
}

bool CRssSplitter::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest)
        recalcLayout();
    if (event->type() == QEvent::ChildRemoved) {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        for (QWidget*& slot : m_windows)
            if (slot == child)
                slot = nullptr;
        recalcLayout();
    }
    return QWidget::event(event);
}

bool CRssSplitter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        recalcLayout();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CRssSplitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    recalcLayout();
}

// The bars and the outer two rings of every border in colour 5; the ring next to the cell in
// colour 7.
void CRssSplitter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor back = m_theme ? m_theme->color(CThemeColors::SplitterBack) : QColor(Qt::gray);
    const QColor line = m_theme ? m_theme->color(CThemeColors::HeaderBottom) : QColor(Qt::black);
    painter.fillRect(rect(), back);
    painter.setPen(line);
    painter.setBrush(Qt::NoBrush);
    for (int row = 0; row < rowCount(); ++row)
        for (int col = 0; col < columnCount(); ++col) {
            const QRect cell = cellRect(row, col);
            if (!cell.isEmpty())
                painter.drawRect(cell.adjusted(-1, -1, 0, 0));
        }
}

CRssSplitter::Hit CRssSplitter::hitTest(QPoint point) const
{
    for (int col = 0; col + 1 < columnCount(); ++col) {
        const int left = m_cols[col].start + m_cols[col].current;
        if (point.x() >= left && point.x() < m_cols[col + 1].start)
            return {Qt::Horizontal, col};
    }
    for (int row = 0; row + 1 < rowCount(); ++row) {
        const int top = m_rows[row].start + m_rows[row].current;
        if (point.y() >= top && point.y() < m_rows[row + 1].start)
            return {Qt::Vertical, row};
    }
    return {};
}

void CRssSplitter::mousePressEvent(QMouseEvent* event)
{
    m_drag = event->button() == Qt::LeftButton ? hitTest(event->position().toPoint()) : Hit{};
    QWidget::mousePressEvent(event);
}

void CRssSplitter::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (m_drag.index >= 0) {
        QList<Track>& tracks = m_drag.orientation == Qt::Horizontal ? m_cols : m_rows;
        const int along = m_drag.orientation == Qt::Horizontal ? point.x() : point.y();
        tracks[m_drag.index].ideal = qMax(0, along - tracks[m_drag.index].start - kGap / 2);
        recalcLayout();
        return;
    }
    const Hit hit = hitTest(point);
    if (hit.index < 0)
        unsetCursor();
    else
        setCursor(hit.orientation == Qt::Horizontal ? Qt::SplitHCursor : Qt::SplitVCursor);
}

void CRssSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag = {};
    QWidget::mouseReleaseEvent(event);
}
