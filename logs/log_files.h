#pragma once

#include "logs/log_format.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace logs {

// One logged reading of one station, with everything the log step needs as plain values.
struct LogRequest {
    int station = 1;
    QString indexFile;       // indexFileName(station), in the working directory
    QString documentsFolder; // without a trailing separator
    QDateTime now;
    QString stationName; // the caption of the station's name panel
    QString unitText;    // "m/s", "km/h", "kn" or empty
    LogFields fields;
};

// Appends the reading to the station's log file of the day, creating the file with its header
// and recording it in the index file when it is new. The line is in the file when this
// returns. Failures throw toolkit::Failure with the file error text.
void writeLogLine(const LogRequest& request);

// The most an index file may hold: thousands of paths, where three are kept.
inline constexpr qint64 kMostIndexBytes = 1024 * 1024;

// The lines of an index file; a missing file is an empty list, any other failure throws. A
// FIFO, a device or a file larger than kMostIndexBytes is never read (nor waited for) and
// fails with its name and the reason ("StatusLOG1.txt não pôde ser lido: não é um arquivo
// comum.").
QStringList readIndexFile(const QString& path);

// Writes the whole index file, Windows-1252 with CR LF, as the Windows program does.
void writeIndexFile(const QString& path, const QStringList& lines);

// At start: create the log folder under the Documents folder and delete all but the three
// newest log files of each station, as listed by the index files in the working directory.
void prepareLogFolder(const QString& documentsFolder);

} // namespace logs
