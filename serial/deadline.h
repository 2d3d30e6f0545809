#pragma once

#include <chrono>

namespace serial {

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, rounded up so that a wait never ends just short of
// it and turns into a busy loop.
inline int msUntil(Clock::time_point deadline) {
    return static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

} // namespace serial
