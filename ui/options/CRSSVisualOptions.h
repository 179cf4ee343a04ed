#pragma once

#include "COptionsPage.h"

class CAppServices;
class IFrameServices;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QRadioButton;

// "Appearance": the colour theme, the reading pane and its place, the reading style,
// whether news pages load remote images, and the size of the tool bar buttons.
class CRSSVisualOptions : public COptionsPage
{
    Q_OBJECT
public:
    CRSSVisualOptions(CAppServices& app, IFrameServices& frame, QWidget* parent = nullptr);

protected:
    void Initialize() override;
    void ApplyPage() override;

private:
    void UpdateEnables();

    CAppServices& m_app;
    IFrameServices& m_frame;
    QButtonGroup* m_theme;
    QCheckBox* m_showPane;
    QRadioButton* m_right;
    QRadioButton* m_bottom;
    QComboBox* m_style;
    QCheckBox* m_remoteImages;
    QRadioButton* m_large;
    QRadioButton* m_small;
};
