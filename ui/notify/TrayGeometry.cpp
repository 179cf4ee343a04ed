#include "TrayGeometry.h"

QRect NotificationAreaRect(const QRect& iconGeometry, const QRect& screen, const QRect& workArea)
{
    if (iconGeometry.isValid() && !iconGeometry.isEmpty())
        return iconGeometry;

    // A horizontal panel: its full height, ending 16 pixels before its right end.
    auto horizontal = [&](int top, int bottom) {
        return QRect(QPoint(screen.right() - 100, top), QPoint(screen.right() - 16, bottom));
    };
    // A vertical panel: its full width, ending 16 pixels above its bottom.
    auto vertical = [&](int left, int right) {
        return QRect(QPoint(left, screen.bottom() - 100), QPoint(right, screen.bottom() - 16));
    };
    if (workArea.bottom() < screen.bottom())
        return horizontal(workArea.bottom() + 1, screen.bottom());
    if (workArea.top() > screen.top())
        return horizontal(screen.top(), workArea.top() - 1);
    if (workArea.right() < screen.right())
        return vertical(workArea.right() + 1, screen.right());
    if (workArea.left() > screen.left())
        return vertical(screen.left(), workArea.left() - 1);
    return QRect(QPoint(workArea.right() - 150, workArea.bottom() - 30), workArea.bottomRight());
}
