#include "serial/serial_port.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string devicePath(const std::string& portName) {
    return portName.find('/') == std::string::npos ? "/dev/" + portName : portName;
}

// How an unplugged adapter, or a pseudo-terminal whose other side closed, shows itself.
bool isDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Milliseconds left until the deadline, rounded up so that a wait never ends just short of
// it and turns into a busy loop.
int msUntil(Clock::time_point deadline) {
    return static_cast<int>(std::chrono::ceil<milliseconds>(deadline - Clock::now()).count());
}

std::optional<unsigned> parseDecimal(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end)
        return std::nullopt;
    return value;
}

std::optional<Parity> parseParity(std::string_view text) {
    if (text.size() != 1)
        return std::nullopt;
    switch (std::toupper(static_cast<unsigned char>(text[0]))) {
    case 'N':
        return Parity::None;
    case 'O':
        return Parity::Odd;
    case 'E':
        return Parity::Even;
    case 'M':
        return Parity::Mark;
    case 'S':
        return Parity::Space;
    default:
        return std::nullopt;
    }
}

std::optional<StopBits> parseStopBits(std::string_view text) {
    if (text == "1")
        return StopBits::One;
    if (text == "1.5")
        return StopBits::OneAndHalf;
    if (text == "2")
        return StopBits::Two;
    return std::nullopt;
}

std::optional<speed_t> speedFor(unsigned baudRate) {
    static constexpr std::pair<unsigned, speed_t> kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baudRate)
            return speed;
    }
    return std::nullopt;
}

// Raw bytes in both directions at the given framing; returns 0 or the errno of the refusal.
int applyLineSettings(int fd, termios settings, const LineSettings& line) {
    const auto speed = speedFor(line.baudRate);
    // The termios interface has no 1.5 stop bits.
    if (!speed || line.stopBits == StopBits::OneAndHalf)
        return EINVAL;
    static constexpr tcflag_t kDataBits[] = {CS5, CS6, CS7, CS8};

    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | kDataBits[line.dataBits - 5];
    if (line.parity != Parity::None)
        settings.c_cflag |= PARENB;
    if (line.parity == Parity::Odd || line.parity == Parity::Mark)
        settings.c_cflag |= PARODD;
    if (line.parity == Parity::Mark || line.parity == Parity::Space)
        settings.c_cflag |= CMSPAR;
    if (line.stopBits == StopBits::Two)
        settings.c_cflag |= CSTOPB;
    // Reads wait in poll(), never inside the driver.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0 ||
        ::tcsetattr(fd, TCSANOW, &settings) != 0)
        return errno;
    return 0;
}

} // namespace

std::optional<LineSettings> parseModeString(std::string_view modeString) {
    // The last colon, because device paths such as /dev/serial/by-path/... hold colons too.
    const auto colon = modeString.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    std::array<std::string_view, 4> fields;
    std::string_view rest = modeString.substr(colon + 1);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto comma = rest.find(',');
        const bool lastField = i + 1 == fields.size();
        if ((comma == std::string_view::npos) != lastField)
            return std::nullopt;
        fields[i] = rest.substr(0, comma);
        rest = lastField ? std::string_view{} : rest.substr(comma + 1);
    }
    const auto baudRate = parseDecimal(fields[0]);
    const auto parity = parseParity(fields[1]);
    const auto dataBits = parseDecimal(fields[2]);
    const auto stopBits = parseStopBits(fields[3]);
    if (!baudRate || !parity || !dataBits || *dataBits < 5 || *dataBits > 8 || !stopBits)
        return std::nullopt;
    return LineSettings{std::string(modeString.substr(0, colon)), *baudRate, *parity,
                        static_cast<int>(*dataBits), *stopBits};
}

SerialPort::~SerialPort() {
    close();
}

OpenResult SerialPort::open(const std::string& portName, const std::string& lineParameters) {
    close();
    fd_ = ::open(devicePath(portName).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return {false, OpenStep::Open, static_cast<unsigned>(errno)};
    // The lock keeps out even root, whom TIOCEXCL lets through. It comes first so that a
    // refused second opener never touches the exclusive flag of the holder.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        return failToOpen(errno);
    // A file that is not a terminal is refused when its settings are read, as on Windows.
    if (::ioctl(fd_, TIOCEXCL) == 0)
        exclusiveSet_ = true;
    else if (errno != ENOTTY)
        return failToOpen(errno);

    // Kept here and followed by read() and write(); storing them cannot fail.
    timeouts_ = kPortTimeouts;

    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0)
        return failAt(OpenStep::ReadSettings, errno);
    const auto line = parseModeString(portName + ":" + lineParameters);
    // A colon in the parameters would shift the split into the port name.
    if (!line || line->portName != portName)
        return failAt(OpenStep::BuildMode, EINVAL);
    if (const int error = applyLineSettings(fd_, settings, *line); error != 0)
        return failAt(OpenStep::WriteSettings, error);
    // Bytes that came while the port was closed (the late reply to a poll the configuration
    // window cut short) answer no request of this opening.
    ::tcflush(fd_, TCIFLUSH);
    return {true, OpenStep::Open, 0};
}

