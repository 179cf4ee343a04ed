#pragma once

#include "COptionsPage.h"

class CAppServices;
class IFrameServices;
class QCheckBox;
class QLineEdit;
class QSpinBox;

// "RSS News": how often news are checked, the time display, the popups, the preview lines
// and when a shown news counts as read.
class CRSSFeedOptions : public COptionsPage
{
    Q_OBJECT
public:
    CRSSFeedOptions(CAppServices& app, IFrameServices& frame, QWidget* parent = nullptr);

    QString Problem() const override;

protected:
    void Initialize() override;
    void ApplyPage() override;

private:
    void UpdateEnables();

    CAppServices& m_app;
    IFrameServices& m_frame;
    QLineEdit* m_interval;
    QCheckBox* m_timeSince;
    QCheckBox* m_popup;
    QCheckBox* m_preview;
    QSpinBox* m_previewLines;
    QLineEdit* m_markRead;
};
