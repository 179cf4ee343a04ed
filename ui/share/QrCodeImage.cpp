#include "QrCodeImage.h"

#include <qrencode.h>

#include <QPainter>
#include <memory>

namespace {

constexpr int kQuietModules = 4;

} // namespace

QImage QrCodeImage(const QString& text, int modulePixels)
{
    const QByteArray utf8 = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code || modulePixels < 1)
        return {};
    const int modules = code->width + 2 * kQuietModules;
    QImage image(modules * modulePixels, modules * modulePixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1) // bit 0: a dark module
                painter.fillRect((x + kQuietModules) * modulePixels,
                                 (y + kQuietModules) * modulePixels, modulePixels, modulePixels,
                                 Qt::black);
    return image;
}
