#include "site/site_payloads.h"

#include "alarms/alarm_json.h"
#include "modbus/stations.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace site {

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
std::optional<Value> valueOf(const QJsonObject& json, const QString& field) {
    const QJsonValue value = json.value(field);
    const std::optional<bool> over = flagOf(json.value(field + QStringLiteral("_over_limit")));
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
    const std::optional<int> station = stationOf(json->value(QStringLiteral("station")), 1);
    const std::optional<qint64> time = timeOf(json->value(QStringLiteral("time")));
    const std::optional<QString> name = textOf(json->value(QStringLiteral("name")));
    const std::optional<QString> unit = textOf(json->value(QStringLiteral("unit")));
    const std::optional<QString> direction = textOf(json->value(QStringLiteral("direction")));
    const std::optional<Value> speed = valueOf(*json, QStringLiteral("speed"));
    const std::optional<Value> preset1 = valueOf(*json, QStringLiteral("preset1"));
    const std::optional<Value> preset2 = valueOf(*json, QStringLiteral("preset2"));
    const std::optional<bool> alarm1 = flagOf(json->value(QStringLiteral("preset1_alarm")));
    const std::optional<bool> alarm2 = flagOf(json->value(QStringLiteral("preset2_alarm")));
    const QJsonValue battery = json->value(QStringLiteral("battery"));
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
    if (payload == "online")
        return true;
    if (payload == "offline")
        return false;
    return std::nullopt;
}

std::optional<StationAlarms> readAlarms(const QByteArray& payload) {
    const std::optional<QJsonObject> json = objectOf(payload);
    if (!json)
        return std::nullopt;
    const std::optional<int> station =
        stationOf(json->value(QStringLiteral("station")), alarms::kPortStation);
    const std::optional<QString> name = textOf(json->value(QStringLiteral("name")));
    const QJsonValue list = json->value(QStringLiteral("alarms"));
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

QByteArray ackJson(alarms::Kind kind, const QString& by) {
    return QJsonDocument(QJsonObject{{QStringLiteral("alarm"), alarms::kindText(kind)},
                                     {QStringLiteral("by"), by}})
        .toJson(QJsonDocument::Compact);
}

} // namespace site
