#pragma once

#include "bus/port_reader.h"
#include "modbus/rtu.h"
#include "serial/serial_port.h"

#include <QObject>

#include <chrono>
#include <optional>
#include <string>

namespace bus {

// A search of the bus for stations: the station read request to one address after another,
// each waiting at most a station's reply time. It has a port of its own, opened for the
// search only (the polling port is closed while the configuration window is open). The wait
// for a reply runs in the message loop; the answer comes as a signal.
class BusScan : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;
    // The reply wait of the first station slot.
    static constexpr std::chrono::milliseconds kReplyWait{150};

    struct Found {
        std::uint8_t address = 0;
        modbus::StationValues values;
    };

    BusScan();
    ~BusScan() override;

    // Opens and sets up the port as the polling does. A failure at a later step leaves the
    // port open, so the caller can report it before close().
    serial::OpenResult open(const std::string& portName, const std::string& lineParameters) {
        return port_.open(portName, lineParameters);
    }
    // Ends a question still waiting for its answer, which is then never told.
    void close();
    bool isOpen() const { return port_.isOpen(); }

    // Sends the read request to `address` and waits for what comes within the reply time;
    // `answered` tells it, at once when the port is not open.
    void ask(std::uint8_t address);
    bool asking() const { return reader_.pending(); }

signals:
    // The station's values when a good reply came from `address`.
    void answered(int address, const std::optional<bus::BusScan::Found>& station);

private:
    void readEnded(const modbus::Bytes& reply);

    serial::SerialPort port_;
    PortReader reader_{port_};
    std::uint8_t asked_ = 0;
    modbus::LastRequest lastRequest_{};
    modbus::CrcRegister crc_{};
};

} // namespace bus
