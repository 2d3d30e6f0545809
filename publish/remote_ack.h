#pragma once

#include "alarms/alarm.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace publish {

// An acknowledgement asked through the broker: {"alarm": "PRESET 2", "by": "nome"} on
// "<prefix>/<n>/ack", or on "<prefix>/ack" for the port; "alarm": "*" is every alarm of the
// station, and on the port's topic every alarm of the program.
struct RemoteAck {
    int station = alarms::kPortStation;
    std::optional<alarms::Kind> kind; // none: "*"
    QString by;
};

// The acknowledgement a message asks for, or none and why not, in Portuguese.
struct RemoteAckRead {
    std::optional<RemoteAck> ack;
    QString problem;
};

// An acknowledgement fits in far less; anything longer is not one.
inline constexpr qsizetype kMostAckBytes = 1024;
inline constexpr qsizetype kMostAckerChars = 64;

RemoteAckRead readRemoteAck(const QString& prefix, const QString& topic, const QByteArray& payload);

// "nome (remoto)": who acknowledged, as the journal and the list show it.
QString remoteUser(const QString& by);

// The remote acknowledgement of one alarm, as a station PC reads it.
QByteArray ackJson(alarms::Kind kind, const QString& by);

} // namespace publish
