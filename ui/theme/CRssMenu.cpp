#include "CRssMenu.h"

#include "CThemeColors.h"
#include "ThemePaint.h"

#include <QEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

constexpr int kTitlePadding = 6;

// Draws and measures the menu bar's titles; everything else goes to the desktop style.
class CRssMenuStyle : public QProxyStyle
{
public:
    explicit CRssMenuStyle(const CThemeColors* theme) : m_theme(theme) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        switch (metric) {
        case PM_MenuBarItemSpacing:
        case PM_MenuBarHMargin:
        case PM_MenuBarVMargin:
        case PM_MenuBarPanelWidth:
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type != CT_MenuBarItem)
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!item)
            return size;
        const QSize text =
            item->fontMetrics.size(Qt::TextShowMnemonic | Qt::TextSingleLine, item->text);
        return QSize(text.width() + 2 * kTitlePadding, text.height() + 4);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_PanelMenuBar) {
            painter->fillRect(option->rect, m_theme->color(CThemeColors::MenuBarBack));
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_MenuBarEmptyArea) {
            painter->fillRect(option->rect, m_theme->color(CThemeColors::MenuBarBack));
            return;
        }
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuBarItem || !item) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        drawTitle(*item, *painter, qobject_cast<const CRssMenu*>(widget));
    }

private:
    void drawTitle(const QStyleOptionMenuItem& item, QPainter& painter, const CRssMenu* menu) const
    {
        const QRect r = item.rect;
        const bool selected = item.state & State_Selected;
        const bool open = item.state & State_Sunken;
        const bool mouseOpened = open && menu && menu->openedByMouse();
        if (selected) {
            const QRect border = r.adjusted(0, 1, 0, -1);
            ThemePaint::DrawBorder(painter, border, m_theme->color(CThemeColors::HeaderBottom));
            const QRect inside = border.adjusted(1, 1, -1, -1);
            if (mouseOpened)
                ThemePaint::FillGradient(painter, inside, m_theme->color(CThemeColors::BarTop),
                                         m_theme->color(CThemeColors::BarBottom));
            else
                ThemePaint::FillGradient(painter, inside.adjusted(0, 0, 0, -1),
                                         m_theme->color(CThemeColors::HotTop),
                                         m_theme->color(CThemeColors::HotBottom));
        } else {
            painter.fillRect(r, m_theme->color(CThemeColors::MenuBarBack));
        }
        int flags = Qt::AlignCenter | Qt::TextSingleLine;
        flags |= proxy()->styleHint(SH_UnderlineShortcut, &item, nullptr) ? Qt::TextShowMnemonic
                                                                          : Qt::TextHideMnemonic;
        painter.setPen(m_theme->barText(item.state & State_Enabled));
        painter.drawText(r, flags, item.text);
    }

    const CThemeColors* m_theme;
};

} // namespace

CRssMenu::CRssMenu(const CThemeColors* theme, QWidget* parent) : QMenuBar(parent)
{
    setNativeMenuBar(false);
    auto* style = new CRssMenuStyle(theme);
    style->setParent(this);
    setStyle(style);
    connect(theme, &CThemeColors::changed, this, qOverload<>(&QWidget::update));
}

bool CRssMenu::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut)
        m_openedByMouse = false;
    return QMenuBar::event(event);
}

void CRssMenu::mousePressEvent(QMouseEvent* event)
{
    m_openedByMouse = true;
    QMenuBar::mousePressEvent(event);
}

void CRssMenu::keyPressEvent(QKeyEvent* event)
{
    m_openedByMouse = false;
    QMenuBar::keyPressEvent(event);
}
