#pragma once

#include "history/live_readings.h"
#include "history/log_reader.h"

#include <QFuture>
#include <QStringList>

#include <map>
#include <memory>

namespace history {

// A station's readings over the days asked for, as the history window shows them.
struct StationHistory {
    QString station;
    QString unit; // of the newest file, or of today's readings
    std::map<QDate, std::vector<Sample>> days;
    std::map<QDate, int> skipped; // lines of a day's file that did not read as readings
};

// The station names of the log files in `folder` ("DD-MM-YYYY <name>.txt"), with their days,
// newest first.
std::map<QString, QList<QDate>> indexFolder(const QString& folder);

// Reads the station's log files for `days` off the GUI thread; the future reports one step a
// file read and can be cancelled. Today's readings held in memory (`today`) take the place of
// the file's from the first of them on, so that a logged station is not counted twice and an
// unlogged one still shows. The returned data is what `prepare` needs, prepared too.
struct Loaded;
struct Choice;
QFuture<Loaded> loadStation(const QString& folder, const QString& station, const QList<QDate>& days,
                            LiveReadings::Day today, const QDate& todayDate, const Choice& choice,
                            const QDateTime& now);

// Data already read prepared anew, off the GUI thread.
QFuture<Loaded> prepareAgain(std::shared_ptr<StationHistory> data, const Choice& choice,
                             const QDateTime& now);

// The same work on the calling thread, for the tests and the benchmarks.
StationHistory readStation(const QString& folder, const QString& station, const QList<QDate>& days,
                           const LiveReadings::Day& today, const QDate& todayDate);

// Today's file readings merged with the ones held in memory.
std::vector<Sample> mergeToday(const std::vector<Sample>& fromFile,
                               const std::vector<Sample>& held);

} // namespace history
