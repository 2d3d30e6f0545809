#pragma once

#include "modbus/rtu.h"

#include <QString>

#include <cstdint>
#include <span>

namespace readings {

// One good reply turned into what the panel and the log show. Preset texts and the speed text
// carry no unit; the display appends `unitSuffix`.
struct Reading {
    QString speedText;
    QString directionText; // as the panel shows it: "---", or padded to three at stations 2-8
    QString directionName; // the compass point alone, empty when the direction is not valid
    int batteryValue = 0;  // hundredths of a volt
    QString batteryText;
    QString preset1Text;
    QString preset2Text;
    QString unitText;
    QString unitSuffix;
    QString soundText;
    QString rfText;
    std::uint8_t status = 0;

    int unitCode = 0;
    bool directionValid = false;
    bool soundAlarm = false;
    bool preset1Alarm = false;
    bool preset2Alarm = false;
    bool rf = false;
    // Five digits: the panel shows "> LIMITE".
    bool speedOverLimit = false;
    bool preset1OverLimit = false;
    bool preset2OverLimit = false;

    friend bool operator==(const Reading&, const Reading&) = default;
};

// The texts of a good reply's values as station 1..8 shows them.
Reading readingOf(const modbus::StationValues& values, int station);
// The same, straight from the reply's bytes (modbus::decodeReply first).
Reading decodeReply(std::span<const std::uint8_t> reply, int station);

// Tenths with a decimal comma ("12,3"); five-digit values give "> LIMITE".
QString oneDecimalText(unsigned value);
// A speed with its unit ("23,4 m/s"); "> LIMITE" stands alone, with no unit after it.
QString speedWithUnit(unsigned tenths, const QString& unitSuffix);
// Hundredths with a decimal comma ("3,70"), whatever the number of digits.
QString twoDecimalText(unsigned value);
// Compass name of a direction code; station 1 keeps the short names, the others pad them to
// three characters. Codes above 15 give "---".
QString compassName(unsigned code, int station);

enum class BatteryIcon { Full, ThreeQuarters, Half, Quarter, Empty };
// The icon for a battery value in hundredths of a volt, in steps of 0,10 V from 3,70 V down.
BatteryIcon batteryIcon(int value);
// The icon file for a battery value, relative to the working directory.
QString batteryIconPath(int value);

} // namespace readings
