#include "alarms/alarm_watch.h"

#include "health/health_monitor.h"
#include "settings/station_settings.h"
#include "toolkit/os_files.h"

namespace alarms {

AlarmWatch::AlarmWatch(Sources sources, QObject* parent)
    : QObject(parent), sources_(std::move(sources)) {
    connect(&sources_.settings, &settings::StationSettings::polledChanged, this,
            [this](int station, bool shown) {
                if (!shown)
                    stationNoLongerPolled(station);
            });
}

void AlarmWatch::pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) {
    if (outcome.cutShort)
        return;
    const int station = outcome.station;
    const qint64 now = sources_.nowMs();
    AlarmBook& book = sources_.book;
    if (reading) {
        std::optional<double> speed;
        if (!reading->speedOverLimit && outcome.values)
            speed = outcome.values->speed / 10.0;
        book.setActive(station, Kind::Preset2, reading->preset2Alarm, now, speed,
                       reading->unitText);
        book.setActive(station, Kind::Preset1, reading->preset1Alarm, now, speed,
                       reading->unitText);
        book.setActive(station, Kind::BatteryLow,
                       batteryLow(book.isActive(station, Kind::BatteryLow), reading->batteryValue),
                       now);
    }
    // One good reply ends it; three failed polls in a row confirm it. Fewer say nothing: an
    // alarm read back at a restart stays as it was.
    if (reading)
        book.setActive(station, Kind::NoAnswer, false, now);
    else if (!sources_.health.station(station).answering())
        book.setActive(station, Kind::NoAnswer, true, now);
}

void AlarmWatch::portStateChanged(bus::PortState, bus::PortState to, const QString&) {
    using bus::PortState;
    // Closed for the configuration window, or waiting to open after it: the operator's own
    // doing, which neither raises nor ends the alarm.
    bool closed = false;
    switch (to) {
    case PortState::Open:
        break;
    case PortState::Lost:
    case PortState::ReportingOpenFailure:
    case PortState::WaitingForUser:
        closed = true;
        break;
    case PortState::WaitingToOpen:
    case PortState::ClosedForConfiguration:
        return;
    }
    sources_.book.setActive(kPortStation, Kind::PortClosed, closed, sources_.nowMs());
}

void AlarmWatch::logFailed(int station) {
    sources_.book.setActive(station, Kind::LogFailed, true, sources_.nowMs());
}

void AlarmWatch::logRecovered(int station) {
    sources_.book.setActive(station, Kind::LogFailed, false, sources_.nowMs());
}

void AlarmWatch::forgetStationsNotPolled() {
    for (int station = 1; station <= kStations; ++station) {
        if (!sources_.settings.polled(station))
            stationNoLongerPolled(station);
    }
}

void AlarmWatch::stationNoLongerPolled(int station) {
    const qint64 now = sources_.nowMs();
    for (const Kind kind :
         {Kind::Preset2, Kind::Preset1, Kind::NoAnswer, Kind::BatteryLow, Kind::LogFailed})
        sources_.book.endAtOnce(station, kind, now);
}

QString loginName() {
    if (const QString user = qEnvironmentVariable("USER"); !user.isEmpty())
        return user;
    if (const std::string name = os::loginName(); !name.empty())
        return QString::fromStdString(name);
    return QStringLiteral("desconhecido");
}

} // namespace alarms
