#include "history/live_readings.h"

#include <QDateTime>

#include <algorithm>

namespace history {

namespace {

constexpr unsigned kFiveDigits = 10000;

std::uint16_t tenthsOrOverLimit(std::uint16_t value) {
    return value >= kFiveDigits ? Sample::kOverLimit : value;
}

} // namespace

Sample LiveReadings::sampleOf(const modbus::StationValues& values, int secondOfDay) {
    namespace status = modbus::status;
    Sample sample;
    sample.secondOfDay = secondOfDay;
    sample.speed = tenthsOrOverLimit(values.speed);
    sample.preset1 = tenthsOrOverLimit(values.preset1);
    sample.preset2 = tenthsOrOverLimit(values.preset2);
    sample.battery = values.battery;
    sample.direction = values.has(status::kDirectionValid) && values.direction < 16
                           ? std::int8_t(values.direction)
                           : Sample::kNoDirection;
    sample.sound = values.has(status::kSoundAlarm);
    return sample;
}

void LiveReadings::pollFinished(const bus::PollOutcome& outcome) {
    if (!outcome.values)
        return;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(stations_.nowMs());
    if (now.date() != day_) {
        day_ = now.date();
        for (auto& station : days_)
            station.clear();
    }
    std::vector<Day>& days = days_[stationSlot(outcome.station)];
    const QString name = stations_.name(outcome.station);
    auto day =
        std::find_if(days.begin(), days.end(), [&](const Day& d) { return d.station == name; });
    if (day == days.end())
        day =
            days.insert(days.end(), Day{name, modbus::unitSymbol(outcome.values->unitCode()), {}});
    day->samples.push_back(sampleOf(*outcome.values, now.time().msecsSinceStartOfDay() / 1000));
}

LiveReadings::Day LiveReadings::readingsOf(const QString& name) const {
    for (const auto& station : days_) {
        for (const Day& day : station) {
            if (day.station == name)
                return day;
        }
    }
    return {name, {}, {}};
}

QStringList LiveReadings::names() const {
    QStringList names;
    for (const auto& station : days_) {
        for (const Day& day : station)
            names << day.station;
    }
    return names;
}

} // namespace history
