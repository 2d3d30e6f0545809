#pragma once

#include "modbus/stations.h"

#include <QString>

#include <array>
#include <optional>

namespace settings {

// A number as the user typed it, and its value when the text is one. A text that is not a
// number still fails where the program converts it, with the conversion's own message, as it
// always did (the address when a request is built, the count when it is applied).
struct TypedNumber {
    QString text;
    std::optional<int> value;

    friend bool operator==(const TypedNumber&, const TypedNumber&) = default;
};
TypedNumber typedNumber(const QString& text);

// The name a station has until it is given one.
QString defaultStationName(int station);

// One station of the bus as configured.
struct StationEntry {
    QString name;
    TypedNumber address;
    bool logged = false;
    // At or below the station count: polled, its panel shown.
    bool polled = true;

    friend bool operator==(const StationEntry&, const StationEntry&) = default;
};

// The station's whole configuration as a value: the port, the rate, the count, the read
// interval, the cycle pause and each station. Read from and written to ConfigALL.txt by
// config/; edited by the configuration window on a copy; applied to the settings at once.
struct StationConfig {
    QString portName;
    TypedNumber baudRate;
    TypedNumber stationCount;
    TypedNumber readIntervalS;
    int cyclePauseMs = 0;
    std::array<StationEntry, kStations> stations = defaultStations();

    StationEntry& station(int n) { return stations[stationSlot(n)]; }
    const StationEntry& station(int n) const { return stations[stationSlot(n)]; }

    static std::array<StationEntry, kStations> defaultStations();
    friend bool operator==(const StationConfig&, const StationConfig&) = default;
};

} // namespace settings
