#include "CCommandTable.h"
#include "CRssBarButton.h"
#include "CRssFullBar.h"
#include "CRssHeader.h"
#include "CRssMenu.h"
#include "CThemeColors.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

void ExpectColorNear(QRgb actual, QRgb expected, int tolerance, const char* what)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance) << what;
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance) << what;
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance) << what;
}

class FullBar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const RssToolBarEntry& entry : CCommandTable::toolBarLayout())
            if (entry.command)
                actions.insert(
                    entry.command,
                    new QAction(QStringLiteral("Command &%1").arg(entry.command), &owner));
        bar = std::make_unique<CRssFullBar>(&theme);
        ASSERT_TRUE(bar->loadToolBar(CCommandTable::toolBarLayout(), actions, 168));
        bar->resize(bar->sizeHint());
        bar->show();
    }

    QObject owner;
    QHash<int, QAction*> actions;
    CThemeColors theme{0};
    std::unique_ptr<CRssFullBar> bar;
};

} // namespace

TEST_F(FullBar, LaysOutLargeAndSmallButtonsWithSeparatorsAndBorders)
{
    // 15 buttons of 32 + 4, 4 separators of 16, borders 3 + 3 across and 3 + 4 down.
    EXPECT_EQ(bar->sizeHint(), QSize(15 * 36 + 4 * 16 + 6, 36 + 7));
    // A narrower window cuts off the last buttons.
    EXPECT_EQ(bar->minimumSizeHint(), QSize(36 + 6, 36 + 7));
    EXPECT_EQ(bar->button(CommandNumber(Command::NewGroup))->geometry(), QRect(3 + 36, 3, 36, 36));
    EXPECT_EQ(bar->commandAt(QPoint(3 + 36 + 10, 10)), CommandNumber(Command::NewGroup));
    EXPECT_EQ(bar->commandAt(QPoint(3 + 3 * 36 + 4, 10)), 0); // the first separator

    bar->setOrientation(Qt::Vertical);
    EXPECT_EQ(bar->sizeHint(), QSize(36 + 6, 15 * 36 + 4 * 16 + 7));
    bar->resize(bar->sizeHint());
    EXPECT_EQ(bar->button(CommandNumber(Command::NewGroup))->geometry(), QRect(3, 3 + 36, 36, 36));
    bar->setOrientation(Qt::Horizontal);

    auto* field = new QLineEdit;
    bar->setHostedControl(CommandNumber(Command::Search), field);
    EXPECT_EQ(bar->button(CommandNumber(Command::Search))->sizeHint().width(),
              field->sizeHint().width() + 4);
    EXPECT_EQ(field->palette().color(QPalette::Window), QColor(Qt::white));

    ASSERT_TRUE(bar->reloadImages(169));
    bar->removeButton(CommandNumber(Command::Search));
    EXPECT_EQ(bar->sizeHint(), QSize(14 * 20 + 4 * 8 + 6, 16 + 4 + 7));

    bar->setButtonLabel(CommandNumber(Command::NewChannel), 157);
    EXPECT_EQ(bar->button(CommandNumber(Command::NewChannel))->label(),
              QStringLiteral("New Channel"));
    EXPECT_GT(bar->button(CommandNumber(Command::NewChannel))->sizeHint().width(), 20 + 2 + 20);
    bar->setButtonLabel(CommandNumber(Command::NewChannel), 0);
    EXPECT_EQ(bar->button(CommandNumber(Command::NewChannel))->sizeHint(), QSize(20, 20));
    bar->removeButton(CommandNumber(Command::NewChannel));
    EXPECT_EQ(bar->button(CommandNumber(Command::NewChannel)), nullptr);
    EXPECT_EQ(bar->button(CommandNumber(Command::NewGroup))->accessibleName(),
              QStringLiteral("Command %1").arg(CommandNumber(Command::NewGroup)));
}

