#pragma once

#include "alarms/alarm.h"
#include "health/station_health.h"
#include "modbus/rtu.h"
#include "publish/mqtt_settings.h"
#include "publish/topics.h"
#include "readings/reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// What the station publishes, as bytes (its topics are in topics.h): payloads are compact UTF-8
// JSON (QJsonDocument: keys in alphabetical order, numbers in their shortest form) with times in
// ISO 8601 with their UTC offset.
namespace publish {

struct StationInfo {
    int station = 1;
    QString name;
    QString address;
};

// {"address":"17","battery":3.88,"direction":"NNE","name":"CAIS 1","preset1":5,
//  "preset1_alarm":true,...,"speed":12.3,"station":3,"time":"...","unit":"km/h"}. A value the
// panel shows as "> LIMITE" is null with "<field>_over_limit": true beside it; a direction
// that is not valid is null.
QByteArray stateJson(const StationInfo& info, const modbus::StationValues& values,
                     const readings::Reading& reading, const QDateTime& time);

// The counts of the last hour, the run of failures and the last good reading.
QByteArray healthJson(int station, const health::StationHealth& health, qint64 nowMs);

// Home Assistant discovery: one retained config per value, under the discovery prefix.
struct Message {
    QString topic;
    QByteArray payload;
};
std::vector<Message> discoveryConfigs(const MqttSettings& settings, const StationInfo& info,
                                      const QString& unit);

// {"station": 3, "name": "...", "alarms": [{"alarm": "PRESET 2", "priority": "alta", "state":
// "ATIVO", "since": "...", "peak": 52.3, "unit": "km/h", "acknowledged_by": null,
// "acknowledged_at": null, "shelved_until": null, "repetitions": 0}, ...]}: the entries of that
// station among `entries`, in their order (newest first); an empty list when all is normal. The
// port is station 0, named after the port. A shelved alarm is "SUPRIMIDO", its end in
// "shelved_until": a remote reader gets the date and offset an "ATÉ 14:30" would leave out, and
// a state that does not change with the time.
QByteArray alarmsPayload(int station, const QString& name, const QList<alarms::Entry>& entries);

// The binary sensor "<name> alarme não reconhecido", ON while any of the station's alarms is
// ATIVO or NORMALIZADO. It follows the program's status topic rather than the station's
// availability: the list is current while the program runs, and a silent station is itself an
// alarm.
Message alarmDiscoveryConfig(const MqttSettings& settings, const StationInfo& info);

// What the site view reads back of those payloads. A payload that does not read as what its
// topic says is none; nothing in a payload can stop the reader.

// A value the station's panel shows: a number, or none when it showed "> LIMITE".
struct Value {
    std::optional<double> number;
    bool overLimit = false;

    bool operator==(const Value&) const = default;
};

// One reading of one station, as its state topic carries it.
struct StationState {
    int station = 0;
    QString name;
    QString unit;
    Value speed;
    Value preset1;
    Value preset2;
    bool preset1Alarm = false;
    bool preset2Alarm = false;
    QString direction; // empty: not valid
    std::optional<double> battery;
    qint64 timeMs = 0; // when the station PC read it, ms since 1970

    bool operator==(const StationState&) const = default;
};

// None when the payload is not such a state: not JSON, no station 1 to 8, no valid time, a
// field of the wrong type.
std::optional<StationState> readState(const QByteArray& payload);

// "online" or "offline"; none for anything else.
std::optional<bool> readOnline(const QByteArray& payload);

// The alarms of one station (or of the port, station 0) as the station PC lists them. Each
// entry holds what the station's own list shows; `active` says whether its condition is
// still there (ATIVO, RECONHECIDO).
struct StationAlarms {
    int station = 0;
    QString name;
    QList<alarms::Entry> entries;
};
std::optional<StationAlarms> readAlarms(const QByteArray& payload);

} // namespace publish
