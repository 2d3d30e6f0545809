#pragma once

#include "modbus/rtu.h"

#include <cstdint>
#include <vector>

namespace bench {

// One station's request header and a good 17-byte reply to it.
struct Exchange {
    int station = 1;
    modbus::LastRequest last{};
    std::vector<std::uint8_t> reply;
};

// `count` good exchanges, stations 1 to 8 in turn (address = station), with varied speed,
// battery, direction, presets and status bits, so that every display step has work to do.
std::vector<Exchange> goodExchanges(int count);

} // namespace bench
