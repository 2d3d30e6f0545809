#include "settings/station_config.h"

#include "toolkit/failure.h"

namespace settings {

TypedNumber typedNumber(const QString& text) {
    try {
        return {text, toolkit::StrToInt(text)};
    } catch (const toolkit::Failure&) {
        return {text, std::nullopt};
    }
}

QString defaultStationName(int station) {
    return QStringLiteral("ANEMÔMETRO %1").arg(station);
}

std::array<StationEntry, kStations> StationConfig::defaultStations() {
    std::array<StationEntry, kStations> stations{};
    for (int n = 1; n <= kStations; ++n)
        stations[stationSlot(n)].name = defaultStationName(n);
    return stations;
}

} // namespace settings
