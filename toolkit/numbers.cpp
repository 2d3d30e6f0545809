#include "toolkit/numbers.h"

#include <QLocale>

#include <cmath>

namespace toolkit {

namespace {

const QLocale& stationLocale() {
    static const QLocale locale = [] {
        QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        brazil.setNumberOptions(QLocale::OmitGroupSeparator);
        return brazil;
    }();
    return locale;
}

} // namespace

QString decimalText(qint64 units, int decimals) {
    // Exact for counts below 2^52: the quotient is nearer the decimal value than half its last
    // place, so rounding to `decimals` places gives that value back.
    return stationLocale().toString(double(units) / std::pow(10.0, decimals), 'f', decimals);
}

QString decimalText(double value, int decimals) {
    return stationLocale().toString(value, 'f', decimals);
}

} // namespace toolkit
