#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kRequestBytes = 8;
inline constexpr int kReadReplyBytes = 17;
inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kIllegalFunction = 0x01;
inline constexpr std::uint8_t kIllegalDataAddress = 0x02;
inline constexpr std::uint8_t kServerDeviceFailure = 0x04;

// Registers 0..5: speed, battery, direction, preset 1, preset 2, status.
using Registers = std::array<std::uint16_t, 6>;
enum RegisterIndex { kSpeed, kBattery, kDirection, kPreset1, kPreset2, kStatus };

struct Request {
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    std::uint16_t firstRegister = 0;
    std::uint16_t count = 0;

    bool readsAllRegisters() const {
        return function == kReadHoldingRegisters && firstRegister == 0 && count == 6;
    }
};

// Appends the CRC-16 of everything before it, low byte first.
void appendCrc(Bytes& frame);
// True when the last two bytes are the CRC of the bytes before them.
bool hasGoodCrc(std::span<const std::uint8_t> frame);
// The station program's test of a reply to `address`: CRC, address and function code.
bool passesReplyCheck(std::span<const std::uint8_t> reply, std::uint8_t address);

Bytes readReply(std::uint8_t address, const Registers& registers);
Bytes exceptionReply(std::uint8_t address, std::uint8_t function, std::uint8_t code);

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
