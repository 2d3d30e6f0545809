#include "publish/payloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdlib>

namespace publish {

namespace {

QByteArray number(double value, int decimals) {
    return QByteArray::number(value, 'f', decimals);
}

QByteArray boolean(bool value) {
    return value ? "true" : "false";
}

// "2026-12-07T14:30:05-03:00": the local time with its offset, also when the offset is 0.
QByteArray isoTime(const QDateTime& time) {
    const int offsetS = time.offsetFromUtc();
    const int minutes = std::abs(offsetS) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toUtf8() +
           QByteArray(offsetS < 0 ? "-" : "+") +
           QByteArray::number(minutes / 60).rightJustified(2, '0') + ':' +
           QByteArray::number(minutes % 60).rightJustified(2, '0');
}

// A tenths value, or null with "<field>_over_limit": true when the panel shows "> LIMITE".
void addTenths(QByteArray& json, const char* field, std::uint16_t tenths, bool overLimit) {
    json += '"';
    json += field;
    json += "\": ";
    if (overLimit) {
        json += "null, \"";
        json += field;
        json += "_over_limit\": true";
        return;
    }
    json += number(tenths / 10.0, 1);
}

// A topic level from a client id: letters, digits, '-' and '_' only.
QString topicSafe(const QString& text) {
    QString safe;
    for (const QChar c : text)
        safe += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'-' || c == u'_' ? c : u'_';
    return safe;
}

QJsonValue timeValue(qint64 ms) {
    return ms == 0 ? QJsonValue(QJsonValue::Null)
                   : QJsonValue(QString::fromUtf8(isoTime(QDateTime::fromMSecsSinceEpoch(ms))));
}

QJsonValue textValue(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject alarmObject(const alarms::Entry& entry) {
    using alarms::State;
    QJsonObject object;
    object.insert(QStringLiteral("alarm"), alarms::kindText(entry.kind));
    object.insert(QStringLiteral("priority"), alarms::priorityText(alarms::priorityOf(entry.kind)));
    object.insert(QStringLiteral("state"), entry.state == State::Shelved
                                               ? QStringLiteral("SUPRIMIDO")
                                               : alarms::stateText(entry));
    object.insert(QStringLiteral("since"), timeValue(entry.sinceMs));
    object.insert(QStringLiteral("peak"),
                  entry.peak ? QJsonValue(*entry.peak) : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("unit"), textValue(entry.peak ? entry.unit : QString()));
    object.insert(QStringLiteral("acknowledged_by"), textValue(entry.acknowledgedBy));
    object.insert(QStringLiteral("acknowledged_at"), timeValue(entry.acknowledgedAtMs));
    object.insert(QStringLiteral("shelved_until"),
                  timeValue(entry.state == State::Shelved ? entry.shelvedUntilMs : 0));
    object.insert(QStringLiteral("repetitions"), entry.repetitions);
    return object;
}

QString stationId(const MqttSettings& settings, int station) {
    return topicSafe(settings.clientId) + QStringLiteral("_%1").arg(station);
}

QByteArray deviceJson(const QString& id, const QString& name) {
    return "{\"identifiers\": [" + jsonString(id) + "], \"name\": " + jsonString(name) +
           ", \"manufacturer\": \"K&V\", \"model\": \"Anemômetro\"}";
}

} // namespace

QString statusTopic(const QString& prefix) {
    return prefix + QStringLiteral("/status");
}
QString stateTopic(const QString& prefix, int station) {
    return QStringLiteral("%1/%2/state").arg(prefix).arg(station);
}
QString availabilityTopic(const QString& prefix, int station) {
    return QStringLiteral("%1/%2/availability").arg(prefix).arg(station);
}
QString healthTopic(const QString& prefix, int station) {
    return QStringLiteral("%1/%2/health").arg(prefix).arg(station);
}
QString alarmsTopic(const QString& prefix, int station) {
    return station == alarms::kPortStation
               ? prefix + QStringLiteral("/alarms")
               : QStringLiteral("%1/%2/alarms").arg(prefix).arg(station);
}
QString ackTopic(const QString& prefix, int station) {
    return station == alarms::kPortStation ? prefix + QStringLiteral("/ack")
                                           : QStringLiteral("%1/%2/ack").arg(prefix).arg(station);
}

QByteArray jsonString(const QString& text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20) {
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')).toLatin1();
        } else {
            out += QString(c).toUtf8();
        }
    }
    out += '"';
    return out;
}

