#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

// The steps of opening a port, numbered as the Windows calls they stand for
// (CreateFile, SetCommTimeouts, GetCommState, BuildCommDCB, SetCommState).
enum class OpenStep { Open = 1, Timeouts = 2, ReadSettings = 3, BuildMode = 4, WriteSettings = 5 };

struct OpenResult {
    bool ok = false;
    OpenStep failedStep = OpenStep::Open;
    unsigned error = 0; // errno of the failing call, as GetLastError would give it
};

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// The line settings of a Windows mode string "PORT:BAUD,P,D,S".
struct LineSettings {
    std::string portName;
    unsigned baudRate = 0;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Parses "COM1:9600,N,8,1": a non-empty port name, a decimal baud rate, a parity letter
// (N, O, E, M, S in either case), 5 to 8 data bits and 1, 1.5 or 2 stop bits, nothing more.
std::optional<LineSettings> parseModeString(std::string_view modeString);

// The timeouts of a Windows COMMTIMEOUTS block, in its field order.
struct CommTimeouts {
    int readIntervalMs = 0;
    int readTotalMultiplierMs = 0;
    int readTotalConstantMs = 0;
    int writeTotalMultiplierMs = 0;
    int writeTotalConstantMs = 0;
};

// A read ends 40 ms after the last byte or 255 * 1 + 1 = 256 ms after it began; a write of
// n bytes may take n + 40 ms.
inline constexpr CommTimeouts kPortTimeouts{40, 1, 1, 1, 40};
inline constexpr std::size_t kMaxReadBytes = 255;
inline constexpr std::chrono::milliseconds kReadTotalWait{kPortTimeouts.readTotalMultiplierMs *
                                                              static_cast<int>(kMaxReadBytes) +
                                                          kPortTimeouts.readTotalConstantMs};

// What a message loop waits on for a port's input: a descriptor that becomes readable
// (POSIX), or an event object that is signalled (Windows).
using ArrivalHandle = std::intptr_t;

// The one serial port of the program, with the behaviour of a Windows COM port handle: over
// termios on POSIX systems, over the communications API on Windows (the build picks one).
// read() and write() block until they complete or time out; arrivalHandle() and readArrived()
// let a caller wait for the bytes in its own message loop instead.
class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Closes any port held, then opens the port exclusively and sets it up from
    // portName + ":" + lineParameters. On POSIX systems a name without '/' is a device under
    // /dev/; on Windows "COM1" is the device \\.\COM1. A failure
    // at step 1 leaves nothing open; a failure at a later step leaves the port open, so the
    // caller can report it before close().
    OpenResult open(const std::string& portName, const std::string& lineParameters);
    // True when an open port was closed, false when none was open.
    bool close();
    // Waits until every byte written has been transmitted; false when not open.
    bool flush();
    // Up to 255 bytes under the read timeouts; empty when nothing came, on failure or when
    // not open.
    std::vector<std::uint8_t> read();
    // The same with a shorter overall wait: the read ends at the latest `within` after it
    // began (a bus scan waits only the reply time of a station).
    std::vector<std::uint8_t> read(std::chrono::milliseconds within);
    // Becomes ready when bytes arrive or the device goes away, until readArrived() takes what
    // came; -1 when not open.
    ArrivalHandle arrivalHandle() const;
    // Moves the bytes that have arrived to the end of `bytes`, without waiting, until it holds
    // 255, and watches for the next ones. False when the read failed or the port is not open;
    // a vanished device is noted as read() notes it.
    bool readArrived(std::vector<std::uint8_t>& bytes);
    // Drops whatever has arrived and not been read.
    void discardInput();
    // Sends all bytes and waits until they have left; the count written, or -1 on failure
    // or when not open.
    int write(std::span<const std::uint8_t> bytes);

    bool isOpen() const { return device_ != nullptr; }
    // Set when the device went away under an open port (adapter pulled out); cleared by
    // open() and close().
    bool deviceLost() const { return deviceLost_; }

private:
    struct Device; // the system's handle and what goes with it
    OpenResult failToOpen(unsigned error);
    OpenResult failAt(OpenStep step, unsigned error);
    std::vector<std::uint8_t> receive(std::chrono::milliseconds total);
    // 1 when input (or the device's end) is waiting, 0 when `ms` passed first, -1 on failure.
    int waitForInput(int ms);
    void noteFailure(unsigned error);

    std::unique_ptr<Device> device_;
    bool deviceLost_ = false;
    CommTimeouts timeouts_{};
};

} // namespace serial
