#include "readings/reply.h"

#include <QChar>

#include <algorithm>
#include <array>

namespace readings {

namespace {

constexpr unsigned kFiveDigits = 10000;

// Pads the leading digits with zeros so that 5 reads "0,05" and 7 reads "0,7".
QString withDecimalComma(unsigned value, int decimals) {
    QString digits = QString::number(value).rightJustified(decimals + 1, QLatin1Char('0'));
    digits.insert(digits.size() - decimals, QLatin1Char(','));
    return digits;
}

} // namespace

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
    if (value >= kFiveDigits)
        return QStringLiteral("> LIMITE");
    return withDecimalComma(value, 1);
}

QString speedWithUnit(unsigned tenths, const QString& unitSuffix) {
    if (tenths >= kFiveDigits)
        return oneDecimalText(tenths);
    return (oneDecimalText(tenths) + unitSuffix).trimmed();
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
