#include "publish/payloads.h"

#include "alarms/alarm_json.h"
#include "modbus/stations.h"
#include "publish/flat_json.h"
#include "publish/payload_fields.h"

#include <QDateTime>
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

// One field of a payload as either reader found it.
struct Field {
    enum class Type { Missing, Null, Bool, Number, String, Other };
    Type type = Type::Missing;
    bool flag = false;
    double number = 0;
    QString text;
};

Field fieldOf(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Undefined:
        return {};
    case QJsonValue::Null:
        return {Field::Type::Null};
    case QJsonValue::Bool:
        return {Field::Type::Bool, value.toBool()};
    case QJsonValue::Double:
        return {Field::Type::Number, false, value.toDouble()};
    case QJsonValue::String:
        return {Field::Type::String, false, 0, value.toString()};
    case QJsonValue::Array:
    case QJsonValue::Object:
        break;
    }
    return {Field::Type::Other};
}

Field fieldOf(const flat::Value* value) {
    if (!value)
        return {};
    switch (value->type) {
    case flat::Value::Type::Null:
        return {Field::Type::Null};
    case flat::Value::Type::Bool:
        return {Field::Type::Bool, value->flag};
    case flat::Value::Type::Number:
        return {Field::Type::Number, false, value->number};
    case flat::Value::Type::String:
        return {Field::Type::String, false, 0, QString::fromUtf8(value->text)};
    }
    return {Field::Type::Other};
}

// A text, empty for null or missing; none for another type.
std::optional<QString> textOf(const Field& field) {
    if (field.type == Field::Type::Null || field.type == Field::Type::Missing)
        return QString();
    if (field.type != Field::Type::String)
        return std::nullopt;
    return field.text;
}

std::optional<bool> flagOf(const Field& field) {
    if (field.type == Field::Type::Missing)
        return false;
    if (field.type != Field::Type::Bool)
        return std::nullopt;
    return field.flag;
}

// A number, or null with "<field>_over_limit": true beside it.
std::optional<Value> valueOf(const Field& value, const Field& overLimit) {
    const std::optional<bool> over = flagOf(overLimit);
    if (!over)
        return std::nullopt;
    if (value.type == Field::Type::Number && !*over)
        return Value{value.number, false};
    if (value.type == Field::Type::Null && *over)
        return Value{std::nullopt, true};
    return std::nullopt;
}

std::optional<int> stationOf(const Field& field, int lowest) {
    if (field.type != Field::Type::Number)
        return std::nullopt;
    const double number = field.number;
    if (number != int(number) || number < lowest || number > kStations)
        return std::nullopt;
    return int(number);
}

// As alarms::json::timeOf reads it: 0 for null or missing, none for anything but an ISO 8601
// time.
std::optional<qint64> timeOf(const Field& field) {
    if (field.type == Field::Type::Null || field.type == Field::Type::Missing)
        return 0;
    if (field.type != Field::Type::String)
        return std::nullopt;
    if (const std::optional<qint64> ms = flat::isoTimeMs(field.text))
        return ms;
    const QDateTime at = QDateTime::fromString(field.text, Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    return at.toMSecsSinceEpoch();
}

const QString kSpeedOverLimit = field::kSpeed + field::kOverLimitSuffix;
const QString kPreset1OverLimit = field::kPreset1 + field::kOverLimitSuffix;
const QString kPreset2OverLimit = field::kPreset2 + field::kOverLimitSuffix;

// The state from its fields, `fieldNamed(name)` giving each.
template <typename Fields> std::optional<StationState> stateOf(const Fields& fieldNamed) {
    const std::optional<int> station = stationOf(fieldNamed(field::kStation), 1);
    const std::optional<qint64> time = timeOf(fieldNamed(field::kTime));
    const std::optional<QString> name = textOf(fieldNamed(field::kName));
    const std::optional<QString> unit = textOf(fieldNamed(field::kUnit));
    const std::optional<QString> direction = textOf(fieldNamed(field::kDirection));
    const std::optional<Value> speed =
        valueOf(fieldNamed(field::kSpeed), fieldNamed(kSpeedOverLimit));
    const std::optional<Value> preset1 =
        valueOf(fieldNamed(field::kPreset1), fieldNamed(kPreset1OverLimit));
    const std::optional<Value> preset2 =
        valueOf(fieldNamed(field::kPreset2), fieldNamed(kPreset2OverLimit));
    const std::optional<bool> alarm1 = flagOf(fieldNamed(field::kPreset1Alarm));
    const std::optional<bool> alarm2 = flagOf(fieldNamed(field::kPreset2Alarm));
    const Field battery = fieldNamed(field::kBattery);
    if (!station || !time || *time == 0 || !name || !unit || !direction || !speed || !preset1 ||
        !preset2 || !alarm1 || !alarm2 ||
        !(battery.type == Field::Type::Number || battery.type == Field::Type::Missing))
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
    if (battery.type == Field::Type::Number)
        state.battery = battery.number;
    return state;
}

} // namespace

std::optional<StationState> readState(const QByteArray& payload) {
    // A second's states of every station come this way: read in one pass when they can be.
    if (const std::optional<flat::Object> object = flat::scan(payload))
        return stateOf([&](const QString& name) { return fieldOf(object->find(name)); });
    const std::optional<QJsonObject> json = objectOf(payload);
    if (!json)
        return std::nullopt;
    return stateOf([&](const QString& name) { return fieldOf(json->value(name)); });
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
        stationOf(fieldOf(json->value(field::kStation)), alarms::kPortStation);
    const std::optional<QString> name = textOf(fieldOf(json->value(field::kName)));
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
