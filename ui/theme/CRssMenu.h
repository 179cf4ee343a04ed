#pragma once

#include <QMenuBar>

class CThemeColors;

// The main window's menu bar, drawn in the theme's colours: hot and keyboard-selected titles
// in the hot gradient, a title opened with the mouse in the tool bar gradient. The menus it
// opens keep the desktop's look; mnemonics and keyboard navigation are the menu bar's own.
class CRssMenu : public QMenuBar
{
    Q_OBJECT
public:
    CRssMenu(const CThemeColors* theme, QWidget* parent = nullptr);

    // Whether the open menu was opened with the mouse (not with the keyboard).
    bool openedByMouse() const { return m_openedByMouse; }

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_openedByMouse = false;
};
