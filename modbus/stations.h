#pragma once

#include <cassert>
#include <cstddef>

// Stations are numbered 1 to 8 everywhere the operator sees them; arrays are indexed from 0.
// This is the one place where one turns into the other.
inline constexpr int kStations = 8;

inline std::size_t stationSlot(int station) {
    assert(station >= 1 && station <= kStations);
    return static_cast<std::size_t>(station - 1);
}
