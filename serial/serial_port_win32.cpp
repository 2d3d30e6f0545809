#include "serial/serial_port.h"

#include "serial/deadline.h"

#include <algorithm>

#include <windows.h>

// The port over the Windows communications API. The handle is opened for overlapped I/O, so
// that the window thread waits for input in its own message loop: a pending WaitCommEvent
// signals an event object when bytes come (or the device goes away), and readArrived() takes
// what the driver holds, as many bytes as it says it holds, which a read under the port's
// timeouts returns at once.
namespace serial {

struct SerialPort::Device {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE arrival = nullptr; // manual-reset, signalled when the watch below ends
    HANDLE io = nullptr;      // for the reads and writes, each waited for at once
    OVERLAPPED watch{};
    DWORD events = 0;
    bool watching = false;

    // Leaves a WaitCommEvent pending, which signals `arrival` at the next byte, and leaves
    // `arrival` signalled only while bytes wait or the watch has ended: bytes that came before
    // the watch was set would not end it. 0, or the error (the event is signalled then: the
    // reader finds the failure when it looks).
    DWORD watchArrivals() {
        ::ResetEvent(arrival);
        if (watching) {
            // Ended just now (it signals again if it ends after the reset) or still pending.
            DWORD ignored = 0;
            if (::GetOverlappedResult(port, &watch, &ignored, FALSE)) {
                watching = false;
            } else if (const DWORD error = ::GetLastError(); error != ERROR_IO_INCOMPLETE) {
                watching = false;
                ::SetEvent(arrival);
                return error;
            }
        }
        if (!watching) {
            watch = OVERLAPPED{};
            watch.hEvent = arrival;
            if (::WaitCommEvent(port, &events, &watch)) {
                ::SetEvent(arrival);
            } else if (const DWORD error = ::GetLastError(); error == ERROR_IO_PENDING) {
                watching = true;
            } else {
                ::SetEvent(arrival);
                return error;
            }
        }
        COMSTAT status{};
        DWORD errors = 0;
        if (::ClearCommError(port, &errors, &status) && status.cbInQue > 0)
            ::SetEvent(arrival);
        return 0;
    }

