#pragma once

#include "alarms/alarm_book.h"

#include <QDate>
#include <QMap>
#include <QObject>

#include <functional>

namespace settings {
class StationSettings;
}

namespace alarms {

// The alarms of every day, kept for audits in the log folder beside the event journal: one file
// a day, "Alarmes DD-MM-YYYY.csv", Windows-1252 with CR LF and semicolons, a header line and one
// line per alarm once it is over, in the file of the day it came.
QString recordFileName(const QDate& day);

// The book changes the record no more: the alarm went, and no listed alarm points at it (a
// NORMALIZADO alarm may still be acknowledged, a shelved one may still come back).
bool recordFinal(const DayRecord& record, const QList<Entry>& entries);
// The records of the day's history that are not final yet, oldest first.
QList<DayRecord> unfinishedRecords(const AlarmBook& book);

// Appends the records to their days' files in `folder` (never created here); a file that is new
// or empty gets the header first. Those written are taken out of `records`. Returns what failed,
// in Portuguese, or an empty text; never throws. A FIFO or a device in a file's place is refused
// without waiting, and what a file holds is never cut.
QString appendRecords(const QString& folder, QList<DayRecord>& records,
                      const settings::StationSettings& stations, qint64 nowMs);

// Writes every record of the book to the day files as it becomes final. A record that leaves
// the day's history before (at midnight, or past the most held) is written as it was last seen.
// A failed write is tried again at the next change of the book.
class AlarmRecorder : public QObject {
    Q_OBJECT

public:
    AlarmRecorder(const AlarmBook& book, const settings::StationSettings& stations,
                  std::function<QString()> folder, std::function<qint64()> nowMs,
                  QObject* parent = nullptr);

    // What became final since the last call; called at every change of the book.
    void update();

signals:
    // A write failed, after others had succeeded: once, not at every try.
    void failed(const QString& text);

private:
    const AlarmBook& book_;
    const settings::StationSettings& stations_;
    std::function<QString()> folder_;
    std::function<qint64()> nowMs_;
    QMap<quint64, DayRecord> open_; // by serial: records not written yet, as last seen
    quint64 seenUpTo_ = 0;
    bool failing_ = false;
};

// The export for audits: the lines of the day files from `from` to `to`, then the records not
// yet in a file (`unfinished`) that came in those days, under one header, Windows-1252 with
// CR LF. Failures throw toolkit::Failure.
void exportPeriod(const QString& folder, QDate from, QDate to, const QList<DayRecord>& unfinished,
                  const settings::StationSettings& stations, qint64 nowMs, const QString& path);

} // namespace alarms
