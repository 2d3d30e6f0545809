#include "reply.h"

#include <QChar>

#include <algorithm>
#include <array>

namespace readings {

namespace {

using ReplyCells = std::array<std::uint8_t, modbus::kReplyCells>;

constexpr std::size_t kStatusByte = 14;
constexpr unsigned kFiveDigits = 10000;

enum Register { Speed = 0, Battery = 1, Direction = 2, Preset1 = 3, Preset2 = 4 };

std::span<const std::uint8_t> received(std::span<const std::uint8_t> reply) {
    return reply.first(std::min<std::size_t>(reply.size(), modbus::kReplyCells));
}

// Registers sit at fixed places from byte 3, high byte first.
unsigned registerValue(const ReplyCells& cells, Register index) {
    const std::size_t high = 3 + 2 * static_cast<std::size_t>(index);
    return cells[high] * 256u + cells[high + 1];
}

// Pads the leading digits with zeros so that 5 reads "0,05" and 7 reads "0,7".
QString withDecimalComma(unsigned value, int decimals) {
    QString digits = QString::number(value).rightJustified(decimals + 1, QLatin1Char('0'));
    digits.insert(digits.size() - decimals, QLatin1Char(','));
    return digits;
}

} // namespace

ReplyOutcome checkReply(std::span<const std::uint8_t> reply, const modbus::LastRequest& last,
                        modbus::CrcRegister& crc) {
    const std::span<const std::uint8_t> bytes = received(reply);
    if (bytes.empty())
        return ReplyOutcome::NoReply;
    if (!modbus::replyCrcGood(bytes, crc))
        return ReplyOutcome::Invalid;
    // FF FF passes an empty CRC; without a third byte there is no frame to accept.
    if (bytes.size() < 3)
        return ReplyOutcome::Invalid;
    if (bytes[0] != last[0] || bytes[1] != last[1])
        return ReplyOutcome::Invalid;
    return ReplyOutcome::Good;
}

Reading decodeReply(std::span<const std::uint8_t> reply, int station) {
    ReplyCells cells{};
    const std::span<const std::uint8_t> bytes = received(reply);
    std::copy(bytes.begin(), bytes.end(), cells.begin());

    Reading reading;
    reading.status = cells[kStatusByte];
    reading.speedText = oneDecimalText(registerValue(cells, Speed));
    reading.directionText = compassName(registerValue(cells, Direction), station);
    reading.batteryValue = static_cast<int>(registerValue(cells, Battery));
    reading.batteryText = twoDecimalText(registerValue(cells, Battery));
    reading.preset1Text = oneDecimalText(registerValue(cells, Preset1));
    reading.preset2Text = oneDecimalText(registerValue(cells, Preset2));

    reading.unitCode = reading.status & kUnitCodeMask;
    static const std::array<QString, 4> unitTexts{QStringLiteral("m/s"), QStringLiteral("km/h"),
                                                  QStringLiteral("kn"), QString()};
    // The trailing blank of " m/s " is intended; the other suffixes have none.
    static const std::array<QString, 4> unitSuffixes{
        QStringLiteral(" m/s "), QStringLiteral(" km/h"), QStringLiteral(" kn"), QString()};
    reading.unitText = unitTexts[static_cast<std::size_t>(reading.unitCode)];
    reading.unitSuffix = unitSuffixes[static_cast<std::size_t>(reading.unitCode)];

    reading.directionValid = reading.status & kDirectionValidFlag;
    if (!reading.directionValid)
        reading.directionText = QStringLiteral("---");

    reading.soundAlarm = reading.status & kSoundAlarmFlag;
    // Stations 2-8 keep their texts three characters wide, like their compass names.
    if (reading.soundAlarm)
        reading.soundText = station == 1 ? QStringLiteral("ON") : QStringLiteral("ON ");
    else
        reading.soundText = QStringLiteral("OFF");

    reading.preset1Alarm = reading.status & kPreset1AlarmFlag;
    reading.preset2Alarm = reading.status & kPreset2AlarmFlag;
    reading.rf = reading.status & kRfFlag;
    reading.rfText = reading.rf ? QStringLiteral("ON") : QStringLiteral("OFF");
    return reading;
}

QString oneDecimalText(unsigned value) {
    // Five digits do not fit the panel; the presets get the same text as the speed.
    if (value >= kFiveDigits)
        return QStringLiteral("> LIMITE");
    return withDecimalComma(value, 1);
}

QString twoDecimalText(unsigned value) {
    return withDecimalComma(value, 2);
}

QString compassName(unsigned code, int station) {
    static const std::array<QString, 16> names{
        QStringLiteral("N"), QStringLiteral("NNE"), QStringLiteral("NE"), QStringLiteral("ENE"),
        QStringLiteral("L"), QStringLiteral("ESE"), QStringLiteral("SE"), QStringLiteral("SSE"),
        QStringLiteral("S"), QStringLiteral("SSO"), QStringLiteral("SO"), QStringLiteral("OSO"),
        QStringLiteral("O"), QStringLiteral("ONO"), QStringLiteral("NO"), QStringLiteral("NNO")};
    if (code >= names.size())
        return QStringLiteral("---");
    const QString& name = names[code];
    return station == 1 ? name : name.leftJustified(3, QLatin1Char(' '));
}

BatteryIcon batteryIcon(int value) {
    if (value >= 370)
        return BatteryIcon::Full;
    if (value >= 360)
        return BatteryIcon::ThreeQuarters;
    if (value >= 350)
        return BatteryIcon::Half;
    if (value >= 340)
        return BatteryIcon::Quarter;
    return BatteryIcon::Empty;
}

QString batteryIconPath(int value) {
    switch (batteryIcon(value)) {
    case BatteryIcon::Full:
        return QStringLiteral("IMAGES/BAT_100.ICO");
    case BatteryIcon::ThreeQuarters:
        return QStringLiteral("IMAGES/BAT_75.ICO");
    case BatteryIcon::Half:
        return QStringLiteral("IMAGES/BAT_50.ICO");
    case BatteryIcon::Quarter:
        return QStringLiteral("IMAGES/BAT_25.ICO");
    case BatteryIcon::Empty:
        break;
    }
    return QStringLiteral("IMAGES/BAT_0.ICO");
}

} // namespace readings
