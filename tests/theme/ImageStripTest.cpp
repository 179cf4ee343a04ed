#include "StripCatalog.h"

#include <gtest/gtest.h>

namespace {

bool HasOpaquePixel(const QImage& image, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                return true;
    return false;
}

void ExpectNear(QRgb actual, QRgb expected, int tolerance, const char* what)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance) << what;
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance) << what;
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance) << what;
    EXPECT_NEAR(qAlpha(actual), qAlpha(expected), tolerance) << what;
}

} // namespace

TEST(ImageStrip, StripsKeepTheirLogicalSizeAndGainPixelsOnDenseScreens)
{
    struct Case
    {
        int resource, count, width, height;
    };
    for (const Case& c : {Case{161, 10, 160, 16}, Case{155, 12, 192, 16}, Case{168, 16, 512, 32},
                          Case{169, 16, 256, 16}}) {
        const CImageStrip strip = LoadStrip(c.resource, 2.0);
        ASSERT_EQ(strip.count(), c.count) << c.resource;
        EXPECT_EQ(strip.imageSize(), QSize(c.height, c.height)) << c.resource;
        EXPECT_EQ(strip.pixmap().devicePixelRatio(), 2.0);
        EXPECT_EQ(strip.pixmap().deviceIndependentSize(), QSizeF(c.width, c.height)) << c.resource;
        EXPECT_EQ(strip.pixmap().size(), QSize(2 * c.width, 2 * c.height)) << c.resource;
        // Every image was drawn (no missing or broken picture).
        const QImage image = strip.pixmap().toImage();
        for (int i = 0; i < c.count; ++i)
            EXPECT_TRUE(
                HasOpaquePixel(image, QRect(i * 2 * c.height, 0, 2 * c.height, 2 * c.height)))
                << "strip " << c.resource << " image " << i;
    }
    EXPECT_TRUE(LoadStrip(170, 1.0).isNull());
}

TEST(ImageStrip, DisabledImagesAreFadedAndFlatteningFillsWithTheKey)
{
    // Tree image 0 (the expanded glyph) has a white inside and transparent corners.
    const CImageStrip strip = LoadStrip(155, 1.0);
    const QImage normal = strip.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage faded = strip.disabledPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ExpectNear(normal.pixel(5, 5), qRgba(255, 255, 255, 255), 0, "white inside");
    ExpectNear(faded.pixel(5, 5), qRgba(128, 128, 128, 102), 1, "faded white");
    EXPECT_EQ(qAlpha(faded.pixel(0, 0)), 0);

    const QImage flat = strip.flattened(QColor(255, 0, 255));
    EXPECT_EQ(flat.pixel(0, 0) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_EQ(flat.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
}