TEST_F(FullBar, ButtonsTriggerByMouseAndKeyboardButNotWhenDraggedOffOrDisabled)
{
    CRssBarButton* button = bar->button(CommandNumber(Command::UpdateAllGroups));
    QSignalSpy triggered(actions[CommandNumber(Command::UpdateAllGroups)], &QAction::triggered);
    const QPoint inside = button->rect().center();
    const QPoint outside(-40, inside.y());

    QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(triggered.count(), 1);

    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseMove(button, outside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, outside);
    EXPECT_EQ(triggered.count(), 1) << "released off the button";

    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseMove(button, outside);
    QTest::mouseMove(button, inside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(triggered.count(), 2) << "dragged back on before release";

    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(triggered.count(), 3);
    QTest::keyClick(button, Qt::Key_Return);
    for (int i = 0; i < 100 && triggered.count() < 4; ++i)
        QTest::qWait(10);
    EXPECT_EQ(triggered.count(), 4);

    actions[CommandNumber(Command::Synchronize)]->setEnabled(false);
    QTest::keyClick(button, Qt::Key_Right);
    EXPECT_EQ(bar->focusWidget(), bar->button(CommandNumber(Command::PreviousUnread)))
        << "arrow skips the disabled button";
    QTest::keyClick(bar->button(CommandNumber(Command::PreviousUnread)), Qt::Key_Left);
    EXPECT_EQ(bar->focusWidget(), button);

    actions[CommandNumber(Command::UpdateAllGroups)]->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(triggered.count(), 4);
    button->setAttribute(Qt::WA_UnderMouse);
    EXPECT_FALSE(button->isHot());
}

TEST_F(FullBar, DrawsHotPressedAndDisabledButtonsInTheThemeColours)
{
    CRssBarButton* button = bar->button(CommandNumber(Command::NewGroup));
    const QPoint origin = button->geometry().topLeft();
    const int h = button->height();
    // Inside the folder image, left of its badge: opaque #F2C14E.
    const QPoint imagePixel = origin + QPoint(2 + 8, 2 + 18);
    // A separator at the same height shows the bare bar.
    const QPoint barePixel(3 + 3 * 36 + 8, imagePixel.y());

    QImage image = bar->grab().toImage();
    ExpectColorNear(image.pixel(imagePixel), 0xF2C14E, 2, "enabled image");
    ExpectColorNear(image.pixel(origin + QPoint(1, 1)), image.pixel(barePixel.x(), origin.y() + 1),
                    2, "plain button shows the bar");

    button->setAttribute(Qt::WA_UnderMouse);
    image = bar->grab().toImage();
    ExpectColorNear(image.pixel(origin), 0x002D96, 0, "border");
    ExpectColorNear(image.pixel(origin + QPoint(1, 1)), 0xFFF6CF, 4, "hot top");
    ExpectColorNear(image.pixel(origin + QPoint(1, h - 2)), 0xFFD091, 4, "hot bottom");

    QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
    image = bar->grab().toImage();
    ExpectColorNear(image.pixel(origin + QPoint(1, 1)), 0xE87F08, 6, "pressed top");
    ExpectColorNear(image.pixel(origin + QPoint(1, h - 2)), 0xF8DC7E, 6, "pressed bottom");
    QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
    button->setAttribute(Qt::WA_UnderMouse, false);

    actions[CommandNumber(Command::NewGroup)]->setCheckable(true);
    actions[CommandNumber(Command::NewGroup)]->setChecked(true);
    image = bar->grab().toImage();
    ExpectColorNear(image.pixel(origin + QPoint(1, 1)), 0xE87F08, 10, "checked top");
    ExpectColorNear(image.pixel(origin + QPoint(1, h - 2)), 0xFFF6CF, 10, "checked bottom");
    actions[CommandNumber(Command::NewGroup)]->setChecked(false);

    actions[CommandNumber(Command::NewGroup)]->setEnabled(false);
    image = bar->grab().toImage();
    // Faded folder (0.4 x + 25.5, alpha 0.4) over the bar.
    const QRgb bare = image.pixel(barePixel);
    const QRgb expected =
        qRgb(int(0.4 * 122 + 0.6 * qRed(bare)), int(0.4 * 103 + 0.6 * qGreen(bare)),
             int(0.4 * 57 + 0.6 * qBlue(bare)));
    ExpectColorNear(image.pixel(imagePixel), expected, 3, "disabled image");
    ExpectColorNear(image.pixel(origin + QPoint(1, 1)), image.pixel(barePixel.x(), origin.y() + 1),
                    2, "disabled button never hot");
}

TEST(Header, DrawsItsGradientAndWhiteOrBlackText)
{
    for (int t : {0, 1}) {
        CThemeColors theme(t);
        CRssHeader header(&theme);
        header.setText(QStringLiteral("MMMMMMMM"));
        EXPECT_EQ(header.sizeHint().height(), header.fontMetrics().height() + 6);
        header.resize(200, header.sizeHint().height());
        const QImage image = header.grab().toImage();
        ExpectColorNear(image.pixel(150, 0), t == 0 ? 0x5987D6 : 0xA8A7BF, 6, "header top");
        ExpectColorNear(image.pixel(150, image.height() - 1), t == 0 ? 0x002D96 : 0x7C7C94, 6,
                        "header bottom");
        int brightest = 0, darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 5; x < 60; ++x) {
                brightest = qMax(brightest, qGray(image.pixel(x, y)));
                darkest = qMin(darkest, qGray(image.pixel(x, y)));
            }
        if (t == 0)
            EXPECT_GT(brightest, 230) << "white text on blue";
        else
            EXPECT_LT(darkest, 30) << "black text on silver";
    }
}

TEST(Menu, DrawsTitlesOnTheMenuColourAndTheSelectedOneHot)
{
    CThemeColors theme(2);
    CRssMenu menu(&theme);
    menu.addMenu(QStringLiteral("&File"));
    menu.addMenu(QStringLiteral("&View"));
    menu.resize(300, menu.sizeHint().height());
    menu.show();
    const QRect file = menu.actionGeometry(menu.actions()[0]);
    EXPECT_EQ(file.height(), menu.fontMetrics().height() + 4);

    QImage image = menu.grab().toImage();
    ExpectColorNear(image.pixel(290, 5), 0xD9D9A7, 0, "empty bar");
    ExpectColorNear(image.pixel(file.left() + 1, file.top() + 2), 0xD9D9A7, 0, "plain title");

    menu.setActiveAction(menu.actions()[0]);
    image = menu.grab().toImage();
    ExpectColorNear(image.pixel(file.left(), file.top() + 1), 0x608058, 0, "title border");
    ExpectColorNear(image.pixel(file.left() + 1, file.top() + 2), 0xFFF6CF, 6, "hot title top");
    ExpectColorNear(image.pixel(290, 5), 0xD9D9A7, 0, "empty bar stays");
}
