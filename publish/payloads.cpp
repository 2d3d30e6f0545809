#include "publish/payloads.h"

#include "alarms/alarm_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <array>

namespace publish {

namespace {

// A value rounded to `decimals` places. JSON has one number type: 5.0 is written 5.
double rounded(double value, int decimals) {
    return QByteArray::number(value, 'f', decimals).toDouble();
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// "2026-12-07T14:30:05-03:00": the time with its own offset, also when the offset is 0. Not
// Qt::ISODate of the time itself: Qt 6.4 leaves the offset out of a local time and writes "Z"
// for UTC; in a zone of that fixed offset it writes "+00:00".
QString isoTime(const QDateTime& time) {
    return time.toTimeZone(QTimeZone(time.offsetFromUtc())).toString(Qt::ISODate);
}

// A tenths value, or null with "<field>_over_limit": true when the panel shows "> LIMITE".
void addTenths(QJsonObject& json, const QString& field, std::uint16_t tenths, bool overLimit) {
    if (overLimit) {
        json.insert(field, QJsonValue::Null);
        json.insert(field + QStringLiteral("_over_limit"), true);
        return;
    }
    json.insert(field, tenths / 10.0);
}

// A topic level from a client id: letters, digits, '-' and '_' only.
QString topicSafe(const QString& text) {
    QString safe;
    for (const QChar c : text)
        safe += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'-' || c == u'_' ? c : u'_';
    return safe;
}

QString stationId(const MqttSettings& settings, int station) {
    return topicSafe(settings.clientId) + QStringLiteral("_%1").arg(station);
}

// The station as Home Assistant groups its sensors.
QJsonObject deviceObject(const QString& id, const QString& name) {
    return {
        {QStringLiteral("identifiers"), QJsonArray{id}},
        {QStringLiteral("name"), name},
        {QStringLiteral("manufacturer"), QStringLiteral("K&V")},
        {QStringLiteral("model"), QStringLiteral("Anemômetro")},
    };
}

} // namespace

QByteArray stateJson(const StationInfo& info, const modbus::StationValues& values,
                     const readings::Reading& reading, const QDateTime& time) {
    QJsonObject json{
        {QStringLiteral("station"), info.station},
        {QStringLiteral("name"), info.name},
        {QStringLiteral("address"), info.address},
        {QStringLiteral("time"), isoTime(time)},
        {QStringLiteral("unit"), reading.unitText},
        {QStringLiteral("direction"), reading.directionName.isEmpty()
                                          ? QJsonValue(QJsonValue::Null)
                                          : QJsonValue(reading.directionName)},
        {QStringLiteral("preset1_alarm"), reading.preset1Alarm},
        {QStringLiteral("preset2_alarm"), reading.preset2Alarm},
        {QStringLiteral("sound"), reading.soundAlarm},
        {QStringLiteral("battery"), values.battery / 100.0},
        {QStringLiteral("rf"), reading.rf},
    };
    addTenths(json, QStringLiteral("speed"), values.speed, reading.speedOverLimit);
    addTenths(json, QStringLiteral("preset1"), values.preset1, reading.preset1OverLimit);
    addTenths(json, QStringLiteral("preset2"), values.preset2, reading.preset2OverLimit);
    return compact(json);
}

QByteArray healthJson(int station, const health::StationHealth& health, qint64 nowMs) {
    const health::Counts hour = health.lastHour(nowMs);
    const auto success = hour.successPercent();
    const auto lastGood = health.lastGoodMs();
    return compact({
        {QStringLiteral("station"), station},
        {QStringLiteral("time"), isoTime(QDateTime::fromMSecsSinceEpoch(nowMs))},
        {QStringLiteral("polls"), hour.polls},
        {QStringLiteral("good"), hour.good},
        {QStringLiteral("no_reply"), hour.noReply},
        {QStringLiteral("bad_crc"), hour.badCrc},
        {QStringLiteral("wrong_address"), hour.wrongAddress},
        {QStringLiteral("wrong_function"), hour.wrongFunction},
        {QStringLiteral("too_short"), hour.tooShort},
        {QStringLiteral("success_percent"),
         success ? QJsonValue(rounded(*success, 1)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("consecutive_failures"), health.consecutiveFailures()},
        {QStringLiteral("answering"), health.answering()},
        {QStringLiteral("last_good"),
         lastGood ? QJsonValue(isoTime(QDateTime::fromMSecsSinceEpoch(*lastGood)))
                  : QJsonValue(QJsonValue::Null)},
    });
}

std::vector<Message> discoveryConfigs(const MqttSettings& settings, const StationInfo& info,
                                      const QString& unit) {
    const QString id = stationId(settings, info.station);
    const QJsonObject device = deviceObject(id, info.name);
    struct Value {
        const char* component;
        const char* key;
        const char* caption;
        QString unit;
        const char* template_;
    };
    const std::array<Value, 5> values{{
        {"sensor", "speed", "velocidade", unit, "{{ value_json.speed }}"},
        {"sensor", "direction", "direção", {}, "{{ value_json.direction }}"},
        {"sensor", "battery", "bateria", QStringLiteral("V"), "{{ value_json.battery }}"},
        {"binary_sensor",
         "preset1_alarm",
         "alarme P1",
         {},
         "{{ 'ON' if value_json.preset1_alarm else 'OFF' }}"},
        {"binary_sensor",
         "preset2_alarm",
         "alarme P2",
         {},
         "{{ 'ON' if value_json.preset2_alarm else 'OFF' }}"},
    }};
    std::vector<Message> configs;
    for (const Value& v : values) {
        const QString uniqueId = id + u'_' + QLatin1String(v.key);
        QJsonObject json{
            {QStringLiteral("name"), info.name + u' ' + QString::fromUtf8(v.caption)},
            {QStringLiteral("unique_id"), uniqueId},
            {QStringLiteral("state_topic"), stateTopic(settings.prefix, info.station)},
            {QStringLiteral("value_template"), QString::fromUtf8(v.template_)},
            {QStringLiteral("availability_topic"),
             availabilityTopic(settings.prefix, info.station)},
            {QStringLiteral("device"), device},
        };
        if (!v.unit.isEmpty())
            json.insert(QStringLiteral("unit_of_measurement"), v.unit);
        configs.push_back({QStringLiteral("%1/%2/%3/config")
                               .arg(settings.discoveryPrefix, QLatin1String(v.component), uniqueId),
                           compact(json)});
    }
    return configs;
}

QByteArray alarmsPayload(int station, const QString& name, const QList<alarms::Entry>& entries) {
    QJsonArray list;
    for (const alarms::Entry& entry : entries) {
        if (entry.station == station)
            list.append(alarms::json::write(entry, alarms::json::Form::Broker));
    }
    return compact({
        {QStringLiteral("station"), station},
        {QStringLiteral("name"), name},
        {QStringLiteral("alarms"), list},
    });
}

Message alarmDiscoveryConfig(const MqttSettings& settings, const StationInfo& info) {
    const QString id = stationId(settings, info.station);
    const QString uniqueId = id + QStringLiteral("_alarm_unacknowledged");
    const QJsonObject json{
        {QStringLiteral("name"), info.name + QStringLiteral(" alarme não reconhecido")},
        {QStringLiteral("unique_id"), uniqueId},
        {QStringLiteral("state_topic"), alarmsTopic(settings.prefix, info.station)},
        {QStringLiteral("value_template"),
         QStringLiteral("{{ 'ON' if value_json.alarms | selectattr('state', 'in', ['ATIVO', "
                        "'NORMALIZADO']) | list | count > 0 else 'OFF' }}")},
        {QStringLiteral("device_class"), QStringLiteral("problem")},
        {QStringLiteral("availability_topic"), statusTopic(settings.prefix)},
        {QStringLiteral("device"), deviceObject(id, info.name)},
    };
    return {QStringLiteral("%1/binary_sensor/%2/config").arg(settings.discoveryPrefix, uniqueId),
            compact(json)};
}

} // namespace publish
