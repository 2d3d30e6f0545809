#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace sim {

// What became of one request; every outcome but Good is also a fault that can be asked for.
enum class Outcome { Good, Silent, BadCrc, WrongAddress, Exception, Truncated, Late, Noise };

inline constexpr int kFaultKinds = 7;
inline constexpr int kMaxStations = 8;

// Probability (0..1) of each fault, indexed by faultIndex().
using FaultOdds = std::array<double, kFaultKinds>;

constexpr int faultIndex(Outcome fault) {
    return static_cast<int>(fault) - 1;
}
constexpr Outcome faultAt(int index) {
    return static_cast<Outcome>(index + 1);
}

// The word for an outcome in the record file and in fault options ("good", "badcrc", ...).
QString outcomeName(Outcome outcome);
std::optional<Outcome> faultFromName(QStringView name);

// Unit codes of the status byte: 0 m/s, 1 km/h, 2 kn, 3 none.
std::optional<int> unitFromName(QStringView name);
QString unitText(int unitCode);

struct StationSetup {
    int number = 1;  // slot on the bus, 1..8
    int address = 1; // byte on the wire
    int unitCode = 0;
    std::optional<double> meanSpeedMps; // drawn from the seed when absent
    std::optional<double> preset1;      // in the station's unit; derived from the mean when absent
    std::optional<double> preset2;
    double rfOdds = 0.95;
    FaultOdds faultOdds{};
    // Present for the first, away (silent) for the second number of seconds, over and over
    // from the start of the bus: a station that comes and goes.
    std::optional<std::pair<double, double>> presentAwayS;

    bool awayAt(std::int64_t elapsedMs) const {
        if (!presentAwayS)
            return false;
        const auto periodMs = std::int64_t((presentAwayS->first + presentAwayS->second) * 1000);
        return periodMs > 0 && elapsedMs % periodMs >= std::int64_t(presentAwayS->first * 1000);
    }
};

struct BusSetup {
    QString linkPath;
    std::vector<StationSetup> stations;
    std::uint64_t seed = 0;
    bool fastBattery = false;
    int lateReplyMs = 300;
    std::optional<double> vanishAfterS;
    double vanishForS = 5.0;
    QString logPath;
    QString recordPath;
};

} // namespace sim
