#include "serial/serial_port.h"

#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

char parityLetter(serial::Parity parity) {
    switch (parity) {
    case serial::Parity::None:
        return 'N';
    case serial::Parity::Odd:
        return 'O';
    case serial::Parity::Even:
        return 'E';
    case serial::Parity::Mark:
        return 'M';
    case serial::Parity::Space:
        return 'S';
    }
    std::abort();
}

const char* stopBitsText(serial::StopBits stopBits) {
    switch (stopBits) {
    case serial::StopBits::One:
        return "1";
    case serial::StopBits::OneAndHalf:
        return "1.5";
    case serial::StopBits::Two:
        return "2";
    }
    std::abort();
}

bool sameSettings(const serial::LineSettings& a, const serial::LineSettings& b) {
    return a.portName == b.portName && a.baudRate == b.baudRate && a.parity == b.parity &&
           a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

} // namespace

// Any text as a mode string "PORT:BAUD,P,D,S": what is accepted is well formed, and writing
// the accepted settings back out gives a string that parses to the same settings.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view modeString(reinterpret_cast<const char*>(data), size);
    const std::optional<serial::LineSettings> settings = serial::parseModeString(modeString);
    const auto colon = modeString.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        check(!settings);
    if (!settings)
        return 0;

    // The port is everything before the last colon; the parameters hold no colon.
    check(!settings->portName.empty() && settings->portName == modeString.substr(0, colon));
    check(settings->dataBits >= 5 && settings->dataBits <= 8);
    const std::string_view parameters = modeString.substr(colon + 1);
    check(parameters.find(':') == std::string_view::npos);
    check(parameters.size() >= 7 && parameters.front() >= '0' && parameters.front() <= '9');

    const std::string canonical = settings->portName + ':' + std::to_string(settings->baudRate) +
                                  ',' + parityLetter(settings->parity) + ',' +
                                  std::to_string(settings->dataBits) + ',' +
                                  stopBitsText(settings->stopBits);
    const std::optional<serial::LineSettings> reparsed = serial::parseModeString(canonical);
    check(reparsed && sameSettings(*reparsed, *settings));
    return 0;
}
