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
// its slot number, and payloads are compact UTF-8 JSON (QJsonDocument: keys in alphabetical
// order, numbers in their shortest form) with times in ISO 8601 with their UTC offset.
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

} // namespace publish
