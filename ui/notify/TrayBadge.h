#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The unread count drawn on the tray icon: white pixel digits on a red pill at the bottom
// right, the same on light and dark panels and whatever the desktop's font. Digits are
// drawn from bitmaps, not a font, so they stay sharp at 16 and 22 pixels.

// What the badge says: nothing at 0 (or below), the count up to 99, "99+" beyond.
QString BadgeText(int unread);

// The icon at size × size pixels with the badge for unread.
QPixmap BadgedPixmap(const QIcon& base, int size, int unread);

// The icon with the badge drawn for whatever size a tray asks; the base icon as it is at 0.
QIcon BadgedIcon(const QIcon& base, int unread);