QByteArray stateJson(const StationInfo& info, const modbus::StationValues& values,
                     const readings::Reading& reading, const QDateTime& time) {
    QByteArray json = "{\"station\": " + QByteArray::number(info.station);
    json += ", \"name\": " + jsonString(info.name);
    json += ", \"address\": " + jsonString(info.address);
    json += ", \"time\": \"" + isoTime(time) + '"';
    json += ", ";
    addTenths(json, "speed", values.speed, reading.speedOverLimit);
    json += ", \"unit\": " + jsonString(reading.unitText);
    json += ", \"direction\": ";
    json +=
        reading.directionName.isEmpty() ? QByteArray("null") : jsonString(reading.directionName);
    json += ", ";
    addTenths(json, "preset1", values.preset1, reading.preset1OverLimit);
    json += ", ";
    addTenths(json, "preset2", values.preset2, reading.preset2OverLimit);
    json += ", \"preset1_alarm\": " + boolean(reading.preset1Alarm);
    json += ", \"preset2_alarm\": " + boolean(reading.preset2Alarm);
    json += ", \"sound\": " + boolean(reading.soundAlarm);
    json += ", \"battery\": " + number(values.battery / 100.0, 2);
    json += ", \"rf\": " + boolean(reading.rf);
    json += '}';
    return json;
}

QByteArray healthJson(int station, const health::StationHealth& health, qint64 nowMs) {
    const health::Counts hour = health.lastHour(nowMs);
    const auto success = hour.successPercent();
    const QByteArray lastGood =
        health.lastGoodMs()
            ? '"' + isoTime(QDateTime::fromMSecsSinceEpoch(*health.lastGoodMs())) + '"'
            : QByteArray("null");
    return "{\"station\": " + QByteArray::number(station) + ", \"time\": \"" +
           isoTime(QDateTime::fromMSecsSinceEpoch(nowMs)) +
           "\", \"polls\": " + QByteArray::number(hour.polls) +
           ", \"good\": " + QByteArray::number(hour.good) +
           ", \"no_reply\": " + QByteArray::number(hour.noReply) +
           ", \"bad_crc\": " + QByteArray::number(hour.badCrc) +
           ", \"wrong_address\": " + QByteArray::number(hour.wrongAddress) +
           ", \"wrong_function\": " + QByteArray::number(hour.wrongFunction) +
           ", \"too_short\": " + QByteArray::number(hour.tooShort) +
           ", \"success_percent\": " + (success ? number(*success, 1) : QByteArray("null")) +
           ", \"consecutive_failures\": " + QByteArray::number(health.consecutiveFailures()) +
           ", \"answering\": " + boolean(health.answering()) + ", \"last_good\": " + lastGood + '}';
}

std::vector<Message> discoveryConfigs(const MqttSettings& settings, const StationInfo& info,
                                      const QString& unit) {
    const QString id = stationId(settings, info.station);
    const QByteArray device = deviceJson(id, info.name);
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
        QByteArray json =
            "{\"name\": " + jsonString(info.name + u' ' + QString::fromUtf8(v.caption)) +
            ", \"unique_id\": " + jsonString(uniqueId) +
            ", \"state_topic\": " + jsonString(stateTopic(settings.prefix, info.station)) +
            ", \"value_template\": " + jsonString(QString::fromUtf8(v.template_)) +
            ", \"availability_topic\": " +
            jsonString(availabilityTopic(settings.prefix, info.station));
        if (!v.unit.isEmpty())
            json += ", \"unit_of_measurement\": " + jsonString(v.unit);
        json += ", \"device\": " + device + '}';
        configs.push_back({QStringLiteral("%1/%2/%3/config")
                               .arg(settings.discoveryPrefix, QLatin1String(v.component), uniqueId),
                           json});
    }
    return configs;
}

QByteArray alarmsPayload(int station, const QString& name, const QList<alarms::Entry>& entries) {
    QJsonArray list;
    for (const alarms::Entry& entry : entries) {
        if (entry.station == station)
            list.append(alarmObject(entry));
    }
    QJsonObject root;
    root.insert(QStringLiteral("station"), station);
    root.insert(QStringLiteral("name"), name);
    root.insert(QStringLiteral("alarms"), list);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Message alarmDiscoveryConfig(const MqttSettings& settings, const StationInfo& info) {
    const QString id = stationId(settings, info.station);
    const QString uniqueId = id + QStringLiteral("_alarm_unacknowledged");
    const QByteArray json =
        "{\"name\": " + jsonString(info.name + QStringLiteral(" alarme não reconhecido")) +
        ", \"unique_id\": " + jsonString(uniqueId) +
        ", \"state_topic\": " + jsonString(alarmsTopic(settings.prefix, info.station)) +
        ", \"value_template\": "
        "\"{{ 'ON' if value_json.alarms | selectattr('state', 'in', ['ATIVO', 'NORMALIZADO']) "
        "| list | count > 0 else 'OFF' }}\", \"device_class\": \"problem\"" +
        ", \"availability_topic\": " + jsonString(statusTopic(settings.prefix)) +
        ", \"device\": " + deviceJson(id, info.name) + '}';
    return {QStringLiteral("%1/binary_sensor/%2/config").arg(settings.discoveryPrefix, uniqueId),
            json};
}

} // namespace publish
