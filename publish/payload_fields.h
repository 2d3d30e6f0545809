#pragma once

#include <QByteArray>
#include <QString>

// The field names of the payloads a station PC publishes, for the code that writes them and the
// code that reads them back (the site view, the remote acknowledgement): a change is one edit.
namespace publish::field {

inline const QString kStation = QStringLiteral("station");
inline const QString kName = QStringLiteral("name");
inline const QString kAddress = QStringLiteral("address");
inline const QString kTime = QStringLiteral("time");
inline const QString kUnit = QStringLiteral("unit");
inline const QString kDirection = QStringLiteral("direction");
inline const QString kSpeed = QStringLiteral("speed");
inline const QString kPreset1 = QStringLiteral("preset1");
inline const QString kPreset2 = QStringLiteral("preset2");
// Beside a value the panel shows as "> LIMITE": "<field>_over_limit": true.
inline const QString kOverLimitSuffix = QStringLiteral("_over_limit");
inline const QString kPreset1Alarm = QStringLiteral("preset1_alarm");
inline const QString kPreset2Alarm = QStringLiteral("preset2_alarm");
inline const QString kSound = QStringLiteral("sound");
inline const QString kBattery = QStringLiteral("battery");
inline const QString kRf = QStringLiteral("rf");
inline const QString kAlarms = QStringLiteral("alarms");
// An acknowledgement asked through the broker.
inline const QString kAckAlarm = QStringLiteral("alarm");
inline const QString kAckBy = QStringLiteral("by");
// The status and availability payloads.
inline const QByteArray kOnline = "online";
inline const QByteArray kOffline = "offline";

} // namespace publish::field
