#pragma once

#include "alarms/alarm.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// One listed alarm as JSON, written and read here only: in alarmes.json, in the lists each
// station PC publishes on the broker and in the site view that reads them. A change of a field
// is one edit.
namespace alarms::json {

// The field names.
namespace field {
inline const QString kStation = QStringLiteral("station");
inline const QString kAlarm = QStringLiteral("alarm");
inline const QString kPriority = QStringLiteral("priority");
inline const QString kState = QStringLiteral("state");
inline const QString kActive = QStringLiteral("active");
inline const QString kSince = QStringLiteral("since");
inline const QString kPeak = QStringLiteral("peak");
inline const QString kUnit = QStringLiteral("unit");
inline const QString kAcknowledgedBy = QStringLiteral("acknowledged_by");
inline const QString kAcknowledgedAt = QStringLiteral("acknowledged_at");
inline const QString kShelvedUntil = QStringLiteral("shelved_until");
inline const QString kRepetitions = QStringLiteral("repetitions");
inline const QString kOccurrenceSince = QStringLiteral("occurrence_since");
inline const QString kOccurrencePeak = QStringLiteral("occurrence_peak");
} // namespace field

// alarmes.json keeps what a restart needs (the station, the condition, the coming in progress,
// times to the millisecond); a list on the broker shows what the Alarmes window shows, one
// station per list, times to the second.
enum class Form { File, Broker };

QJsonObject write(const Entry& entry, Form form);

// An entry, or none and the first field that does not read (in Portuguese, for a message). In
// the broker's form the station is the list's and the condition follows from the state.
struct Read {
    std::optional<Entry> entry;
    QString problem;
};
Read read(const QJsonObject& object, Form form, int station = 0);

// "2026-12-08T14:30:05.123-03:00" (the file) or "2026-12-08T14:30:05-03:00" (the broker): the
// local time with its offset, also when it is 0; null for 0 (none).
QJsonValue timeValue(qint64 ms, Form form);
// Milliseconds since 1970 of such a time, 0 for null or missing, none for anything else.
std::optional<qint64> timeOf(const QJsonValue& value);

} // namespace alarms::json
