#include "CThemeColors.h"

#include <QApplication>
#include <QPalette>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using Expected = std::array<QRgb, 14>;

constexpr Expected kBlue = {0xECE9D8, 0x316AC5, 0xFFFFFF, 0x0000FF, 0x9EBEF5, 0xC4DAFA, 0x5987D6,
                            0x002D96, 0xDEECFE, 0x80A8E1, 0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};
constexpr Expected kSilver = {0xE0DFE3, 0xB2B4BF, 0x000000, 0x0000FF, 0xD7D7E5, 0xF3F3F7, 0xA8A7BF,
                              0x7C7C94, 0xF4F4FB, 0x9896B4, 0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};
constexpr Expected kOlive = {0xECE9D8, 0x93A070, 0xFFFFFF, 0x0000FF, 0xD9D9A7, 0xF2F1E4, 0xAFC082,
                             0x608058, 0xF6F8E0, 0xB6C590, 0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};

void ExpectTable(const CThemeColors& colors, const Expected& expected, int theme)
{
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(colors.color(i).rgb() & 0xFFFFFF, expected[size_t(i)])
            << "theme " << theme << " colour " << i;
}

} // namespace

TEST(ThemeColors, EachThemeGivesItsTableAndUnknownValuesGiveBlue)
{
    CThemeColors colors(0);
    ExpectTable(colors, kBlue, 0);
    QSignalSpy changed(&colors, &CThemeColors::changed);
    colors.setTheme(1);
    ExpectTable(colors, kSilver, 1);
    colors.setTheme(2);
    ExpectTable(colors, kOlive, 2);
    EXPECT_EQ(changed.count(), 2);
    for (int other : {-1, 4, 100}) {
        colors.setTheme(other);
        EXPECT_EQ(colors.theme(), CThemeColors::Blue);
        ExpectTable(colors, kBlue, other);
    }
}

TEST(ThemeColors, SystemThemeFollowsThePaletteAndFixedThemesDoNot)
{
    const QPalette original = QApplication::palette();
    QPalette light(QColor(0xF0, 0xF0, 0xF0), QColor(0xF0, 0xF0, 0xF0));
    light.setColor(QPalette::Highlight, QColor(0x30, 0x8C, 0xC6));
    light.setColor(QPalette::HighlightedText, Qt::white);
    QApplication::setPalette(light);

    CThemeColors fixed(2);
    CThemeColors system(CThemeColors::System);
    EXPECT_EQ(system.theme(), CThemeColors::System);
    EXPECT_EQ(system.color(CThemeColors::FocusSelection), QColor(0x30, 0x8C, 0xC6));
    EXPECT_EQ(system.color(CThemeColors::SelectionText), QColor(Qt::white));
    const QColor lightMenu = system.color(CThemeColors::MenuBarBack);
    EXPECT_GT(lightMenu.lightness(), 200);

    QSignalSpy changed(&system, &CThemeColors::changed);
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    QApplication::setPalette(dark);
    QApplication::processEvents();

    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(system.color(CThemeColors::FocusSelection), QColor(0x2A, 0x82, 0xDA));
    EXPECT_EQ(system.color(CThemeColors::SelectionText), QColor(Qt::black));
    EXPECT_LT(system.color(CThemeColors::MenuBarBack).lightness(), 100);
    // Hot and pressed items must stand apart from the bar they sit on.
    EXPECT_NE(system.color(CThemeColors::HotTop), system.color(CThemeColors::BarTop));
    EXPECT_NE(system.color(CThemeColors::PressedTop), system.color(CThemeColors::HotTop));
    ExpectTable(fixed, kOlive, 2);

    QApplication::setPalette(original);
}
