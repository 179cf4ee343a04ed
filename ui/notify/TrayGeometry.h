#pragma once

#include <QRect>

// Where the window shrinks to when it hides to the tray. The icon's own rectangle when the
// tray host tells it; otherwise the end of the panel the work area leaves out (the edge
// where the screen and the work area differ), near the corner that holds the tray; and on a
// desktop without a panel, the bottom right corner of the work area.
QRect NotificationAreaRect(const QRect& iconGeometry, const QRect& screen, const QRect& workArea);
