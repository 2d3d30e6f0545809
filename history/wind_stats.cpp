#include "history/wind_stats.h"

#include "modbus/vocabulary.h"
#include "toolkit/numbers.h"

#include <algorithm>
#include <cmath>

namespace history {

namespace {

constexpr int kLongestStepS = 60;
// Lower limits of the Beaufort forces 1, 3, 4, 5, 6 and 7 in m/s, and of force 1 for calm.
constexpr std::array<double, WindRose::kBands> kBandStartMps{0.3, 3.4, 5.5, 8.0, 10.8, 13.9};
const std::array<QString, WindRose::kBands> kBandForces{
    QStringLiteral("1-2"), QStringLiteral("3"), QStringLiteral("4"),
    QStringLiteral("5"),   QStringLiteral("6"), QStringLiteral("7+")};

// Metres per second in one unit of the file.
double metresPerSecond(const QString& unit) {
    if (unit == u"km/h")
        return 1.0 / 3.6;
    if (unit == u"kn")
        return 1852.0 / 3600.0;
    return 1.0; // m/s, and a file without a unit is taken as m/s
}

} // namespace

std::optional<double> conversion(const QString& fileUnit, ShownUnit shown) {
    if (shown == ShownUnit::AsLogged)
        return 1.0;
    if (fileUnit.isEmpty())
        return std::nullopt;
    const double mps = metresPerSecond(fileUnit);
    switch (shown) {
    case ShownUnit::MetresPerSecond:
        return mps;
    case ShownUnit::KilometresPerHour:
        return mps * 3.6;
    case ShownUnit::Knots:
        return mps * 3600.0 / 1852.0;
    case ShownUnit::AsLogged:
        break;
    }
    return 1.0;
}

QString unitText(const QString& fileUnit, ShownUnit shown) {
    switch (shown) {
    case ShownUnit::AsLogged:
        return fileUnit;
    case ShownUnit::MetresPerSecond:
        return QStringLiteral("m/s");
    case ShownUnit::KilometresPerHour:
        return QStringLiteral("km/h");
    case ShownUnit::Knots:
        return QStringLiteral("kn");
    }
    return fileUnit;
}

DaySummary summarize(const QDate& day, const std::vector<Sample>& samples) {
    DaySummary summary;
    summary.day = day;
    summary.readings = int(samples.size());
    if (samples.empty())
        return summary;
    summary.firstSecond = samples.front().secondOfDay;
    summary.lastSecond = samples.back().secondOfDay;
    summary.batteryFirst = samples.front().battery;
    summary.batteryLast = samples.back().battery;
    double sum = 0;
    int numbers = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (!summary.maxSpeed || s.speed > *summary.maxSpeed) {
            summary.maxSpeed = s.speed;
            summary.maxSecond = s.secondOfDay;
        }
        if (!s.overLimit()) {
            sum += s.speed;
            ++numbers;
        }
        const int step =
            i + 1 < samples.size()
                ? std::clamp(samples[i + 1].secondOfDay - s.secondOfDay, 0, kLongestStepS)
                : 0;
        if (s.speed >= s.preset1)
            summary.minutesAtOrAbovePreset1 += step / 60.0;
        if (s.speed > s.preset2)
            summary.minutesAbovePreset2 += step / 60.0;
    }
    if (numbers > 0)
        summary.meanSpeed = sum / numbers;
    return summary;
}

void WindRose::add(const Sample& sample, const QString& fileUnit) {
    const double mps = sample.overLimit() ? 1e9 : sample.speed / 10.0 * metresPerSecond(fileUnit);
    if (mps < kBandStartMps[0]) {
        ++calm;
        return;
    }
    if (sample.direction < 0) {
        ++unknown;
        return;
    }
    int band = kBands - 1;
    while (band > 0 && mps < kBandStartMps[std::size_t(band)])
        --band;
    ++counts[std::size_t(sample.direction)][std::size_t(band)];
}

int WindRose::placed() const {
    int total = calm;
    for (const auto& sector : counts) {
        for (int count : sector)
            total += count;
    }
    return total;
}

double WindRose::share(int sector, int band) const {
    const int total = placed();
    return total == 0 ? 0.0 : 100.0 * counts[std::size_t(sector)][std::size_t(band)] / total;
}

double WindRose::calmShare() const {
    const int total = placed();
    return total == 0 ? 0.0 : 100.0 * calm / total;
}

const QStringList& compassNames() {
    static const QStringList names = [] {
        QStringList all;
        for (unsigned code = 0; code < modbus::kCompassNames.size(); ++code)
            all << modbus::compassName(code);
        return all;
    }();
    return names;
}

QStringList bandNames(const QString& fileUnit) {
    const double perMps = 1.0 / metresPerSecond(fileUnit);
    const QString unit = fileUnit.isEmpty() ? QStringLiteral("m/s") : fileUnit;
    const auto number = [](double value) { return toolkit::decimalText(value, 1); };
    QStringList names;
    for (int band = 0; band < WindRose::kBands; ++band) {
        const double from = kBandStartMps[std::size_t(band)] * perMps;
        const QString limits =
            band + 1 < WindRose::kBands
                ? QStringLiteral("%1-%2 %3")
                      .arg(number(from),
                           number(kBandStartMps[std::size_t(band + 1)] * perMps - 0.1), unit)
                : QStringLiteral("%1 %2 ou mais").arg(number(from), unit);
        names << QStringLiteral("Beaufort %1 (%2)").arg(kBandForces[std::size_t(band)], limits);
    }
    return names;
}

QString speedText(std::uint16_t tenths, double factor) {
    if (tenths == Sample::kOverLimit)
        return modbus::overLimitText();
    return toolkit::decimalText(tenths * factor / 10.0, 1);
}

} // namespace history
