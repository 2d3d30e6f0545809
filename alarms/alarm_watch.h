#pragma once

#include "alarms/alarm_book.h"
#include "readings/reading_feed.h"

#include <QObject>
#include <QString>

#include <functional>

namespace health {
class HealthMonitor;
}

namespace settings {
class StationSettings;
}

namespace alarms {

// Drives the alarm book from what the stations and the port do: at every poll the preset
// flags (with the speed, for the peak), the battery (low below 3,40 V, normal again from
// 3,50 V) and whether the station answers (three failed polls in a row, as health counts them);
// the port lost or not opened while polling should run; a station's log lines that cannot be
// written. A poll cut short by the operator says nothing of the station, and a station that
// is no longer polled has its alarms gone. Told after the health monitor, whose counts it reads.
class AlarmWatch : public QObject, public readings::ReadingListener {
    Q_OBJECT

public:
    struct Sources {
        AlarmBook& book;
        const health::HealthMonitor& health;
        const settings::StationSettings& settings;
        std::function<qint64()> nowMs;
    };

    explicit AlarmWatch(Sources sources, QObject* parent = nullptr);

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;
    void logFailed(int station);
    void logRecovered(int station);
    // The alarms of the stations that are not polled go (after the list is read back at start).
    void forgetStationsNotPolled();

private:
    void stationNoLongerPolled(int station);

    Sources sources_;
};

// The login name of the user running the program: who acknowledges, silences and shelves.
QString loginName();

} // namespace alarms
