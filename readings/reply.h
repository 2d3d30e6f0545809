#pragma once

#include "frame.h"

#include <QString>

#include <cstdint>
#include <span>

namespace readings {

enum class ReplyOutcome { NoReply, Invalid, Good };

// Status byte (register 5, low byte) of a station's reply.
inline constexpr std::uint8_t kUnitCodeMask = 0x03;
inline constexpr std::uint8_t kDirectionValidFlag = 0x04;
inline constexpr std::uint8_t kSoundAlarmFlag = 0x08;
inline constexpr std::uint8_t kPreset1AlarmFlag = 0x10;
inline constexpr std::uint8_t kPreset2AlarmFlag = 0x20;
inline constexpr std::uint8_t kRfFlag = 0x80;

// Decides whether the bytes read are a good answer to the last request: CRC low byte, CRC high
// byte, address, function code, in that order. Only the first 255 bytes count, as the port
// never returns more. Leaves the CRC computed over the reply in `crc`.
ReplyOutcome checkReply(std::span<const std::uint8_t> reply, const modbus::LastRequest& last,
                        modbus::CrcRegister& crc);

// One good reply turned into what the panel and the log show. Preset texts and the speed text
// carry no unit; the display appends `unitSuffix`.
struct Reading {
    QString speedText;
    QString directionText;
    int batteryValue = 0; // hundredths of a volt
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

    friend bool operator==(const Reading&, const Reading&) = default;
};

// Decodes the registers of a reply for station 1..8. Register bytes that did not arrive read
// as 0, so a short reply still decodes; the byte count and register 5's high byte are ignored.
Reading decodeReply(std::span<const std::uint8_t> reply, int station);

// Tenths with a decimal comma ("12,3"); five-digit values give "> LIMITE".
QString oneDecimalText(unsigned value);
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
