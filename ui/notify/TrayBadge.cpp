#include "TrayBadge.h"

#include <QIconEngine>
#include <QPaintDevice>
#include <QPainter>

#include <array>
#include <cstdint>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMaxShown = 99;
// What a tray that takes fixed sizes (the desktop's status notifier) is offered.
constexpr std::array kTraySizes = {16, 22, 24, 32, 48, 64};
const QColor kBadgeColour(0xC6, 0x28, 0x28);
const QColor kDigitColour(Qt::white);
// The size from which the larger digits fit: "99+" is 17 pixels wide in them.
constexpr int kLargeFrom = 20;

// A glyph: one row per entry, the leftmost pixel in the highest of `width` bits.
struct GlyphSet
{
    int width;
    int height;
    std::array<std::array<std::uint8_t, 7>, 11> rows; // digits 0-9, then '+'
};

// Three by five pixels, for icons up to 19 pixels.
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

// Five by seven pixels, from 20 pixels up.
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

// Draws the badge for the very size asked: a panel that wants a 13 or 20 pixel icon gets
// sharp digits instead of a larger picture scaled down.
class CBadgeIconEngine : public QIconEngine
{
public:
    CBadgeIconEngine(const QIcon& base, int unread) : m_base(base), m_unread(unread) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = qRound(std::min(rect.width(), rect.height()) * ratio);
        QPixmap badged = BadgedPixmap(m_base, side, m_unread);
        badged.setDevicePixelRatio(ratio);
        const QSize logical = QSize(side, side) / ratio;
        QRect target(QPoint(), logical);
        target.moveCenter(rect.center());
        painter->drawPixmap(target, badged);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        return BadgedPixmap(m_base, std::min(size.width(), size.height()), m_unread);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : kTraySizes)
            sizes << QSize(side, side);
        return sizes;
    }

    QIconEngine* clone() const override { return new CBadgeIconEngine(m_base, m_unread); }
    QString key() const override { return u"CBadgeIconEngine"_s; }

private:
    QIcon m_base;
    int m_unread;
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
    if (size <= 0)
        return {};
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

    const bool large = size >= kLargeFrom;
    const GlyphSet& set = large ? kLarge : kSmall;
    const int scale = std::max(1, size / (large ? 24 : 16));
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
    if (textWidth > size) {
        // Too small for digits: a dot still says that news wait.
        const int dot = (size + 1) / 2;
        painter.drawEllipse(QRect(size - dot, size - dot, dot, dot));
        return pixmap;
    }
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
    return QIcon(new CBadgeIconEngine(base, unread));
}
