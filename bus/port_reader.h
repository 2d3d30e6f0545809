#pragma once

#include "bus/arrival_notifier.h"
#include "serial/serial_port.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <vector>

namespace bus {

// One read of the serial port that waits in the message loop instead of blocking it, and ends
// as the port's blocking read does: when 255 bytes have come; or, once a byte has come, when
// no further byte arrives for 40 ms (bytes already waiting count as just arrived); or at the
// latest `within` after it began. A device that vanishes ends it at once with nothing, noted
// on the port.
class PortReader : public QObject {
    Q_OBJECT

public:
    explicit PortReader(serial::SerialPort& port);
    ~PortReader() override;

    // Starts a read; false, and nothing started, when the port is not open.
    bool start(std::chrono::milliseconds within);
    bool pending() const { return pending_; }
    // Ends a pending read at once with the bytes that have come by now, without `ended`.
    std::vector<std::uint8_t> stop();

signals:
    // The read has ended: 0 to 255 bytes, none when nothing came or the device vanished.
    void ended(const std::vector<std::uint8_t>& bytes);

private:
    void takeArrived();
    void finish();
    std::vector<std::uint8_t> endRead();

    serial::SerialPort& port_;
    ArrivalNotifier notifier_;
    QTimer quiet_;   // 40 ms after the last byte
    QTimer overall_; // `within` after the start
    std::vector<std::uint8_t> bytes_;
    bool pending_ = false;
    bool failed_ = false;
};

} // namespace bus
