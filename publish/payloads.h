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

} // namespace publish
