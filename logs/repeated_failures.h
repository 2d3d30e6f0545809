#pragma once

#include "modbus/stations.h"

#include <QString>

#include <array>

namespace logs {

// The log step's failures as the operator sees them. A failure goes to the standard error
// report once per station and text while it goes on: a full disk would otherwise raise a box
// at every poll, and the menu would be out of reach. After a line of that station is written
// again, its next failure is news again.
class RepeatedFailures {
public:
    bool isNews(int station, const QString& text) const {
        return shown_[stationSlot(station)] != text;
    }
    void shown(int station, const QString& text) { shown_[stationSlot(station)] = text; }
    void lineWritten(int station) { shown_[stationSlot(station)].clear(); }

private:
    std::array<QString, kStations> shown_;
};

} // namespace logs
