#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace modbus {

// The two bytes left by the last CRC computation; low is the byte sent first on the wire.
struct CrcRegister {
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    friend bool operator==(const CrcRegister&, const CrcRegister&) = default;
};

// Header of the last request built: address, function, first register (hi, lo), count (hi, lo).
using LastRequest = std::array<std::uint8_t, 6>;
using RequestFrame = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kRegisterCount = 6;
// Replies are checked as a table of 255 cells, zero past the bytes received.
inline constexpr int kReplyCells = 255;

// CRC-16/MODBUS over the low bytes of the first `count` cells; a count of 0 or less covers
// nothing and leaves FF FF. Every call starts afresh.
void Calcula_CRC(int count, std::span<const int> cells, CrcRegister& crc);

// The low 8 bits of the address text converted as a signed decimal ("300" is 44).
// Fails with the conversion failure when the text is not a decimal integer.
std::uint8_t addressByte(const QString& addressText);

// Builds the 8-byte read-holding-registers request for registers 0..5. On success the last
// request and the CRC register are overwritten; on a bad address text both stay untouched.
RequestFrame buildRequest(const QString& addressText, LastRequest& last, CrcRegister& crc);

// The CRC test of a reply: its last two bytes against the CRC of all bytes before them
// (the second-to-last byte counts as 0 when the reply has only one byte). Leaves the CRC
// computed over the reply in `crc`.
bool replyCrcGood(std::span<const std::uint8_t> reply, CrcRegister& crc);

} // namespace modbus
