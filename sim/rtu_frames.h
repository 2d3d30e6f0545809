#pragma once

#include "modbus/rtu.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace sim {

using modbus::Bytes;

inline constexpr std::uint8_t kIllegalFunction = 0x01;
inline constexpr std::uint8_t kIllegalDataAddress = 0x02;
inline constexpr std::uint8_t kServerDeviceFailure = 0x04;

struct Request {
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    std::uint16_t firstRegister = 0;
    std::uint16_t count = 0;

    bool readsAllRegisters() const {
        return function == modbus::kReadHoldingRegisters && firstRegister == 0 &&
               count == modbus::kRegisterCount;
    }
};

// True when the last two bytes are the CRC of the bytes before them.
bool hasGoodCrc(std::span<const std::uint8_t> frame);
// The station program's test of a reply to a read request of `address`.
bool passesReplyCheck(std::span<const std::uint8_t> reply, std::uint8_t address);

// Cuts requests out of the byte stream: slides over garbage until 8 bytes with a good CRC
// line up, and forgets a partial frame once the line has been quiet for `silenceMs`.
class RequestFramer {
public:
    explicit RequestFramer(std::int64_t silenceMs) : silenceMs_(silenceMs) {}

    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs);
    std::optional<Request> next();
    void clear() { pending_.clear(); }

private:
    std::int64_t silenceMs_;
    std::int64_t lastByteMs_ = 0;
    std::deque<std::uint8_t> pending_;
};

} // namespace sim
