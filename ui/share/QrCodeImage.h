#pragma once

#include <QImage>
#include <QString>

// The QR code of text (error correction level M), black on white with the standard quiet
// zone of four modules, each module `modulePixels` square. A null image when the text does
// not fit in a QR code.
QImage QrCodeImage(const QString& text, int modulePixels);
