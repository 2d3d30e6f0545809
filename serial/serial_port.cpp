#include "serial/serial_port.h"

#include "serial/deadline.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>

namespace serial {

namespace {

using std::chrono::milliseconds;

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

OpenResult SerialPort::failAt(OpenStep step, unsigned error) {
    return {false, step, error};
}

std::vector<std::uint8_t> SerialPort::read() {
    return read(milliseconds(timeouts_.readTotalMultiplierMs * static_cast<int>(kMaxReadBytes) +
                             timeouts_.readTotalConstantMs));
}

std::vector<std::uint8_t> SerialPort::read(milliseconds within) {
    std::vector<std::uint8_t> bytes;
    if (device_)
        bytes = receive(within);
    if (bytes.empty())
        flush();
    return bytes;
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
        const int ready = waitForInput(waitMs);
        if (ready < 0)
            return {};
        if (ready == 0)
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

} // namespace serial
