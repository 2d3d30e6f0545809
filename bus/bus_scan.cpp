#include "bus/bus_scan.h"

namespace bus {

std::optional<BusScan::Found> BusScan::ask(std::uint8_t address) {
    modbus::LastRequest last{};
    modbus::CrcRegister crc;
    const modbus::RequestFrame request = modbus::buildRequest(QString::number(address), last, crc);
    // A late answer to the address before must not pass for this one's.
    port_.discardInput();
    port_.write(request);
    const modbus::Bytes reply = port_.read(kReplyWait);
    if (modbus::checkReply(reply, last, crc) != modbus::ReplyKind::Good)
        return std::nullopt;
    return Found{address, modbus::decodeReply(reply)};
}

} // namespace bus
