#include "logs/log_files.h"

#include "logs/file_io.h"
#include "modbus/stations.h"
#include "toolkit/cp1252.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/regular_file.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLogs, "anemometros.logs", QtInfoMsg)

namespace logs {

namespace {

constexpr qsizetype kKeptLogFiles = 3;

QByteArray textLine(const QString& line) {
    return toolkit::toCp1252(line) + "\r\n";
}

// Drops the oldest lines beyond the newest three, deleting their files when they are ours.
QStringList pruneOldest(QStringList lines, const QByteArray& ownFolder) {
    while (lines.size() > kKeptLogFiles) {
        const QString oldest = lines.takeFirst();
        const bool deleted = io::removeFileInFolder(oldest, ownFolder);
        qCDebug(lcLogs) << (deleted ? "deleted" : "dropped without deleting") << oldest;
    }
    return lines;
}

void pruneIndexFile(const QString& indexFile, const QByteArray& ownFolder) {
    QStringList lines;
    try {
        lines = readIndexFile(indexFile);
    } catch (const toolkit::Failure&) {
        // The Windows program leaves an empty index behind; a folder in the way stays as it is.
        try {
            writeIndexFile(indexFile, {});
        } catch (const toolkit::Failure&) {
        }
        throw;
    }
    writeIndexFile(indexFile, pruneOldest(lines, ownFolder));
}

} // namespace

QStringList readIndexFile(const QString& path) {
    using Outcome = toolkit::FileRead::Outcome;
    const toolkit::FileRead file = toolkit::readRegularFile(path, kMostIndexBytes);
    switch (file.outcome) {
    case Outcome::Read:
        break;
    case Outcome::Missing:
        return {};
    case Outcome::Folder:
    case Outcome::Failed:
        toolkit::raiseFileError(file.err);
    case Outcome::NotRegular:
    case Outcome::TooLarge:
        throw toolkit::Failure(
            QStringLiteral("%1 não pôde ser lido: %2.").arg(path, file.reason()));
    }
    if (file.bytes.isEmpty())
        return {};
    QStringList lines = toolkit::fromCp1252(file.bytes).split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

void writeIndexFile(const QString& path, const QStringList& lines) {
    QByteArray contents;
    for (const QString& line : lines)
        contents += textLine(line);
    toolkit::replaceFileContents(path, contents);
}

void writeLogLine(const LogRequest& request) {
    const QByteArray line = textLine(logLine(request.now.time(), request.fields));
    const QString path = logFolder(request.documentsFolder) + u'/' +
                         logFileName(request.now.date(), request.stationName);
    io::AppendFile file(path);
    QByteArray bytes;
    // A file never holds lines without its header: one that an earlier failure (a full disk)
    // left empty gets it now, and the index lists each file once.
    if (file.created() || file.empty()) {
        qCDebug(lcLogs) << "station" << request.station << "new log file" << path;
        QStringList index = readIndexFile(request.indexFile);
        if (!index.contains(path)) {
            index.append(path);
            writeIndexFile(request.indexFile, index);
        }
        bytes = textLine(headerLine(request.unitText));
    }
    // Header and line go in one write, cut back whole when it fails: never one without the other.
    file.append(bytes + line);
    file.close();
}

void prepareLogFolder(const QString& documentsFolder) {
    const QString folder = logFolder(documentsFolder);
    io::makePath(folder);
    const QByteArray ownFolder = io::canonicalFolder(folder);
    for (int station = 1; station <= kStations; ++station)
        pruneIndexFile(indexFileName(station), ownFolder);
}

} // namespace logs
