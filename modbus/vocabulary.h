#pragma once

#include <QString>

#include <array>
#include <string_view>

// The words the station's values are shown with, next to the codec that decodes them: the
// compass points of the direction codes and what a value too large for a panel reads as.
namespace modbus {

// The sixteen compass points by direction code, in Portuguese (L for east, O for west).
inline constexpr std::array<std::string_view, 16> kCompassNames{
    "N", "NNE", "NE", "ENE", "L", "ESE", "SE", "SSE",
    "S", "SSO", "SO", "OSO", "O", "ONO", "NO", "NNO"};

// The compass point of a direction code; empty above 15.
QString compassName(unsigned code);
// The direction code of a compass point's name; -1 for any other text.
int compassCode(std::string_view name);

// A speed or preset of five digits does not fit a panel: it reads "> LIMITE", with no unit.
inline constexpr unsigned kFiveDigits = 10000;
inline constexpr std::string_view kOverLimitText = "> LIMITE";
inline bool overLimit(unsigned tenths) {
    return tenths >= kFiveDigits;
}
QString overLimitText();

} // namespace modbus
