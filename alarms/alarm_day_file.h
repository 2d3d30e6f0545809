#pragma once

#include "alarms/alarm_book.h"

#include <QByteArray>
#include <QDate>
#include <QList>

#include <optional>

namespace settings {
class StationSettings;
}

namespace alarms {

// The alarms of every day, kept for audits in the log folder beside the event journal: one file
// a day, "Alarmes DD-MM-YYYY.csv", Windows-1252 with CR LF and semicolons, a header line and one
// line per coming of an alarm from the moment it went, in the file of the day it came. A
// spreadsheet reads it as it is: numbers without units (PICO in the unit of its UNIDADE column,
// DURAÇÃO in seconds), the station's number in the last column.
QString recordFileName(const QDate& day);
QDate dayOf(qint64 ms);

QByteArray dayFileHeader();
// One line; a record still active has "-" under FOI and its duration until nowMs.
QByteArray dayFileLine(const DayRecord& record, const settings::StationSettings& stations,
                       qint64 nowMs);

// A day file as read: its lines in order, each a record or, when it does not read as one, its
// bytes as they were, so that rewriting the file keeps them. Lines of the files written before
// the numbers lost their units ("43,0 km/h", "2 min 02 s", no station number) read as well;
// their station is found by its name.
struct DayFile {
    struct Line {
        std::optional<DayRecord> record;
        QByteArray bytes;
    };
    QList<Line> lines;
    bool currentForm = true; // its header is today's

    QList<DayRecord> records() const;
};
DayFile parseDayFile(const QByteArray& bytes, const settings::StationSettings& stations);
// Header and every line in the current form.
QByteArray renderDayFile(const DayFile& file, const settings::StationSettings& stations);

// The files themselves, in `folder` (never created here). Failures throw toolkit::Failure, a
// FIFO or a device in a file's place is refused without waiting, and a file is either as it was
// or whole with its new contents.
DayFile readDayFile(const QString& folder, const QDate& day,
                    const settings::StationSettings& stations);
// Appends the records' lines to the file of `day`; a file in an older form is first written
// again in the current one (`checkForm`, once per file and run is enough).
void appendToDayFile(const QString& folder, const QDate& day, const QList<DayRecord>& records,
                     const settings::StationSettings& stations, bool checkForm);
// Writes the acknowledgement into every line of the file of `day` that it reaches; false when
// it reached none.
bool acknowledgeInDayFile(const QString& folder, const QDate& day,
                          const Acknowledgement& acknowledgement,
                          const settings::StationSettings& stations);

} // namespace alarms
