#include "TrayBadge.h"

#include <QPainter>

#include <array>
#include <cstdint>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMaxShown = 99;
constexpr std::array kTraySizes = {16, 22, 24, 32, 48, 64};
const QColor kBadgeColour(0xC6, 0x28, 0x28);
const QColor kDigitColour(Qt::white);

// A glyph: one row per entry, the leftmost pixel in the highest of `width` bits.
struct GlyphSet
{
    int width;
    int height;
    std::array<std::array<std::uint8_t, 7>, 11> rows; // digits 0-9, then '+'
};

// Three by five pixels, for 16-pixel icons.
constexpr GlyphSet kSmall{
    3,
    5,
    {{
        {0b111, 0b101, 0b101, 0b101, 0b111},
        {0b010, 0b110, 0b010, 0b010, 0b111},
        {0b111, 0b001, 0b111, 0b100, 0b111},
        {0b111, 0b001, 0b111, 0b001, 0b111},
        {0b101, 0b101, 0b111, 0b001, 0b001},
        {0b111, 0b100, 0b111, 0b001, 0b111},
        {0b111, 0b100, 0b111, 0b101, 0b111},
        {0b111, 0b001, 0b001, 0b010, 0b010},
        {0b111, 0b101, 0b111, 0b101, 0b111},
        {0b111, 0b101, 0b111, 0b001, 0b111},
        {0b000, 0b010, 0b111, 0b010, 0b000},
    }},
};

// Five by seven pixels, from 22 pixels up.
constexpr GlyphSet kLarge{
    5,
    7,
    {{
        {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110},
        {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110},
        {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111},
        {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110},
        {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010},
        {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110},
        {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110},
        {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000},
        {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110},
        {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100},
        {0b00000, 0b00100, 0b00100, 0b11111, 0b00100, 0b00100, 0b00000},
    }},
};

int GlyphIndex(QChar c)
{
    return c == u'+' ? 10 : c.digitValue();
}

void DrawGlyph(QPainter& painter, const GlyphSet& set, int glyph, int x, int y, int scale)
{
    for (int row = 0; row < set.height; ++row)
        for (int column = 0; column < set.width; ++column)
            if (set.rows[glyph][row] & (1 << (set.width - 1 - column)))
                painter.fillRect(x + column * scale, y + row * scale, scale, scale, kDigitColour);
}

} // namespace

QString BadgeText(int unread)
{
    if (unread <= 0)
        return {};
    return unread > kMaxShown ? u"%1+"_s.arg(kMaxShown) : QString::number(unread);
}

QPixmap BadgedPixmap(const QIcon& base, int size, int unread)
{
    QPixmap pixmap = base.pixmap(QSize(size, size), 1.0);
    if (pixmap.size() != QSize(size, size)) {
        // An icon without this size is centred on a clear square, so the badge sits in its
        // corner and not on a smaller picture's edge.
        QPixmap square(size, size);
        square.fill(Qt::transparent);
        QPainter centre(&square);
        centre.drawPixmap((size - pixmap.width()) / 2, (size - pixmap.height()) / 2, pixmap);
        centre.end();
        pixmap = square;
    }
    const QString text = BadgeText(unread);
    if (text.isEmpty())
        return pixmap;

    const GlyphSet& set = size < 22 ? kSmall : kLarge;
    const int scale = std::max(1, size / (size < 22 ? 16 : 24));
    const auto glyphs = text.size();
    const int textWidth = int(glyphs) * set.width * scale + int(glyphs - 1) * scale;
    const int textHeight = set.height * scale;
    // Two pixels of red around the digits where there is room, one where there is not.
    int padding = 2 * scale;
    if (textWidth + 2 * padding > size)
        padding = std::max(0, (size - textWidth) / 2);
    const int vertical = std::max(1, scale + scale / 2);
    const QRect badge(size - textWidth - 2 * padding, size - textHeight - 2 * vertical,
                      textWidth + 2 * padding, textHeight + 2 * vertical);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBadgeColour);
    const qreal radius = std::min(badge.height(), badge.width()) / 2.0;
    painter.drawRoundedRect(QRectF(badge), radius, radius);
    painter.setRenderHint(QPainter::Antialiasing, false);
    int x = badge.left() + padding;
    const int y = badge.top() + vertical;
    for (QChar c : text) {
        DrawGlyph(painter, set, GlyphIndex(c), x, y, scale);
        x += (set.width + 1) * scale;
    }
    return pixmap;
}

QIcon BadgedIcon(const QIcon& base, int unread)
{
    if (BadgeText(unread).isEmpty())
        return base;
    QIcon icon;
    for (int size : kTraySizes)
        icon.addPixmap(BadgedPixmap(base, size, unread));
    return icon;
}
