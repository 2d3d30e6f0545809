#include "readings/reply.h"

#include <algorithm>
#include <cstdlib>

// Any byte string the port could return, checked and decoded for every station.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The port never returns more than 255 bytes.
    const std::span<const std::uint8_t> reply(data, std::min<std::size_t>(size, 255));
    const modbus::LastRequest lastRequest{
        reply.empty() ? std::uint8_t(1) : reply[0], 3, 0, 0, 0, 6};
    modbus::CrcRegister crc;
    const modbus::ReplyKind kind = modbus::checkReply(reply, lastRequest, crc);
    if (reply.size() < 3 && kind == modbus::ReplyKind::Good)
        std::abort();
    if (reply.empty() != (kind == modbus::ReplyKind::NoReply))
        std::abort();
    // What the codec decodes, it encodes back to a frame that decodes the same and passes.
    const modbus::StationValues values = modbus::decodeReply(reply);
    const modbus::Bytes encoded = modbus::encodeReply(lastRequest[0], values);
    if (modbus::decodeReply(encoded) != values ||
        modbus::checkReply(encoded, lastRequest, crc) != modbus::ReplyKind::Good)
        std::abort();

    for (int station = 1; station <= 8; ++station) {
        const readings::Reading reading = readings::decodeReply(reply, station);
        // The panels and the log lines are laid out for short texts.
        if (reading.speedText.size() > 8 || reading.preset1Text.size() > 8 ||
            reading.preset2Text.size() > 8 || reading.directionText.size() > 3 ||
            reading.batteryText.size() > 6 || reading.unitSuffix.size() > 5 ||
            reading.soundText.size() > 3 || reading.rfText.size() > 3)
            std::abort();
        if (reading.speedText.isEmpty() || reading.directionText.isEmpty() ||
            !reading.batteryText.contains(QLatin1Char(',')))
            std::abort();
        if (reading.status != (reply.size() > 14 ? reply[14] : 0))
            std::abort();
    }
    return 0;
}
