#include "CNewGroup.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CNewGroup::CNewGroup(QWidget* parent) : QDialog(parent), m_name(new QLineEdit)
{
    setObjectName(u"newGroupDialog"_s);
    setWindowTitle(u"New Group"_s);
    m_name->setObjectName(u"nameEdit"_s);
    auto* label = new QLabel(u"&Enter group name:"_s);
    label->setBuddy(m_name);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_name, &QLineEdit::textChanged, ok,
            [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &CNewGroup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNewGroup::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_name);
    layout->addWidget(buttons);
    m_name->setMinimumWidth(260);
}

QString CNewGroup::Name() const
{
    return m_name->text().trimmed();
}
