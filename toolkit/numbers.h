#pragma once

#include <QString>

// Numbers as the station shows them: a decimal comma and no thousands separator, whatever the
// machine's regional settings.
namespace toolkit {

// A count of hundredths, tenths, ... exactly: decimalText(5, 2) is "0,05", (123, 1) "12,3".
QString decimalText(qint64 units, int decimals);
// A computed value rounded to `decimals` places: decimalText(99.25, 1) is "99,3".
QString decimalText(double value, int decimals);

} // namespace toolkit
