#pragma once

#include "history/log_reader.h"

#include <QStringList>

#include <array>
#include <optional>

namespace history {

// The unit the speeds are shown in: the log file's own, or one chosen.
enum class ShownUnit { AsLogged, MetresPerSecond, KilometresPerHour, Knots };

// The factor from a log file's unit ("m/s", "km/h", "kn") to the unit shown, or nothing when
// the file has no unit and another one is asked for.
std::optional<double> conversion(const QString& fileUnit, ShownUnit shown);
QString unitText(const QString& fileUnit, ShownUnit shown);

// The day's figures of one station.
struct DaySummary {
    QDate day;
    int readings = 0;
    std::optional<std::uint16_t> maxSpeed; // tenths; Sample::kOverLimit when "> LIMITE"
    int maxSecond = 0;
    std::optional<double> meanSpeed; // tenths, over the readings with a number
    // Each reading stands for the time until the next one, 60 s at most (a gap is no data).
    double minutesAtOrAbovePreset1 = 0;
    double minutesAbovePreset2 = 0;
    int firstSecond = 0;
    int lastSecond = 0;
    std::uint16_t batteryFirst = 0; // hundredths of a volt
    std::uint16_t batteryLast = 0;
};
DaySummary summarize(const QDate& day, const std::vector<Sample>& samples);

// The share of the readings from each of the 16 compass points, by Beaufort band, with the
// calm ones apart and those without a direction counted, not placed.
struct WindRose {
    static constexpr int kSectors = 16;
    static constexpr int kBands = 6; // Beaufort 1-2, 3, 4, 5, 6, 7 and above

    std::array<std::array<int, kBands>, kSectors> counts{};
    int calm = 0;
    int unknown = 0;

    void add(const Sample& sample, const QString& fileUnit);
    int placed() const; // readings with a direction, and the calm ones
    // Percent of the placed readings.
    double share(int sector, int band) const;
    double calmShare() const;
};

// "N", "NNE", ... "NNO": the panels' compass names.
const QStringList& compassNames();
// The bands' names with their limits in the file's unit: "Beaufort 3 (12,2-19,8 km/h)".
QStringList bandNames(const QString& fileUnit);

// A speed in tenths of the unit shown, as the panel writes it ("23,4"), or "> LIMITE".
QString speedText(std::uint16_t tenths, double factor = 1.0);

} // namespace history
