#pragma once

#include "bus/poll_outcome.h"
#include "history/log_reader.h"
#include "modbus/stations.h"
#include "readings/reading_feed.h"
#include "settings/station_settings.h"

#include <QDate>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace history {

// Today's good readings of every station since the program started, logged or not, held in
// memory: at most one day per station. The first poll of a new day, answered or not, gives the
// day before up, and nothing of it is read after midnight.
//
// A day at the fastest cycle is about 47,000 readings a station, so a reading is held in 8
// bytes (time, speed, direction, alarm); the preset levels only where they change, and the
// battery of the first and the newest reading only, which is all the summary shows of it.
class LiveReadings : public readings::ReadingListener {
public:
    struct Stations {
        const settings::StationSettings& settings; // the stations' names
        std::function<qint64()> nowMs;
    };

    // One station's readings under one name (a rename during the day starts another). A
    // reading between the first and the newest carries the newest battery.
    struct Day {
        QString station;
        QString unit;
        std::vector<Sample> samples;
    };

    explicit LiveReadings(Stations stations);
    ~LiveReadings() override;

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;

    QDate day() const { return day_; }
    // Today's readings under `name` from the `from`th on, of whichever station slot bore it;
    // empty when none.
    Day readingsOf(const QString& name, std::size_t from = 0) const;
    QStringList names() const;
    // The memory the held readings take.
    std::size_t heldBytes() const;

    // The reading as a log line would hold it.
    static Sample sampleOf(const modbus::StationValues& values, int secondOfDay);

private:
    struct StationDay;

    QDate today() const;
    // Gives up the held day once the clock is past it.
    void dropPastDay();

    Stations stations_;
    QDate day_;
    std::array<std::vector<std::unique_ptr<StationDay>>, kStations> days_;
};

} // namespace history
