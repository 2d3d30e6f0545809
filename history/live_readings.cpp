#include "history/live_readings.h"

#include <QDateTime>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace history {

namespace {

constexpr unsigned kFiveDigits = 10000;

std::uint16_t tenthsOrOverLimit(std::uint16_t value) {
    return value >= kFiveDigits ? Sample::kOverLimit : value;
}

// What is held of one reading.
struct HeldReading {
    std::uint32_t secondOfDay;
    std::uint16_t speed; // tenths, or Sample::kOverLimit
    std::int8_t direction;
    std::uint8_t sound;
};
static_assert(sizeof(HeldReading) == 8);

// The preset levels from the `from`th reading on.
struct Levels {
    std::uint32_t from;
    std::uint16_t preset1;
    std::uint16_t preset2;
};

// The readings go into blocks of 8 KB (about half an hour of one station at the fastest
// cycle): the day grows by a block at a time and is never copied to grow.
constexpr std::size_t kBlockReadings = 1024;
using Block = std::array<HeldReading, kBlockReadings>;

} // namespace

struct LiveReadings::StationDay {
    QString station;
    QString unit;
    std::vector<std::unique_ptr<Block>> blocks;
    std::size_t count = 0;
    std::vector<Levels> levels;
    std::uint16_t batteryFirst = 0;
    std::uint16_t batteryNewest = 0;

    void add(const Sample& sample) {
        if (count == blocks.size() * kBlockReadings)
            blocks.push_back(std::make_unique_for_overwrite<Block>());
        (*blocks[count / kBlockReadings])[count % kBlockReadings] = {
            std::uint32_t(sample.secondOfDay), sample.speed, sample.direction,
            std::uint8_t(sample.sound)};
        if (levels.empty() || levels.back().preset1 != sample.preset1 ||
            levels.back().preset2 != sample.preset2)
            levels.push_back({std::uint32_t(count), sample.preset1, sample.preset2});
        if (count == 0)
            batteryFirst = sample.battery;
        batteryNewest = sample.battery;
        ++count;
    }

    std::vector<Sample> samples(std::size_t from) const {
        std::vector<Sample> out;
        if (from >= count)
            return out;
        out.reserve(count - from);
        auto level =
            std::upper_bound(levels.begin(), levels.end(), from,
                             [](std::size_t index, const Levels& l) { return index < l.from; }) -
            1;
        for (std::size_t i = from; i < count; ++i) {
            if (level + 1 != levels.end() && (level + 1)->from == i)
                ++level;
            const HeldReading& held = (*blocks[i / kBlockReadings])[i % kBlockReadings];
            out.push_back({std::int32_t(held.secondOfDay), held.speed, level->preset1,
                           level->preset2, i == 0 ? batteryFirst : batteryNewest, held.direction,
                           held.sound != 0});
        }
        return out;
    }

    std::size_t bytes() const {
        return blocks.size() * sizeof(Block) + blocks.capacity() * sizeof(blocks.front()) +
               levels.capacity() * sizeof(Levels);
    }
};

LiveReadings::LiveReadings(Stations stations) : stations_(std::move(stations)) {}

LiveReadings::~LiveReadings() = default;

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

QDate LiveReadings::today() const {
    return QDateTime::fromMSecsSinceEpoch(stations_.nowMs()).date();
}

void LiveReadings::dropPastDay() {
    if (!day_.isValid() || day_ == today())
        return;
    day_ = QDate();
    for (auto& station : days_)
        station.clear();
#ifdef __GLIBC__
    // The day's blocks lie among other allocations: glibc keeps such freed memory inside the
    // process unless asked to give it back.
    malloc_trim(0);
#endif
}

void LiveReadings::pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) {
    dropPastDay();
    if (!outcome.values || !reading)
        return;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(stations_.nowMs());
    day_ = now.date();
    auto& days = days_[stationSlot(outcome.station)];
    const QString name = stations_.settings.name(outcome.station);
    auto day =
        std::find_if(days.begin(), days.end(), [&](const auto& d) { return d->station == name; });
    if (day == days.end()) {
        days.push_back(std::make_unique<StationDay>());
        days.back()->station = name;
        days.back()->unit = reading->unitText;
        day = days.end() - 1;
    }
    (*day)->add(sampleOf(*outcome.values, now.time().msecsSinceStartOfDay() / 1000));
}

void LiveReadings::portStateChanged(bus::PortState, bus::PortState, const QString&) {
    dropPastDay();
}

LiveReadings::Day LiveReadings::readingsOf(const QString& name, std::size_t from) const {
    if (day_ == today()) {
        for (const auto& station : days_) {
            for (const auto& day : station) {
                if (day->station == name)
                    return {name, day->unit, day->samples(from)};
            }
        }
    }
    return {name, {}, {}};
}

QStringList LiveReadings::names() const {
    QStringList names;
    if (day_ != today())
        return names;
    for (const auto& station : days_) {
        for (const auto& day : station)
            names << day->station;
    }
    return names;
}

std::size_t LiveReadings::heldBytes() const {
    std::size_t bytes = 0;
    for (const auto& station : days_) {
        for (const auto& day : station)
            bytes += day->bytes();
    }
    return bytes;
}

} // namespace history
