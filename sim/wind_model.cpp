#include "sim/wind_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr std::int64_t kStepMs = 100;
constexpr double kStepS = kStepMs / 1000.0;
// Longer pauses between requests only replay this much weather; it has forgotten the rest.
constexpr std::int64_t kMaxCatchUpMs = 300'000;

constexpr double kSlowPullPerS = 1.0 / 60.0; // the slow wind returns to its mean over a minute
constexpr double kSlowNoiseMps = 0.27;       // gives about 1,5 m/s of slow spread
constexpr double kGustsPerS = 1.0 / 25.0;
constexpr double kGustRiseS = 1.5;
constexpr double kGustDecayS = 4.0;
constexpr double kCalmMps = 0.3; // below this the vane has nothing to point at
constexpr double kVaneGlitchOdds = 0.02;

constexpr int kBatteryFullHundredths = 400;
constexpr int kBatteryEmptyHundredths = 330; // just under the last icon threshold, 3,40 V
constexpr std::int64_t kBatteryStepMs = 60'000;
constexpr std::int64_t kFastBatteryStepMs = 1'000;

double unitFactor(int unitCode) {
    switch (unitCode) {
    case 1:
        return 3.6;
    case 2:
        return 1.943844;
    default:
        return 1.0;
    }
}

std::uint16_t toTenths(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(value * 10.0), 0L, 65535L));
}

} // namespace

std::mt19937_64 makeEngine(std::uint64_t seed, int stationNumber, RandomStream stream) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(stationNumber),
                           static_cast<std::uint32_t>(stream)};
    return std::mt19937_64(sequence);
}

WindModel::WindModel(const StationSetup& station, std::uint64_t seed, bool fastBattery)
    : stationNumber_(station.number), unitCode_(station.unitCode), rfOdds_(station.rfOdds),
      fastBattery_(fastBattery), weather_(makeEngine(seed, station.number, RandomStream::Weather)),
      flags_(makeEngine(seed, station.number, RandomStream::Flags)) {
    std::uniform_real_distribution<double> meanDraw(3.0, 9.0);
    std::uniform_real_distribution<double> pointDraw(0.0, 16.0);
    meanSpeedMps_ = station.meanSpeedMps.value_or(meanDraw(weather_));
    slowSpeedMps_ = meanSpeedMps_;
    prevailingDirection_ = pointDraw(weather_);
    direction_ = prevailingDirection_;

    // Default presets sit where ordinary gusts cross the first and strong ones the second.
    const double factor = unitFactor(unitCode_);
    preset1Tenths_ = toTenths(station.preset1.value_or(std::round((meanSpeedMps_ + 3.0) * factor)));
    preset2Tenths_ = toTenths(station.preset2.value_or(std::round((meanSpeedMps_ + 6.0) * factor)));
}

void WindModel::step() {
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    slowSpeedMps_ += kSlowPullPerS * (meanSpeedMps_ - slowSpeedMps_) * kStepS +
                     kSlowNoiseMps * std::sqrt(kStepS) * normal(weather_);
    turbulenceMps_ = 0.7 * turbulenceMps_ + 0.3 * 0.6 * normal(weather_);

    if (gustPeakMps_ > 0.0) {
        gustAgeS_ += kStepS;
        if (gustAgeS_ > kGustRiseS + 6.0 * kGustDecayS)
            gustPeakMps_ = 0.0;
    } else if (uniform(weather_) < kGustsPerS * kStepS) {
        gustAgeS_ = 0.0;
        gustPeakMps_ = 2.0 + uniform(weather_) * (0.8 * meanSpeedMps_ + 3.0);
    }

    direction_ += 0.08 * normal(weather_);
    double offset = std::remainder(prevailingDirection_ - direction_, 16.0);
    direction_ += 0.002 * offset;
    direction_ = std::fmod(direction_ + 16.0, 16.0);
}

std::uint16_t WindModel::batteryHundredths(std::int64_t elapsedMs) const {
    const std::int64_t stepMs = fastBattery_ ? kFastBatteryStepMs : kBatteryStepMs;
    const std::int64_t range = kBatteryFullHundredths - kBatteryEmptyHundredths + 1;
    // Stations start at different charges so that the icons differ across the panels.
    const std::int64_t startOffset = ((stationNumber_ - 1) * 9) % 40;
    return static_cast<std::uint16_t>(kBatteryFullHundredths -
                                      (startOffset + elapsedMs / stepMs) % range);
}

modbus::StationValues WindModel::sample(std::int64_t elapsedMs) {
    modelMs_ = std::max(modelMs_, elapsedMs - kMaxCatchUpMs);
    while (modelMs_ + kStepMs <= elapsedMs) {
        step();
        modelMs_ += kStepMs;
    }

    double gustMps = 0.0;
    if (gustPeakMps_ > 0.0) {
        gustMps = gustAgeS_ < kGustRiseS
                      ? gustPeakMps_ * gustAgeS_ / kGustRiseS
                      : gustPeakMps_ * std::exp(-(gustAgeS_ - kGustRiseS) / kGustDecayS);
    }
    const double speedMps = std::max(0.0, slowSpeedMps_ + gustMps + turbulenceMps_);

    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const bool directionValid = speedMps >= kCalmMps && uniform(flags_) >= kVaneGlitchOdds;
    const bool rfOn = uniform(flags_) < rfOdds_;

    namespace status = modbus::status;
    modbus::StationValues values{
        .speed = toTenths(speedMps * unitFactor(unitCode_)),
        .battery = batteryHundredths(elapsedMs),
        .direction = static_cast<std::uint16_t>(std::lround(direction_) % 16),
        .preset1 = preset1Tenths_,
        .preset2 = preset2Tenths_,
        .status = static_cast<std::uint8_t>(unitCode_ & status::kUnitCodeMask),
    };
    const bool preset1Alarm = values.speed > preset1Tenths_;
    const bool preset2Alarm = values.speed > preset2Tenths_;
    if (directionValid)
        values.status |= status::kDirectionValid;
    if (preset1Alarm || preset2Alarm)
        values.status |= status::kSoundAlarm;
    if (preset1Alarm)
        values.status |= status::kPreset1Alarm;
    if (preset2Alarm)
        values.status |= status::kPreset2Alarm;
    if (rfOn)
        values.status |= status::kRf;
    return values;
}

} // namespace sim
