#include "toolkit/numbers.h"

#include <QLocale>

#include <cstdlib>

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
    // Digits padded with zeros, so that 5 hundredths read "0,05".
    QString digits =
        QString::number(std::llabs(units)).rightJustified(decimals + 1, QLatin1Char('0'));
    if (decimals > 0)
        digits.insert(digits.size() - decimals, QLatin1Char(','));
    return units < 0 ? u'-' + digits : digits;
}

QString decimalText(double value, int decimals) {
    return stationLocale().toString(value, 'f', decimals);
}

} // namespace toolkit
