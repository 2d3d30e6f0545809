#include "sim/rtu_frames.h"

namespace sim {

bool hasGoodCrc(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3)
        return false;
    modbus::CrcRegister crc;
    return modbus::replyCrcGood(frame, crc);
}

bool passesReplyCheck(std::span<const std::uint8_t> reply, std::uint8_t address) {
    const modbus::LastRequest request{address, modbus::kReadHoldingRegisters, 0, 0,
                                      0,       modbus::kRegisterCount};
    modbus::CrcRegister crc;
    return modbus::checkReply(reply, request, crc) == modbus::ReplyKind::Good;
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
    std::array<std::uint8_t, modbus::kRequestBytes> frame{};
    while (pending_.size() >= modbus::kRequestBytes) {
        std::copy_n(pending_.begin(), modbus::kRequestBytes, frame.begin());
        if (hasGoodCrc(frame)) {
            pending_.erase(pending_.begin(), pending_.begin() + modbus::kRequestBytes);
            return Request{frame[0], frame[1], static_cast<std::uint16_t>(frame[2] << 8 | frame[3]),
                           static_cast<std::uint16_t>(frame[4] << 8 | frame[5])};
        }
        pending_.pop_front();
    }
    return std::nullopt;
}

} // namespace sim
