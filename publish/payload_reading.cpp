#include "publish/payloads.h"

#include "alarms/alarm_json.h"
#include "modbus/stations.h"
#include "publish/payload_fields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The payloads read back: by the site view, with the field names they were written with.
namespace publish {

namespace {

std::optional<QJsonObject> objectOf(const QByteArray& payload) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

using alarms::json::timeOf;

// A text, empty for null or missing; none for another type.
std::optional<QString> textOf(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined())
        return QString();
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> flagOf(const QJsonValue& value) {
    if (value.isUndefined())
        return false;
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

// A number, or null with "<field>_over_limit": true beside it.
std::optional<Value> valueOf(const QJsonObject& json, const QString& name) {
    const QJsonValue value = json.value(name);
    const std::optional<bool> over = flagOf(json.value(name + field::kOverLimitSuffix));
    if (!over)
        return std::nullopt;
    if (value.isDouble() && !*over)
        return Value{value.toDouble(), false};
    if (value.isNull() && *over)
        return Value{std::nullopt, true};
    return std::nullopt;
}

std::optional<int> stationOf(const QJsonValue& value, int lowest) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != int(number) || number < lowest || number > kStations)
        return std::nullopt;
    return int(number);
}

} // namespace

std::optional<StationState> readState(const QByteArray& payload) {
    const std::optional<QJsonObject> json = objectOf(payload);
    if (!json)
        return std::nullopt;
    const std::optional<int> station = stationOf(json->value(field::kStation), 1);
    const std::optional<qint64> time = timeOf(json->value(field::kTime));
    const std::optional<QString> name = textOf(json->value(field::kName));
    const std::optional<QString> unit = textOf(json->value(field::kUnit));
    const std::optional<QString> direction = textOf(json->value(field::kDirection));
    const std::optional<Value> speed = valueOf(*json, field::kSpeed);
    const std::optional<Value> preset1 = valueOf(*json, field::kPreset1);
    const std::optional<Value> preset2 = valueOf(*json, field::kPreset2);
    const std::optional<bool> alarm1 = flagOf(json->value(field::kPreset1Alarm));
    const std::optional<bool> alarm2 = flagOf(json->value(field::kPreset2Alarm));
    const QJsonValue battery = json->value(field::kBattery);
    if (!station || !time || *time == 0 || !name || !unit || !direction || !speed || !preset1 ||
        !preset2 || !alarm1 || !alarm2 || !(battery.isDouble() || battery.isUndefined()))
        return std::nullopt;
    StationState state{
        .station = *station,
        .name = *name,
        .unit = *unit,
        .speed = *speed,
        .preset1 = *preset1,
        .preset2 = *preset2,
        .preset1Alarm = *alarm1,
        .preset2Alarm = *alarm2,
        .direction = *direction,
        .battery = std::nullopt,
        .timeMs = *time,
    };
    if (battery.isDouble())
        state.battery = battery.toDouble();
    return state;
}

std::optional<bool> readOnline(const QByteArray& payload) {
    if (payload == field::kOnline)
        return true;
    if (payload == field::kOffline)
        return false;
    return std::nullopt;
}

std::optional<StationAlarms> readAlarms(const QByteArray& payload) {
    const std::optional<QJsonObject> json = objectOf(payload);
    if (!json)
        return std::nullopt;
    const std::optional<int> station =
        stationOf(json->value(field::kStation), alarms::kPortStation);
    const std::optional<QString> name = textOf(json->value(field::kName));
    const QJsonValue list = json->value(field::kAlarms);
    if (!station || !name || !list.isArray())
        return std::nullopt;
    StationAlarms read{*station, *name, {}};
    for (const QJsonValue& item : list.toArray()) {
        if (!item.isObject())
            return std::nullopt;
        const alarms::json::Read entry =
            alarms::json::read(item.toObject(), alarms::json::Form::Broker, *station);
        if (!entry.entry)
            return std::nullopt;
        read.entries << *entry.entry;
    }
    return read;
}

} // namespace publish
