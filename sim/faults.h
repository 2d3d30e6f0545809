#pragma once

#include "sim/rtu_frames.h"
#include "sim/station_setup.h"

#include <QString>

#include <random>

namespace sim {

// What one station puts on the wire for one request, after any simulated fault.
struct StationAnswer {
    Outcome outcome = Outcome::Good;
    Bytes bytes;     // empty when the station stays silent
    int delayMs = 0; // late replies wait this long
    QString detail;  // Portuguese, for the transaction log
};

class FaultDice {
public:
    FaultDice(std::uint64_t seed, int stationNumber);

    // Faults are tried in the order of Outcome; the first one drawn wins.
    Outcome roll(const FaultOdds& odds);

    // Turns the good reply for `address` into what the fault sends.
    StationAnswer answer(Outcome fault, const Bytes& goodReply, std::uint8_t address,
                         int lateReplyMs);

private:
    Bytes randomBytes(int count);

    std::mt19937_64 engine_;
};

} // namespace sim