OpenResult SerialPort::failToOpen(int error) {
    ::close(fd_);
    fd_ = -1;
    exclusiveSet_ = false;
    return {false, OpenStep::Open, static_cast<unsigned>(error)};
}

OpenResult SerialPort::failAt(OpenStep step, int error) {
    return {false, step, static_cast<unsigned>(error)};
}

bool SerialPort::close() {
    if (fd_ < 0)
        return false;
    // The exclusive flag belongs to the terminal, not to this descriptor: left set, it would
    // refuse the next ordinary user to open the port.
    if (exclusiveSet_)
        ::ioctl(fd_, TIOCNXCL);
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    exclusiveSet_ = false;
    deviceLost_ = false;
    return closed;
}

bool SerialPort::flush() {
    if (fd_ < 0)
        return false;
    if (::tcdrain(fd_) == 0)
        return true;
    noteFailure(errno);
    return false;
}

std::vector<std::uint8_t> SerialPort::read() {
    return read(milliseconds(timeouts_.readTotalMultiplierMs * static_cast<int>(kMaxReadBytes) +
                             timeouts_.readTotalConstantMs));
}

std::vector<std::uint8_t> SerialPort::read(milliseconds within) {
    std::vector<std::uint8_t> bytes;
    if (fd_ >= 0)
        bytes = receive(within);
    if (bytes.empty())
        flush();
    return bytes;
}

void SerialPort::discardInput() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

std::vector<std::uint8_t> SerialPort::receive(milliseconds total) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kMaxReadBytes);
    const milliseconds interval(timeouts_.readIntervalMs);
    const auto totalDeadline = Clock::now() + total;
    auto deadline = totalDeadline;
    while (bytes.size() < kMaxReadBytes) {
        const int waitMs = msUntil(deadline);
        if (waitMs <= 0)
            break;
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            noteFailure(errno);
            return {};
        }
        if (ready <= 0)
            continue;
        const std::size_t had = bytes.size();
        if (!readArrived(bytes))
            return {};
        // Bytes already waiting count as just arrived.
        if (bytes.size() > had)
            deadline = std::min(Clock::now() + interval, totalDeadline);
    }
    return bytes;
}

bool SerialPort::readArrived(std::vector<std::uint8_t>& bytes) {
    if (fd_ < 0)
        return false;
    while (bytes.size() < kMaxReadBytes) {
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            noteFailure(errno);
            return false;
        }
        if (ready == 0)
            return true;
        if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            deviceLost_ = true;
            return false;
        }
        const std::size_t had = bytes.size();
        bytes.resize(kMaxReadBytes);
        const ssize_t got = ::read(fd_, bytes.data() + had, kMaxReadBytes - had);
        const int error = errno;
        bytes.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got == 0) {
            // Input was signalled but none comes: the other side of the line has hung up.
            deviceLost_ = true;
            return false;
        }
        if (got < 0 && error == EAGAIN)
            return true;
        if (got < 0 && error != EINTR) {
            noteFailure(error);
            return false;
        }
    }
    return true;
}

int SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0)
        return -1;
    const auto deadline = Clock::now() + milliseconds(timeouts_.writeTotalMultiplierMs *
                                                          static_cast<int>(bytes.size()) +
                                                      timeouts_.writeTotalConstantMs);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN) {
            noteFailure(errno);
            return -1;
        }
        // The driver's buffer is full: wait for room, but a timed-out write reports what went
        // out, as WriteFile does.
        const int waitMs = msUntil(deadline);
        if (waitMs <= 0)
            break;
        pollfd entry{fd_, POLLOUT, 0};
        if (::poll(&entry, 1, waitMs) < 0 && errno != EINTR) {
            noteFailure(errno);
            return -1;
        }
        if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            deviceLost_ = true;
            return -1;
        }
    }
    flush();
    return static_cast<int>(sent);
}

void SerialPort::noteFailure(int error) {
    if (isDeviceGone(error))
        deviceLost_ = true;
}

} // namespace serial
