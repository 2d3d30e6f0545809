#include "readings/reply.h"

#include "modbus/vocabulary.h"
#include "toolkit/numbers.h"

#include <QChar>

#include <algorithm>

namespace readings {

Reading readingOf(const modbus::StationValues& values, int station) {
    namespace status = modbus::status;
    Reading reading;
    reading.status = values.status;
    reading.speedText = oneDecimalText(values.speed);
    reading.directionText = compassName(values.direction, station);
    reading.batteryValue = values.battery;
    reading.batteryText = twoDecimalText(values.battery);
    reading.preset1Text = oneDecimalText(values.preset1);
    reading.preset2Text = oneDecimalText(values.preset2);
    reading.speedOverLimit = modbus::overLimit(values.speed);
    reading.preset1OverLimit = modbus::overLimit(values.preset1);
    reading.preset2OverLimit = modbus::overLimit(values.preset2);

    reading.unitCode = static_cast<int>(values.unitCode());
    static const std::array<QString, 4> unitTexts{QStringLiteral("m/s"), QStringLiteral("km/h"),
                                                  QStringLiteral("kn"), QString()};
    // The trailing blank of " m/s " is intended; the other suffixes have none.
    static const std::array<QString, 4> unitSuffixes{
        QStringLiteral(" m/s "), QStringLiteral(" km/h"), QStringLiteral(" kn"), QString()};
    reading.unitText = unitTexts[static_cast<std::size_t>(reading.unitCode)];
    reading.unitSuffix = unitSuffixes[static_cast<std::size_t>(reading.unitCode)];

    reading.directionValid = values.has(status::kDirectionValid);
    if (!reading.directionValid)
        reading.directionText = QStringLiteral("---");
    else
        reading.directionName = modbus::compassName(values.direction);

    reading.soundAlarm = values.has(status::kSoundAlarm);
    // Stations 2-8 keep their texts three characters wide, like their compass names.
    if (reading.soundAlarm)
        reading.soundText = station == 1 ? QStringLiteral("ON") : QStringLiteral("ON ");
    else
        reading.soundText = QStringLiteral("OFF");

    reading.preset1Alarm = values.has(status::kPreset1Alarm);
    reading.preset2Alarm = values.has(status::kPreset2Alarm);
    reading.rf = values.has(status::kRf);
    reading.rfText = reading.rf ? QStringLiteral("ON") : QStringLiteral("OFF");
    return reading;
}

Reading decodeReply(std::span<const std::uint8_t> reply, int station) {
    return readingOf(modbus::decodeReply(reply), station);
}

QString oneDecimalText(unsigned value) {
    // Five digits do not fit the panel; the presets get the same text as the speed.
    if (modbus::overLimit(value))
        return modbus::overLimitText();
    return toolkit::decimalText(qint64(value), 1);
}

QString speedWithUnit(unsigned tenths, const QString& unitSuffix) {
    if (modbus::overLimit(tenths))
        return modbus::overLimitText();
    return (oneDecimalText(tenths) + unitSuffix).trimmed();
}

QString twoDecimalText(unsigned value) {
    return toolkit::decimalText(qint64(value), 2);
}

QString compassName(unsigned code, int station) {
    const QString name = modbus::compassName(code);
    if (name.isEmpty())
        return QStringLiteral("---");
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