    ~Device() {
        if (port != INVALID_HANDLE_VALUE) {
            ::CancelIo(port);
            if (watching) {
                DWORD ignored = 0;
                ::GetOverlappedResult(port, &watch, &ignored, TRUE);
            }
            ::CloseHandle(port);
        }
        for (HANDLE event : {arrival, io}) {
            if (event)
                ::CloseHandle(event);
        }
    }
};

namespace {

// "COM1" is \\.\COM1 (the only way to reach COM10 and above); a name given with the device
// prefix stands as it is.
std::wstring devicePath(const std::string& portName) {
    std::wstring name(portName.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, portName.data(), int(portName.size()),
                                             name.data(), int(name.size()));
    name.resize(std::size_t(std::max(length, 0)));
    return name.starts_with(L"\\\\.\\") ? name : L"\\\\.\\" + name;
}

// How an unplugged adapter shows itself to an open handle.
bool isDeviceGone(unsigned error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_FILE_NOT_FOUND;
}

// Runs one overlapped read or write to its end; the count moved, or the error.
struct Transfer {
    DWORD count = 0;
    DWORD error = 0;
};

template <typename Start> Transfer transfer(HANDLE port, HANDLE event, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    Transfer done;
    if (!start(&overlapped)) {
        done.error = ::GetLastError();
        if (done.error != ERROR_IO_PENDING)
            return done;
        done.error = 0;
    }
    if (!::GetOverlappedResult(port, &overlapped, &done.count, TRUE))
        done.error = ::GetLastError();
    return done;
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    close();
}

OpenResult SerialPort::open(const std::string& portName, const std::string& lineParameters) {
    close();
    // No sharing: a second program (or a second opening here) is refused, as it should be.
    const HANDLE port = ::CreateFileW(devicePath(portName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return {false, OpenStep::Open, unsigned(::GetLastError())};
    device_ = std::make_unique<Device>();
    device_->port = port;
    device_->arrival = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    device_->io = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!device_->arrival || !device_->io)
        return failToOpen(unsigned(::GetLastError()));

    timeouts_ = kPortTimeouts;
    COMMTIMEOUTS timeouts{DWORD(timeouts_.readIntervalMs), DWORD(timeouts_.readTotalMultiplierMs),
                          DWORD(timeouts_.readTotalConstantMs),
                          DWORD(timeouts_.writeTotalMultiplierMs),
                          DWORD(timeouts_.writeTotalConstantMs)};
    if (!::SetCommTimeouts(port, &timeouts))
        return failAt(OpenStep::Timeouts, unsigned(::GetLastError()));
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!::GetCommState(port, &settings))
        return failAt(OpenStep::ReadSettings, unsigned(::GetLastError()));
    const std::string mode = portName + ":" + lineParameters;
    const auto line = parseModeString(mode);
    // A colon in the parameters would shift the split into the port name.
    if (!line || line->portName != portName || !::BuildCommDCBA(mode.c_str(), &settings))
        return failAt(OpenStep::BuildMode, line ? unsigned(::GetLastError()) : ERROR_INVALID_PARAMETER);
    settings.fBinary = TRUE;
    settings.fAbortOnError = FALSE; // a framing error spoils one reply, not every read after it
    if (!::SetCommState(port, &settings))
        return failAt(OpenStep::WriteSettings, unsigned(::GetLastError()));
    // Bytes that came while the port was closed answer no request of this opening.
    ::PurgeComm(port, PURGE_RXCLEAR);
    ::SetCommMask(port, EV_RXCHAR);
    if (const DWORD error = device_->watchArrivals(); error != 0)
        noteFailure(unsigned(error));
    return {true, OpenStep::Open, 0};
}

OpenResult SerialPort::failToOpen(unsigned error) {
    device_.reset();
    return {false, OpenStep::Open, error};
}

bool SerialPort::close() {
    if (!device_)
        return false;
    const bool closed = device_->port != INVALID_HANDLE_VALUE;
    device_.reset();
    deviceLost_ = false;
    return closed;
}

bool SerialPort::flush() {
    if (!device_)
        return false;
    if (::FlushFileBuffers(device_->port))
        return true;
    noteFailure(unsigned(::GetLastError()));
    return false;
}

void SerialPort::discardInput() {
    if (device_)
        ::PurgeComm(device_->port, PURGE_RXCLEAR);
}

ArrivalHandle SerialPort::arrivalHandle() const {
    return device_ ? reinterpret_cast<ArrivalHandle>(device_->arrival) : -1;
}

int SerialPort::waitForInput(int ms) {
    switch (::WaitForSingleObject(device_->arrival, DWORD(ms))) {
    case WAIT_OBJECT_0:
        return 1;
    case WAIT_TIMEOUT:
        return 0;
    default:
        noteFailure(unsigned(::GetLastError()));
        return -1;
    }
}

bool SerialPort::readArrived(std::vector<std::uint8_t>& bytes) {
    if (!device_)
        return false;
    Device& device = *device_;
    if (device.watching) {
        DWORD ignored = 0;
        if (::GetOverlappedResult(device.port, &device.watch, &ignored, FALSE)) {
            device.watching = false;
        } else if (const DWORD error = ::GetLastError(); error != ERROR_IO_INCOMPLETE) {
            device.watching = false;
            noteFailure(unsigned(error));
            return false;
        }
    }
    while (bytes.size() < kMaxReadBytes) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!::ClearCommError(device.port, &errors, &status)) {
            noteFailure(unsigned(::GetLastError()));
            return false;
        }
        if (status.cbInQue == 0)
            break;
        const std::size_t had = bytes.size();
        const DWORD wanted = DWORD(std::min<std::size_t>(status.cbInQue, kMaxReadBytes - had));
        bytes.resize(had + wanted);
        const Transfer read = transfer(device.port, device.io, [&](OVERLAPPED* overlapped) {
            return ::ReadFile(device.port, bytes.data() + had, wanted, nullptr, overlapped);
        });
        bytes.resize(had + read.count);
        if (read.error != 0) {
            noteFailure(unsigned(read.error));
            return false;
        }
        if (read.count == 0)
            break;
    }
    if (const DWORD error = device.watchArrivals(); error != 0) {
        noteFailure(unsigned(error));
        return false;
    }
    return true;
}

int SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!device_)
        return -1;
    // The port's write timeouts end a write the line cannot take; what went out is reported,
    // as on any Windows port.
    const Transfer written = transfer(device_->port, device_->io, [&](OVERLAPPED* overlapped) {
        return ::WriteFile(device_->port, bytes.data(), DWORD(bytes.size()), nullptr, overlapped);
    });
    if (written.error != 0 && written.count == 0) {
        noteFailure(unsigned(written.error));
        return -1;
    }
    flush();
    return int(written.count);
}

void SerialPort::noteFailure(unsigned error) {
    if (isDeviceGone(error))
        deviceLost_ = true;
}

} // namespace serial
