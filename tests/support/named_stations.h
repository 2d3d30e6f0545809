#pragma once

// Station settings for a test: stations 1 to `shown` shown (all eight unless told), named
// "EST 1" ... "EST 8" at addresses `firstAddress` (1) onwards.

#include "settings/station_settings.h"

class NamedStations : public settings::StationSettings {
public:
    explicit NamedStations(int shown = kStations, int firstAddress = 1) {
        for (int station = 1; station <= kStations; ++station) {
            setPolled(station, station <= shown);
            setName(station, QStringLiteral("EST %1").arg(station));
            setAddressText(station, QString::number(firstAddress + station - 1));
        }
    }
};
