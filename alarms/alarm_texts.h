#pragma once

#include "alarms/alarm_book.h"

#include <QStringList>

namespace settings {
class StationSettings;
}

namespace alarms {

// The texts the alarm window shows and the day files keep, in one place.

// "07/12/2026 09:00:01" in local time; empty for 0 (none).
QString dateTimeText(qint64 ms);
// "09:04:00" on the day of `dayOfMs`, the date and time on any other day; empty for 0. Windows
// give a time this way next to a full one, so that every column fits a 1024-pixel screen.
QString timeAfterText(qint64 ms, qint64 dayOfMs);
// "52,3 km/h"; empty without a peak.
QString peakText(const std::optional<double>& peak, const QString& unit);
// "1 h 02 min", "4 min 05 s", "45 s".
QString durationText(qint64 ms);
// The station's name as configured, its number when it has none, "-" for the port.
QString stationName(const settings::StationSettings& stations, int station);

// The station of a record: the name its day file wrote, else as stationName says.
QString recordStationName(const settings::StationSettings& stations, const DayRecord& record);

// The columns of the day's history in the Alarmes window, in their order.
const QStringList& recordColumns();
// One alarm of the day in those columns: the times after VEIO as timeAfterText gives them, an
// alarm still active with "-" under FOI and the duration until nowMs.
QStringList recordCells(const DayRecord& record, const QString& stationName, qint64 nowMs);

} // namespace alarms
