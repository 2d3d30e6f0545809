#include "site/site_payloads.h"

#include "modbus/stations.h"

#include <QDateTime>
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

// A time with its offset; 0 for null or missing, none when it is not a time.
std::optional<qint64> timeOf(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined())
        return 0;
    if (!value.isString())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return time.toMSecsSinceEpoch();
}

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

std::optional<alarms::State> alarmStateOf(const QJsonValue& value) {
    const QString text = value.toString();
    if (text == u"ATIVO")
        return alarms::State::Active;
    if (text == u"RECONHECIDO")
        return alarms::State::Acknowledged;
    if (text == u"NORMALIZADO")
        return alarms::State::Normalized;
    if (text == u"SUPRIMIDO")
        return alarms::State::Shelved;
    return std::nullopt;
}

std::optional<alarms::Entry> alarmOf(int station, const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject json = value.toObject();
    alarms::Entry entry;
    entry.station = station;
    const std::optional<alarms::Kind> kind =
        alarms::kindFromText(json.value(QStringLiteral("alarm")).toString());
    const std::optional<alarms::State> state = alarmStateOf(json.value(QStringLiteral("state")));
    const std::optional<qint64> since = timeOf(json.value(QStringLiteral("since")));
    const std::optional<qint64> ackAt = timeOf(json.value(QStringLiteral("acknowledged_at")));
    const std::optional<qint64> until = timeOf(json.value(QStringLiteral("shelved_until")));
    const std::optional<QString> by = textOf(json.value(QStringLiteral("acknowledged_by")));
    const std::optional<QString> unit = textOf(json.value(QStringLiteral("unit")));
    const QJsonValue peak = json.value(QStringLiteral("peak"));
    const QJsonValue repetitions = json.value(QStringLiteral("repetitions"));
    if (!kind || !alarms::validStation(*kind, station) || !state || !since || !ackAt || !until ||
        !by || !unit || !(peak.isDouble() || peak.isNull() || peak.isUndefined()) ||
        !(repetitions.isDouble() || repetitions.isUndefined()))
        return std::nullopt;
    entry.kind = *kind;
    entry.state = *state;
    entry.sinceMs = *since;
    entry.acknowledgedAtMs = *ackAt;
    entry.shelvedUntilMs = *until;
    entry.acknowledgedBy = *by;
    entry.unit = *unit;
    if (peak.isDouble())
        entry.peak = peak.toDouble();
    entry.repetitions = repetitions.toInt();
    entry.active = *state == alarms::State::Active || *state == alarms::State::Acknowledged;
    return entry;
}

} // namespace

std::optional<Topic> readTopic(const QStringList& prefixes, const QString& topic) {
    std::optional<Topic> found;
    for (const QString& prefix : prefixes) {
        if (!topic.startsWith(prefix + u'/') || (found && found->prefix.size() >= prefix.size()))
            continue;
        const QStringView rest = QStringView(topic).mid(prefix.size() + 1);
        if (rest == u"status") {
            found = Topic{prefix, 0, Topic::Kind::Status};
        } else if (rest == u"alarms") {
            found = Topic{prefix, 0, Topic::Kind::Alarms};
        } else if (rest.size() > 2 && rest.at(1) == u'/' && rest.at(0) >= u'1' &&
                   rest.at(0) < QChar(u'1' + kStations)) {
            const int station = rest.at(0).unicode() - u'0';
            const QStringView what = rest.mid(2);
            if (what == u"state")
                found = Topic{prefix, station, Topic::Kind::State};
            else if (what == u"availability")
                found = Topic{prefix, station, Topic::Kind::Availability};
            else if (what == u"alarms")
                found = Topic{prefix, station, Topic::Kind::Alarms};
        }
    }
    return found;
}

QStringList topicFilters(const QStringList& prefixes) {
    QStringList filters;
    for (const QString& prefix : prefixes)
        filters << prefix + QStringLiteral("/status") << prefix + QStringLiteral("/alarms")
                << prefix + QStringLiteral("/+/state") << prefix + QStringLiteral("/+/availability")
                << prefix + QStringLiteral("/+/alarms");
    return filters;
}

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
        const std::optional<alarms::Entry> entry = alarmOf(*station, item);
        if (!entry)
            return std::nullopt;
        read.entries << *entry;
    }
    return read;
}

QByteArray ackJson(alarms::Kind kind, const QString& by) {
    return QJsonDocument(QJsonObject{{QStringLiteral("alarm"), alarms::kindText(kind)},
                                     {QStringLiteral("by"), by}})
        .toJson(QJsonDocument::Compact);
}

} // namespace site
