#pragma once

#include <QDialog>

class QCheckBox;

// Told once when the close box hides the window: the program goes on in the notification
// area, and Exit in the tray menu ends it.
class CTrayWarningDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 162;
    static constexpr int kDoNotShowId = 1010;

    explicit CTrayWarningDlg(QWidget* parent = nullptr);

    bool doNotShowAgain() const;
    QCheckBox* doNotShowBox() const { return m_doNotShow; }

private:
    QCheckBox* m_doNotShow;
};
