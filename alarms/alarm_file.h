#pragma once

#include "alarms/alarm.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace alarms {

// The alarm list kept in the station folder, so that latched and acknowledged alarms survive
// a crash or a restart. JSON with the field names of the broker's alarm payload: a user name
// with any character needs no escaping rules of our own, and a file cut short never parses.
inline const QString kAlarmFileName = QStringLiteral("alarmes.json");
// The 41 alarms there can be (five for each of eight stations, the port's) fit many times over.
inline constexpr qint64 kMostAlarmFileBytes = 256 * 1024;

QByteArray encodeAlarms(const QList<Entry>& entries);

// What the file gave: its entries, or none and one message saying why, in Portuguese. A missing
// file is an empty list without a message: the first start.
struct AlarmFileRead {
    QList<Entry> entries;
    QString error;
};
// `name` is the file's name as the message shows it.
AlarmFileRead decodeAlarms(const QByteArray& bytes, const QString& name);
// Never waits and never throws: a FIFO or a device in the file's place is not opened.
AlarmFileRead readAlarmFile(const QString& path);

// Writes the whole list or leaves the old file as it was. Failures throw toolkit::Failure; a
// FIFO or a device in the file's place is refused, not replaced.
void writeAlarmFile(const QString& path, const QList<Entry>& entries);

} // namespace alarms
