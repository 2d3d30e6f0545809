#include "serial/serial_port.h"

#include "serial/deadline.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The port over POSIX termios.
namespace serial {

struct SerialPort::Device {
    explicit Device(int descriptor) : fd(descriptor) {}
    int fd;
    bool exclusiveSet = false;
};

namespace {

using std::chrono::milliseconds;

std::string devicePath(const std::string& portName) {
    return portName.find('/') == std::string::npos ? "/dev/" + portName : portName;
}

// How an unplugged adapter, or a pseudo-terminal whose other side closed, shows itself.
bool isDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
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

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    close();
}

OpenResult SerialPort::open(const std::string& portName, const std::string& lineParameters) {
    close();
    const int fd = ::open(devicePath(portName).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {false, OpenStep::Open, static_cast<unsigned>(errno)};
    device_ = std::make_unique<Device>(fd);
    // The lock keeps out even root, whom TIOCEXCL lets through. It comes first so that a
    // refused second opener never touches the exclusive flag of the holder.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return failToOpen(static_cast<unsigned>(errno));
    // A file that is not a terminal is refused when its settings are read, as on Windows.
    if (::ioctl(fd, TIOCEXCL) == 0)
        device_->exclusiveSet = true;
    else if (errno != ENOTTY)
        return failToOpen(static_cast<unsigned>(errno));

    // Kept here and followed by read() and write(); storing them cannot fail.
    timeouts_ = kPortTimeouts;

    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return failAt(OpenStep::ReadSettings, static_cast<unsigned>(errno));
    const auto line = parseModeString(portName + ":" + lineParameters);
    // A colon in the parameters would shift the split into the port name.
    if (!line || line->portName != portName)
        return failAt(OpenStep::BuildMode, EINVAL);
    if (const int error = applyLineSettings(fd, settings, *line); error != 0)
        return failAt(OpenStep::WriteSettings, static_cast<unsigned>(error));
    // Bytes that came while the port was closed (the late reply to a poll the configuration
    // window cut short) answer no request of this opening.
    ::tcflush(fd, TCIFLUSH);
    return {true, OpenStep::Open, 0};
}

OpenResult SerialPort::failToOpen(unsigned error) {
    ::close(device_->fd);
    device_.reset();
    return {false, OpenStep::Open, error};
}

bool SerialPort::close() {
    if (!device_)
        return false;
    // The exclusive flag belongs to the terminal, not to this descriptor: left set, it would
    // refuse the next ordinary user to open the port.
    if (device_->exclusiveSet)
        ::ioctl(device_->fd, TIOCNXCL);
    const bool closed = ::close(device_->fd) == 0;
    device_.reset();
    deviceLost_ = false;
    return closed;
}

bool SerialPort::flush() {
    if (!device_)
        return false;
    if (::tcdrain(device_->fd) == 0)
        return true;
    noteFailure(errno);
    return false;
}

void SerialPort::discardInput() {
    if (device_)
        ::tcflush(device_->fd, TCIFLUSH);
}

ArrivalHandle SerialPort::arrivalHandle() const {
    return device_ ? device_->fd : -1;
}

int SerialPort::waitForInput(int ms) {
    pollfd entry{device_->fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, ms);
    if (ready < 0 && errno != EINTR) {
        noteFailure(static_cast<unsigned>(errno));
        return -1;
    }
    return ready > 0 ? 1 : 0;
}

bool SerialPort::readArrived(std::vector<std::uint8_t>& bytes) {
    if (!device_)
        return false;
    const int fd = device_->fd;
    while (bytes.size() < kMaxReadBytes) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            noteFailure(static_cast<unsigned>(errno));
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
        const ssize_t got = ::read(fd, bytes.data() + had, kMaxReadBytes - had);
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
            noteFailure(static_cast<unsigned>(error));
            return false;
        }
    }
    return true;
}

int SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!device_)
        return -1;
    const int fd = device_->fd;
    const auto deadline = Clock::now() + milliseconds(timeouts_.writeTotalMultiplierMs *
                                                          static_cast<int>(bytes.size()) +
                                                      timeouts_.writeTotalConstantMs);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN) {
            noteFailure(static_cast<unsigned>(errno));
            return -1;
        }
        // The driver's buffer is full: wait for room, but a timed-out write reports what went
        // out, as WriteFile does.
        const int waitMs = msUntil(deadline);
        if (waitMs <= 0)
            break;
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, waitMs) < 0 && errno != EINTR) {
            noteFailure(static_cast<unsigned>(errno));
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

void SerialPort::noteFailure(unsigned error) {
    if (isDeviceGone(static_cast<int>(error)))
        deviceLost_ = true;
}

} // namespace serial
