#pragma once

#include "sim/rtu_frames.h"
#include "sim/station_setup.h"

#include <random>

namespace sim {

// Independent random streams per station, so that polling one station or rolling a fault
// never changes the weather of another.
enum class RandomStream { Weather, Flags, Faults };
std::mt19937_64 makeEngine(std::uint64_t seed, int stationNumber, RandomStream stream);

// The weather at one station: a slowly wandering mean speed with gusts and turbulence, a
// drifting vane and a battery that runs down and is recharged.
class WindModel {
public:
    WindModel(const StationSetup& station, std::uint64_t seed, bool fastBattery);

    // Brings the weather up to `elapsedMs` since the bus started and reads the registers.
    modbus::StationValues sample(std::int64_t elapsedMs);

    std::uint16_t preset1Tenths() const { return preset1Tenths_; }
    std::uint16_t preset2Tenths() const { return preset2Tenths_; }

private:
    void step();
    std::uint16_t batteryHundredths(std::int64_t elapsedMs) const;

    int stationNumber_;
    int unitCode_;
    double rfOdds_;
    bool fastBattery_;
    std::mt19937_64 weather_;
    std::mt19937_64 flags_;
    double meanSpeedMps_ = 0.0;
    double slowSpeedMps_ = 0.0;
    double turbulenceMps_ = 0.0;
    double gustPeakMps_ = 0.0;
    double gustAgeS_ = 0.0;
    double prevailingDirection_ = 0.0; // in compass points, 0..16
    double direction_ = 0.0;
    std::uint16_t preset1Tenths_ = 0;
    std::uint16_t preset2Tenths_ = 0;
    std::int64_t modelMs_ = 0;
};

} // namespace sim
