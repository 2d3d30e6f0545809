#pragma once

#include "alarms/alarm.h"
#include "publish/topics.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the station PCs publish, read back by the site view. A message that does not read as
// what its topic says is left aside (and counted by whoever reads it); nothing in a payload can
// stop the site view.
namespace site {

// Where a message comes from and what it tells: the one topic map of the station PCs.
using publish::readTopic;
using publish::Topic;

// A value the station's panel shows: a number, or none when it showed "> LIMITE".
struct Value {
    std::optional<double> number;
    bool overLimit = false;
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

// The remote acknowledgement of one alarm, as a station PC reads it.
QByteArray ackJson(alarms::Kind kind, const QString& by);

} // namespace site
