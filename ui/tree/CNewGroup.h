#pragma once

#include <QDialog>

class QLineEdit;

// "New Group": asks for the new group's name.
class CNewGroup : public QDialog
{
    Q_OBJECT

public:
    explicit CNewGroup(QWidget* parent = nullptr);

    QString Name() const;

private:
    QLineEdit* m_name;
};
