#include "rtu_frames.h"

#include "frame.h"

namespace sim {

void appendCrc(Bytes& frame) {
    std::vector<int> cells(frame.begin(), frame.end());
    modbus::CrcRegister crc;
    modbus::Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    frame.push_back(crc.low);
    frame.push_back(crc.high);
}

bool hasGoodCrc(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3)
        return false;
    modbus::CrcRegister crc;
    return modbus::replyCrcGood(frame, crc);
}

bool passesReplyCheck(std::span<const std::uint8_t> reply, std::uint8_t address) {
    return hasGoodCrc(reply) && reply[0] == address && reply[1] == kReadHoldingRegisters;
}

Bytes readReply(std::uint8_t address, const Registers& registers) {
    Bytes reply{address, kReadHoldingRegisters, static_cast<std::uint8_t>(registers.size() * 2)};
    for (std::uint16_t value : registers) {
        reply.push_back(static_cast<std::uint8_t>(value >> 8));
        reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    appendCrc(reply);
    return reply;
}

Bytes exceptionReply(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    Bytes reply{address, static_cast<std::uint8_t>(function | 0x80), code};
    appendCrc(reply);
    return reply;
}

void RequestFramer::feed(std::span<const std::uint8_t> bytes, std::int64_t nowMs) {
    if (bytes.empty())
        return;
    if (nowMs - lastByteMs_ > silenceMs_)
        pending_.clear();
    lastByteMs_ = nowMs;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<Request> RequestFramer::next() {
    std::array<std::uint8_t, kRequestBytes> frame{};
    while (pending_.size() >= kRequestBytes) {
        std::copy_n(pending_.begin(), kRequestBytes, frame.begin());
        if (hasGoodCrc(frame)) {
            pending_.erase(pending_.begin(), pending_.begin() + kRequestBytes);
            return Request{frame[0], frame[1], static_cast<std::uint16_t>(frame[2] << 8 | frame[3]),
                           static_cast<std::uint16_t>(frame[4] << 8 | frame[5])};
        }
        pending_.pop_front();
    }
    return std::nullopt;
}

} // namespace sim
