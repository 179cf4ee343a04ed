#include "CThemeColors.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>

namespace {

constexpr QRgb kBlue[CThemeColors::kColorCount] = {0xECE9D8, 0x316AC5, 0xFFFFFF, 0x0000FF, 0x9EBEF5,
                                                   0xC4DAFA, 0x5987D6, 0x002D96, 0xDEECFE, 0x80A8E1,
                                                   0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};
constexpr QRgb kSilver[CThemeColors::kColorCount] = {
    0xE0DFE3, 0xB2B4BF, 0x000000, 0x0000FF, 0xD7D7E5, 0xF3F3F7, 0xA8A7BF,
    0x7C7C94, 0xF4F4FB, 0x9896B4, 0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};
constexpr QRgb kOlive[CThemeColors::kColorCount] = {
    0xECE9D8, 0x93A070, 0xFFFFFF, 0x0000FF, 0xD9D9A7, 0xF2F1E4, 0xAFC082,
    0x608058, 0xF6F8E0, 0xB6C590, 0xFFF6CF, 0xFFD091, 0xE87F08, 0xF8DC7E};

// a blended with b, weight t of b.
QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

} // namespace

CThemeColors::CThemeColors(int colorTheme, QObject* parent) : QObject(parent)
{
    m_theme = Blue;
    m_table = fixedTable(Blue);
    setTheme(colorTheme);
}

void CThemeColors::setTheme(int colorTheme)
{
    const Theme theme = colorTheme == Silver   ? Silver
                        : colorTheme == Olive  ? Olive
                        : colorTheme == System ? System
                                               : Blue;
    const bool wasSystem = m_theme == System;
    m_theme = theme;
    if (qApp && wasSystem != (theme == System)) {
        if (theme == System)
            qApp->installEventFilter(this);
        else
            qApp->removeEventFilter(this);
    }
    recompute();
}

void CThemeColors::recompute()
{
    const Table table =
        m_theme == System ? systemTable(QApplication::palette()) : fixedTable(m_theme);
    if (table == m_table)
        return;
    m_table = table;
    Q_EMIT changed();
}

QColor CThemeColors::color(int role) const
{
    return role >= 0 && role < kColorCount ? m_table[size_t(role)] : QColor(Qt::black);
}

QColor CThemeColors::barText(bool enabled) const
{
    if (m_theme == System)
        return QApplication::palette().color(enabled ? QPalette::Active : QPalette::Disabled,
                                             QPalette::ButtonText);
    return enabled ? QColor(Qt::black)
                   : QApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

CThemeColors::Table CThemeColors::fixedTable(int colorTheme)
{
    const QRgb* values = colorTheme == Silver ? kSilver : colorTheme == Olive ? kOlive : kBlue;
    Table table;
    for (int i = 0; i < kColorCount; ++i)
        table[size_t(i)] = QColor(QRgb(values[i]));
    return table;
}

CThemeColors::Table CThemeColors::systemTable(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    const QColor button = palette.color(QPalette::Active, QPalette::Button);
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor highlightText = palette.color(QPalette::Active, QPalette::HighlightedText);
    const bool dark = window.lightnessF() < 0.5;
    // Shades move towards the window's text colour on light desktops and away on dark ones,
    // so hot and pressed items stand out either way.
    const QColor far = dark ? QColor(Qt::white) : QColor(Qt::black);
    return Table{
        mix(window, text, 0.12),
        highlight,
        highlightText,
        palette.color(QPalette::Active, QPalette::Link),
        mix(window, highlight, 0.12),
        mix(window, base, 0.5),
        mix(highlight, base, 0.25),
        mix(highlight, far, 0.35),
        mix(button, base, 0.5),
        mix(button, highlight, 0.15),
        mix(base, highlight, 0.2),
        mix(base, highlight, 0.4),
        mix(highlight, far, 0.15),
        mix(base, highlight, 0.55),
    };
}

bool CThemeColors::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && m_theme == System)
        recompute();
    return QObject::eventFilter(watched, event);
}
