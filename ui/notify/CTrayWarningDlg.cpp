#include "CTrayWarningDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CTrayWarningDlg::CTrayWarningDlg(QWidget* parent)
    : QDialog(parent), m_doNotShow(new QCheckBox(u"Do not show me this message again."_s))
{
    setObjectName(u"trayWarning"_s);
    setWindowTitle(u"Calvoria"_s);
    auto* layout = new QVBoxLayout(this);
    for (const QString& text :
         {u"Although you have closed the Calvoria, the application will continue to run in the "
          "task bar (near the clock) so that you can continue to receive news."_s,
          u"To exit the application completely, right click on the Calvoria icon in the tray "
          "and select 'Exit'."_s}) {
        auto* label = new QLabel(text);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    m_doNotShow->setObjectName(u"doNotShowAgain"_s);
    layout->addWidget(m_doNotShow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    setAccessibleName(windowTitle());
    setMinimumWidth(420);
}

bool CTrayWarningDlg::doNotShowAgain() const
{
    return m_doNotShow->isChecked();
}
