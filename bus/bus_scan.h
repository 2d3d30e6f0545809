#pragma once

#include "modbus/rtu.h"
#include "serial/serial_port.h"

#include <chrono>
#include <optional>
#include <string>

namespace bus {

// A search of the bus for stations: the station read request to one address after another,
// each waiting at most a station's reply time. It has a port of its own, opened for the
// search only (the polling port is closed while the configuration window is open).
class BusScan {
public:
    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;
    // The reply wait of the first station slot.
    static constexpr std::chrono::milliseconds kReplyWait{150};

    struct Found {
        std::uint8_t address = 0;
        modbus::StationValues values;
    };

    // Opens and sets up the port as the polling does. A failure at a later step leaves the
    // port open, so the caller can report it before close().
    serial::OpenResult open(const std::string& portName, const std::string& lineParameters) {
        return port_.open(portName, lineParameters);
    }
    void close() { port_.close(); }
    bool isOpen() const { return port_.isOpen(); }

    // Sends the read request to `address` and reads what comes within the reply time: the
    // station's values when a good reply came.
    std::optional<Found> ask(std::uint8_t address);

private:
    serial::SerialPort port_;
};

} // namespace bus
