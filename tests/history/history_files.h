#pragma once

// Log files written line by line for the history tests, and the window over them.

#include "history/history_window.h"
#include "logs/log_format.h"
#include "toolkit/cp1252.h"

#include "named_stations.h"

#include <QComboBox>
#include <QFile>
#include <QTest>

namespace history_test {

inline const QDate kDay(2026, 12, 7);

// One log line as a station other than 1 writes it.
inline QString logLine(const QTime& time, const QString& speed, const QString& direction = "N",
                       const QString& preset1 = "10,0", const QString& preset2 = "20,0") {
    return logs::logLine(time, {speed, direction.leftJustified(3), preset1, preset2,
                                QStringLiteral("OFF"), QStringLiteral("3,70")});
}

// Readings of `speed` every `stepS` seconds from `from` to `to`, both included.
inline QStringList readings(const QTime& from, const QTime& to, int stepS, const QString& speed,
                            const QString& preset1 = "10,0") {
    QStringList lines;
    for (QTime at = from; at <= to && at.isValid(); at = at.addSecs(stepS)) {
        lines << logLine(at, speed, "N", preset1);
        if (at.addSecs(stepS) < at)
            break; // past midnight
    }
    return lines;
}

// The log file of `station` on `day`: its header in `unit` and these lines as they stand.
inline void writeLog(const QString& documents, const QString& station, const QDate& day,
                     const QStringList& lines, const QString& unit = QStringLiteral("km/h")) {
    QFile file(logs::logFolder(documents) + u'/' + logs::logFileName(day, station));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QString text = logs::headerLine(unit) + QStringLiteral("\r\n");
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    file.write(toolkit::toCp1252(text));
}

// The log files of a Documents folder as the only source, every station logged, the clock
// stopped at now.
inline history::HistoryWindow::Sources fromLogFiles(const QString& documents, qint64 now) {
    static const NamedStations stations; // nothing held in memory: nobody asks who is logged
    return {.logFolder = [documents] { return logs::logFolder(documents); },
            .live = nullptr,
            .settings = stations,
            .nowMs = [now] { return now; }};
}

// Chooses an entry of one of the window's boxes as the user does, and waits for its files.
inline void choose(history::HistoryWindow& window, QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
    emit box->activated(index);
    QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
}

} // namespace history_test
