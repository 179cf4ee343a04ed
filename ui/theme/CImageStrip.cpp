#include "CImageStrip.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace {

QImage Faded(const QImage& source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            auto fade = [](int v) { return qBound(0, int(std::lround(v * 0.4 + 25.5)), 255); };
            line[x] = qRgba(fade(qRed(p)), fade(qGreen(p)), fade(qBlue(p)),
                            qBound(0, int(std::lround(qAlpha(p) * 0.4)), 255));
        }
    }
    return image;
}

} // namespace

CImageStrip CImageStrip::Render(const QList<QStringList>& images, QSize imageSize,
                                qreal devicePixelRatio)
{
    CImageStrip strip;
    if (images.isEmpty() || imageSize.isEmpty())
        return strip;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int w = int(std::lround(imageSize.width() * ratio));
    const int h = int(std::lround(imageSize.height() * ratio));
    QImage canvas(w * int(images.size()), h, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < images.size(); ++i) {
            for (const QString& layer : images[i]) {
                QSvgRenderer renderer(layer);
                if (renderer.isValid())
                    renderer.render(&painter, QRectF(i * w, 0, w, h));
            }
        }
    }
    canvas.setDevicePixelRatio(ratio);
    QImage faded = Faded(canvas);
    faded.setDevicePixelRatio(ratio);

    strip.m_count = int(images.size());
    strip.m_imageSize = imageSize;
    strip.m_pixmap = QPixmap::fromImage(canvas);
    strip.m_pixmap.setDevicePixelRatio(ratio);
    strip.m_disabled = QPixmap::fromImage(faded);
    strip.m_disabled.setDevicePixelRatio(ratio);
    return strip;
}

void CImageStrip::draw(QPainter& painter, QPoint topLeft, int index, bool disabled) const
{
    if (index < 0 || index >= m_count)
        return;
    const qreal ratio = m_pixmap.devicePixelRatio();
    const QRectF source(index * m_imageSize.width() * ratio, 0, m_imageSize.width() * ratio,
                        m_imageSize.height() * ratio);
    painter.drawPixmap(QRectF(topLeft, m_imageSize), disabled ? m_disabled : m_pixmap, source);
}

QImage CImageStrip::flattened(QColor key) const
{
    QImage image = m_pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int rest = 255 - qAlpha(p);
            line[x] = qRgb(qMin(255, qRed(p) + rest * key.red() / 255),
                           qMin(255, qGreen(p) + rest * key.green() / 255),
                           qMin(255, qBlue(p) + rest * key.blue() / 255));
        }
    }
    return image.convertToFormat(QImage::Format_RGB32);
}
