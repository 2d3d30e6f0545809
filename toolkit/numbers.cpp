#include "toolkit/numbers.h"

#include <QLocale>

#include <array>
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
    // The count's own digits, a comma before the last `decimals`: the text the locale gives
    // below, without its machinery, for what the panels and the site's tiles show at every poll.
    constexpr qint64 kMostDigitsWritten = 1'000'000'000'000'000; // 10^15
    if (decimals >= 1 && decimals <= 6 && units > -kMostDigitsWritten &&
        units < kMostDigitsWritten) {
        std::array<char16_t, 24> text;
        std::size_t at = text.size();
        qint64 rest = units < 0 ? -units : units;
        for (int digit = 0; digit <= decimals || rest > 0; ++digit) {
            if (digit == decimals)
                text[--at] = u',';
            text[--at] = char16_t(u'0' + rest % 10);
            rest /= 10;
        }
        if (units < 0)
            text[--at] = u'-';
        return QString(reinterpret_cast<const QChar*>(text.data() + at),
                       qsizetype(text.size() - at));
    }
    // Exact for counts below 2^52: the quotient is nearer the decimal value than half its last
    // place, so rounding to `decimals` places gives that value back.
    return stationLocale().toString(double(units) / std::pow(10.0, decimals), 'f', decimals);
}

QString decimalText(double value, int decimals) {
    return stationLocale().toString(value, 'f', decimals);
}

} // namespace toolkit
