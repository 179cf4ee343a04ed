#pragma once

#include <QLineEdit>
#include <QString>

// Small helpers the option pages share.
namespace OptionsControls {

// A line edit that takes digits only.
QLineEdit* NumberEdit(int value, int maxDigits = 6);
// The edit's number; false when it holds none.
bool NumberOf(const QLineEdit* edit, int& value);
inline const QString kNotAnInteger = QStringLiteral("Please enter an integer.");
// "Please enter an integer between min and max."
QString RangeMessage(int min, int max);
template <class Range> QString RangeMessage(const Range& range)
{
    return RangeMessage(range.min, range.max);
}

} // namespace OptionsControls
