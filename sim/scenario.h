#pragma once

#include "sim/station_setup.h"

#include <map>

namespace sim {

// What a scenario section or a --fault option lays over a station's defaults.
struct StationOverrides {
    std::optional<int> address;
    std::optional<int> unitCode;
    std::optional<double> meanSpeedMps;
    std::optional<double> preset1;
    std::optional<double> preset2;
    std::optional<double> rfOdds;
    std::array<std::optional<double>, kFaultKinds> faultOdds;
    std::optional<std::pair<double, double>> presentAwayS;
};

// Sets one station key ("unit", "silent", ...); returns a Portuguese error text, empty if fine.
QString setStationKey(StationOverrides& overrides, const QString& key, const QString& value);
void applyOverrides(const StationOverrides& overrides, StationSetup& station);

struct Scenario {
    std::optional<int> stationCount;
    std::optional<std::vector<int>> addresses;
    std::optional<std::uint64_t> seed;
    std::optional<bool> fastBattery;
    std::optional<int> lateReplyMs;
    StationOverrides allStations;
    std::map<int, StationOverrides> perStation; // by station number
};

struct ScenarioResult {
    Scenario scenario;
    QString error; // "file:line: reason" in Portuguese, empty on success
};

ScenarioResult parseScenario(const QString& text, const QString& fileName);
ScenarioResult loadScenario(const QString& path);

// Number readers shared with the command line; a decimal comma is taken like a point.
std::optional<double> parseDecimal(const QString& text);
std::optional<long long> parseInteger(const QString& text);
std::optional<int> parseStationCount(const QString& text);
// "1,2,5": one to eight distinct addresses 0..255.
std::optional<std::vector<int>> parseAddressList(const QString& text);
std::optional<bool> parseSwitch(const QString& text);

} // namespace sim
