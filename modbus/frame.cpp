#include "frame.h"

#include "failure.h"

#include <algorithm>

namespace modbus {

void Calcula_CRC(int count, std::span<const int> cells, CrcRegister& crc) {
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0xFF;
    const int covered = std::min<long long>(count, static_cast<long long>(cells.size()));
    for (int i = 0; i < covered; ++i) {
        low ^= static_cast<std::uint8_t>(cells[static_cast<std::size_t>(i)] & 0xFF);
        for (int bit = 0; bit < 8; ++bit) {
            const bool highCarry = high & 0x01;
            const bool lowCarry = low & 0x01;
            high >>= 1;
            low >>= 1;
            if (highCarry)
                low |= 0x80;
            if (lowCarry) {
                high ^= 0xA0;
                low ^= 0x01;
            }
        }
    }
    crc = {low, high};
}

std::uint8_t addressByte(const QString& addressText) {
    return static_cast<std::uint8_t>(toolkit::StrToInt(addressText) & 0xFF);
}

RequestFrame buildRequest(const QString& addressText, LastRequest& last, CrcRegister& crc) {
    const std::uint8_t address = addressByte(addressText);
    last = {address, kReadHoldingRegisters, 0, 0, 0, kRegisterCount};
    std::array<int, 6> cells{};
    std::copy(last.begin(), last.end(), cells.begin());
    Calcula_CRC(6, cells, crc);
    return {last[0], last[1], last[2], last[3], last[4], last[5], crc.low, crc.high};
}

bool replyCrcGood(std::span<const std::uint8_t> reply, CrcRegister& crc) {
    std::array<int, kReplyCells> cells{};
    const std::size_t length = std::min<std::size_t>(reply.size(), kReplyCells);
    std::copy_n(reply.begin(), length, cells.begin());
    Calcula_CRC(static_cast<int>(length) - 2, cells, crc);
    const int secondToLast = length >= 2 ? reply[length - 2] : 0;
    const int last = length >= 1 ? reply[length - 1] : -1;
    return secondToLast == crc.low && last == crc.high;
}

} // namespace modbus
