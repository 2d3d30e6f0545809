#pragma once

#include "health/station_health.h"
#include "modbus/rtu.h"
#include "publish/mqtt_settings.h"
#include "readings/reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// What the station publishes, as bytes: topics never hold a station's name or address, only
// its slot number, and payloads are UTF-8 JSON with numbers written with a decimal point and
// times in ISO 8601 with their UTC offset.
namespace publish {

QString statusTopic(const QString& prefix);
QString stateTopic(const QString& prefix, int station);
QString availabilityTopic(const QString& prefix, int station);
QString healthTopic(const QString& prefix, int station);

struct StationInfo {
    int station = 1;
    QString name;
    QString address;
};

// {"station": 1, "name": "...", "address": "...", "time": "...", "speed": 12.3, "unit": "km/h",
//  "direction": "NNE", "preset1": 5.0, "preset2": 20.0, "preset1_alarm": true, ...}. A value the
// panel shows as "> LIMITE" is null with "<field>_over_limit": true beside it; a direction that
// is not valid is null.
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

// A JSON string, quotes and escapes included.
QByteArray jsonString(const QString& text);

} // namespace publish
