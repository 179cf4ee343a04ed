#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QStringList>

class QPainter;

// A row of equally sized images, rendered from SVG files at the screen's pixel density.
// Sizes and positions are logical pixels; the pixmaps hold devicePixelRatio times as many.
class CImageStrip
{
public:
    // Each image is a list of SVG resources drawn one over the other (a base picture and
    // its badges); an empty list leaves the image transparent.
    static CImageStrip Render(const QList<QStringList>& images, QSize imageSize,
                              qreal devicePixelRatio);

    bool isNull() const { return m_count == 0; }
    int count() const { return m_count; }
    QSize imageSize() const { return m_imageSize; }
    qreal devicePixelRatio() const { return m_pixmap.devicePixelRatio(); }
    const QPixmap& pixmap() const { return m_pixmap; }
    // Faded copy: red, green, blue and alpha times 0.4, plus 0.1 on red, green and blue.
    const QPixmap& disabledPixmap() const { return m_disabled; }

    // Draws image `index` at its own size with its top-left corner at `topLeft`.
    void draw(QPainter& painter, QPoint topLeft, int index, bool disabled = false) const;

    // The strip laid over a solid key colour, for views that need opaque images with a
    // transparency mask: each pixel gains (255 - alpha) * key / 255 per channel.
    QImage flattened(QColor key) const;

private:
    int m_count = 0;
    QSize m_imageSize;
    QPixmap m_pixmap;
    QPixmap m_disabled;
};
