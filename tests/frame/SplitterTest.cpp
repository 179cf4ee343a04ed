#include "CRssHeader.h"
#include "CRssSplitter.h"
#include "CThemeColors.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QWidget* Sized(QWidget* widget, int height)
{
    widget->resize(10, height);
    return widget;
}

} // namespace

// One row, two columns, each with a header, the right one with a bar above it too.
TEST(Splitter, OneByTwoStacksBarHeaderAndPaneAndDrawsInThemeColours)
{
    CThemeColors theme(CThemeColors::Olive);
    CRssSplitter splitter(&theme);
    splitter.resize(400, 300);
    ASSERT_TRUE(splitter.createStatic(1, 2));
    splitter.setColumnInfo(0, 150, 20);

    auto* leftPane = new QWidget;
    auto* rightPane = new QWidget;
    QWidget* leftHeader = Sized(new CRssHeader(&theme), 20);
    QWidget* rightHeader = Sized(new CRssHeader(&theme), 20);
    QWidget* rightBar = Sized(new QWidget, 25);
    EXPECT_TRUE(splitter.setWindow(0xE900, leftPane));
    EXPECT_TRUE(splitter.setWindow(0xE901, rightPane));
    EXPECT_TRUE(splitter.setWindow(0xD900, leftHeader));
    EXPECT_TRUE(splitter.setWindow(0xD901, rightHeader));
    auto* hiddenBar = new QWidget;
    hiddenBar->hide();
    EXPECT_TRUE(splitter.setWindow(0xDA00, hiddenBar)); // stays hidden until shown
    EXPECT_TRUE(splitter.setWindow(0xDA01, rightBar));
    EXPECT_FALSE(splitter.setWindow(0xE902, new QWidget(&splitter))); // no third column
    EXPECT_FALSE(splitter.setWindow(0xE910, new QWidget(&splitter))); // no second row
    splitter.show();

    EXPECT_EQ(splitter.pane(0, 1), rightPane);
    EXPECT_EQ(splitter.window(0xDA01), rightBar);
    EXPECT_EQ(splitter.window(0xDA00), hiddenBar);
    EXPECT_FALSE(hiddenBar->isVisible());
    EXPECT_EQ(splitter.windowId(leftHeader), 0xD900);
    EXPECT_EQ(splitter.windowId(rightBar), 0xDA01);
    EXPECT_EQ(splitter.windowId(rightPane), 0xE901);
    EXPECT_EQ(splitter.windowId(&splitter), 0);

    // Border 3 around the area, the left column at its ideal 150, a 6-pixel bar, the rest.
    EXPECT_EQ(leftHeader->geometry(), QRect(3, 3, 150, 20));
    EXPECT_EQ(leftPane->geometry(), QRect(3, 23, 150, 274));
    EXPECT_EQ(rightBar->geometry(), QRect(159, 3, 238, 25));
    EXPECT_EQ(rightHeader->geometry(), QRect(159, 28, 238, 20));
    EXPECT_EQ(rightPane->geometry(), QRect(159, 48, 238, 249));

    // A hidden bar gives its place to the header and the pane.
    rightBar->hide();
    EXPECT_EQ(rightHeader->geometry(), QRect(159, 3, 238, 20));
    EXPECT_EQ(rightPane->geometry(), QRect(159, 23, 238, 274));
    rightBar->show();
    EXPECT_EQ(rightPane->geometry(), QRect(159, 48, 238, 249));

    // A column squeezed below its minimum is hidden; the other takes the whole width.
    splitter.setColumnInfo(0, 15, 20);
    splitter.recalcLayout();
    EXPECT_EQ(splitter.columnSize(0), 0);
    EXPECT_EQ(rightPane->geometry(), QRect(9, 48, 388, 249));
    splitter.setColumnInfo(0, 150, 20);
    splitter.recalcLayout();

    // Dragging the split bar 50 pixels to the right widens the left column by as much.
    QTest::mousePress(&splitter, Qt::LeftButton, {}, QPoint(156, 150));
    QTest::mouseMove(&splitter, QPoint(206, 150));
    QTest::mouseRelease(&splitter, Qt::LeftButton, {}, QPoint(206, 150));
    EXPECT_EQ(leftPane->geometry(), QRect(3, 23, 200, 274));
    EXPECT_EQ(rightPane->geometry(), QRect(209, 48, 188, 249));
    splitter.setColumnInfo(0, 150, 20);
    splitter.recalcLayout();

    // Split bar and the outer two rings in colour 5, the ring next to a cell in colour 7.
    const QRgb back = theme.color(CThemeColors::SplitterBack).rgb();
    const QRgb line = theme.color(CThemeColors::HeaderBottom).rgb();
    ASSERT_NE(back, line);
    leftPane->hide(); // let the splitter's own drawing show where the pane was
    const QImage image = splitter.grab().toImage();
    EXPECT_EQ(image.pixel(0, 150), back);
    EXPECT_EQ(image.pixel(1, 150), back);
    EXPECT_EQ(image.pixel(2, 150), line);
    EXPECT_EQ(image.pixel(153, 150), line); // right ring of the left cell
    EXPECT_EQ(image.pixel(155, 150), back); // the split bar
    EXPECT_EQ(image.pixel(158, 150), line); // left ring of the right cell
    EXPECT_EQ(image.pixel(80, 299), back);
    EXPECT_EQ(image.pixel(80, 297), line);
}

TEST(Splitter, TwoByOneUsesRowIdentifiersAndHeights)
{
    CRssSplitter splitter(nullptr);
    splitter.resize(300, 400);
    ASSERT_TRUE(splitter.createStatic(2, 1));
    EXPECT_FALSE(splitter.createStatic(0, 1));
    EXPECT_FALSE(splitter.createStatic(1, 17));
    ASSERT_EQ(splitter.rowCount(), 2);
    splitter.setRowInfo(0, 100, 10);

    auto* top = new QWidget;
    auto* bottom = new QWidget;
    QWidget* bottomHeader = Sized(new QWidget, 18);
    ASSERT_TRUE(splitter.setWindow(CRssSplitter::PaneId(0, 0), top));
    ASSERT_TRUE(splitter.setWindow(CRssSplitter::PaneId(1, 0), bottom));
    ASSERT_TRUE(splitter.setWindow(CRssSplitter::HeaderId(1, 0), bottomHeader));
    splitter.show();

    EXPECT_EQ(CRssSplitter::PaneId(1, 0), 0xE910);
    EXPECT_EQ(CRssSplitter::HeaderId(1, 0), 0xD910);
    EXPECT_EQ(CRssSplitter::BarId(1, 0), 0xDA10);
    EXPECT_EQ(splitter.windowId(bottomHeader), 0xD910);
    EXPECT_EQ(splitter.window(0xE910), bottom);

    EXPECT_EQ(top->geometry(), QRect(3, 3, 294, 100));
    EXPECT_EQ(bottomHeader->geometry(), QRect(3, 109, 294, 18));
    EXPECT_EQ(bottom->geometry(), QRect(3, 127, 294, 270));
    EXPECT_EQ(splitter.rowSize(1), 288);

    // A window deleted by its owner leaves its slot empty.
    delete bottomHeader;
    EXPECT_EQ(splitter.window(0xD910), nullptr);
    EXPECT_EQ(bottom->geometry(), QRect(3, 109, 294, 288));
}
