#include "bus/bus_scan.h"

namespace bus {

BusScan::BusScan() {
    connect(&reader_, &PortReader::ended, this, &BusScan::readEnded);
}

BusScan::~BusScan() {
    close();
}

void BusScan::close() {
    reader_.stop();
    port_.close();
}

void BusScan::ask(std::uint8_t address) {
    reader_.stop();
    asked_ = address;
    lastRequest_ = {};
    crc_ = {};
    const modbus::RequestFrame request =
        modbus::buildRequest(QString::number(address), lastRequest_, crc_);
    // A late answer to the address before must not pass for this one's.
    port_.discardInput();
    port_.write(request);
    if (!reader_.start(kReplyWait))
        readEnded({});
}

void BusScan::readEnded(const modbus::Bytes& reply) {
    std::optional<Found> station;
    if (modbus::checkReply(reply, lastRequest_, crc_) == modbus::ReplyKind::Good)
        station = Found{asked_, modbus::decodeReply(reply)};
    emit answered(asked_, station);
}

} // namespace bus
