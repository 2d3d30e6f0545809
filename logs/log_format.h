#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace logs {

// The panel texts of one good reading, exactly as the station display shows them.
struct LogFields {
    QString speed;
    QString direction; // padded to three characters at stations 2-8 ("N  ")
    QString preset1;
    QString preset2;
    QString sound; // "ON" or "OFF" at station 1, "ON " or "OFF" at stations 2-8
    QString battery;
};

// "HH:mm:ss;speed;direction;preset1;preset2;sound;battery;" - every field closed by ';'.
QString logLine(const QTime& time, const LogFields& fields);

// The first line of a new log file; unlike the log lines it has no closing ';'.
QString headerLine(const QString& unitText);

// "dd-MM-yyyy", the date part of a log file name.
QString dateText(const QDate& date);

// The station name with the folder separators "/" and "\", NUL and every control character
// turned into '_', so that no name can lead a log file out of the log folder. Every other
// character stays: the file name starts with the date, so no name can make it "." or "..".
QString safeStationName(const QString& stationName);

// "dd-MM-yyyy <safe station name>.txt"
QString logFileName(const QDate& date, const QString& stationName);

// The log folder under the user's Documents folder.
QString logFolder(const QString& documentsFolder);

// "StatusLOG<n>.txt", relative to the working directory: the station's list of log files.
QString indexFileName(int station);

// A reading is logged only when the station's log box is ticked and its RF flag is set.
bool shouldLog(bool logBoxChecked, const QString& rfText);

} // namespace logs
