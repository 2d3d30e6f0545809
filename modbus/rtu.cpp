#include "modbus/rtu.h"

#include "toolkit/failure.h"

#include <algorithm>

namespace modbus {

namespace {

std::span<const std::uint8_t> received(std::span<const std::uint8_t> reply) {
    return reply.first(std::min<std::size_t>(reply.size(), kReplyCells));
}

// Registers sit at fixed places from byte 3, high byte first.
std::uint16_t registerAt(std::span<const std::uint8_t> bytes, Register index) {
    const std::size_t high = 3 + 2 * static_cast<std::size_t>(index);
    const auto byteAt = [&](std::size_t at) -> unsigned {
        return at < bytes.size() ? bytes[at] : 0;
    };
    return static_cast<std::uint16_t>(byteAt(high) * 256u + byteAt(high + 1));
}

void appendRegister(Bytes& frame, std::uint16_t value) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

} // namespace

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

void appendCrc(Bytes& frame) {
    const std::vector<int> cells(frame.begin(), frame.end());
    CrcRegister crc;
    Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    frame.push_back(crc.low);
    frame.push_back(crc.high);
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

ReplyKind checkReply(std::span<const std::uint8_t> reply, const LastRequest& last,
                     CrcRegister& crc) {
    const std::span<const std::uint8_t> bytes = received(reply);
    if (bytes.empty())
        return ReplyKind::NoReply;
    if (!replyCrcGood(bytes, crc))
        return bytes.size() < kReplyBytes ? ReplyKind::TooShort : ReplyKind::BadCrc;
    // FF FF passes an empty CRC; without a third byte there is no frame to accept.
    if (bytes.size() < 3)
        return ReplyKind::TooShort;
    if (bytes[0] != last[0])
        return ReplyKind::WrongAddress;
    if (bytes[1] != last[1])
        return ReplyKind::WrongFunction;
    return ReplyKind::Good;
}

StationValues decodeReply(std::span<const std::uint8_t> reply) {
    const std::span<const std::uint8_t> bytes = received(reply);
    return {
        .speed = registerAt(bytes, Register::Speed),
        .battery = registerAt(bytes, Register::Battery),
        .direction = registerAt(bytes, Register::Direction),
        .preset1 = registerAt(bytes, Register::Preset1),
        .preset2 = registerAt(bytes, Register::Preset2),
        .status = kStatusByte < bytes.size() ? bytes[kStatusByte] : std::uint8_t{0},
    };
}

Bytes encodeReply(std::uint8_t address, const StationValues& values) {
    Bytes frame{address, kReadHoldingRegisters, 2 * kRegisterCount};
    frame.reserve(kReplyBytes);
    for (std::uint16_t value :
         {values.speed, values.battery, values.direction, values.preset1, values.preset2})
        appendRegister(frame, value);
    appendRegister(frame, values.status);
    appendCrc(frame);
    return frame;
}

Bytes encodeException(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    Bytes frame{address, static_cast<std::uint8_t>(function | kExceptionFlag), code};
    appendCrc(frame);
    return frame;
}

QString unitSymbol(UnitCode code) {
    switch (code) {
    case UnitCode::MetresPerSecond:
        return QStringLiteral("m/s");
    case UnitCode::KilometresPerHour:
        return QStringLiteral("km/h");
    case UnitCode::Knots:
        return QStringLiteral("kn");
    case UnitCode::None:
        break;
    }
    return {};
}

} // namespace modbus
