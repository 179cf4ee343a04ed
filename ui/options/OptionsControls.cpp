#include "OptionsControls.h"

#include <QRegularExpressionValidator>

namespace OptionsControls {

QLineEdit* NumberEdit(int value, int maxDigits)
{
    auto* edit = new QLineEdit(QString::number(value));
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(u'0') * (maxDigits + 3));
    return edit;
}

bool NumberOf(const QLineEdit* edit, int& value)
{
    bool ok = false;
    value = edit->text().toInt(&ok);
    return ok;
}

QString RangeMessage(int min, int max)
{
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(min).arg(max);
}

} // namespace OptionsControls
