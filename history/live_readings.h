#pragma once

#include "bus/poll_outcome.h"
#include "history/log_reader.h"
#include "modbus/stations.h"

#include <QDate>

#include <array>
#include <functional>
#include <vector>

namespace history {

// Today's good readings of every station since the program started, logged or not, held in
// memory: at most one day per station (the first reading of a new day drops the old one).
class LiveReadings : public bus::OutcomeListener {
public:
    struct Stations {
        std::function<QString(int station)> name; // the caption of the station's name panel
        std::function<qint64()> nowMs;
    };

    // One station's readings under one name (a rename during the day starts another).
    struct Day {
        QString station;
        QString unit;
        std::vector<Sample> samples;
    };

    explicit LiveReadings(Stations stations) : stations_(std::move(stations)) {}

    void pollFinished(const bus::PollOutcome& outcome) override;

    QDate day() const { return day_; }
    // Today's readings under `name`, of whichever station slot bore it; empty when none.
    Day readingsOf(const QString& name) const;
    QStringList names() const;

    // The reading as a log line would hold it.
    static Sample sampleOf(const modbus::StationValues& values, int secondOfDay);

private:
    Stations stations_;
    QDate day_;
    std::array<std::vector<Day>, kStations> days_;
};

} // namespace history
