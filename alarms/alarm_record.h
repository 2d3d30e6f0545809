#pragma once

#include "alarms/alarm_book.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>

class QTimer;

namespace settings {
class StationSettings;
}

namespace alarms {

// Writes every coming of every alarm to its day file as it goes, and every acknowledgement into
// the lines it reaches, those of earlier days included. What cannot be written waits, in the
// order it came, and is tried again every kRetryMs and at every change of the book: a full disk
// or a FIFO in a file's place loses nothing while the program runs.
class AlarmRecorder : public QObject {
    Q_OBJECT

public:
    static constexpr int kRetryMs = 10'000;

    AlarmRecorder(const AlarmBook& book, const settings::StationSettings& stations,
                  std::function<QString()> folder, std::function<qint64()> nowMs,
                  QObject* parent = nullptr);

    // Today's records as the day file holds them, for the book at the start; what could not be
    // read is said on standard error.
    QList<DayRecord> readToday();

    // The alarms that came from `from` to `to`, by the time they came: the day files' lines,
    // those waiting to be written and those still in progress. Failures throw toolkit::Failure.
    QList<DayRecord> period(QDate from, QDate to) const;
    // The export for audits: `period` in the day files' form, Windows-1252 with CR LF, into
    // `path`. Failures throw toolkit::Failure.
    void exportPeriod(QDate from, QDate to, const QString& path) const;

    // Records and acknowledgements not yet in their files.
    qsizetype waiting() const { return toAppend_.size() + toAcknowledge_.size(); }

signals:
    // A write failed, after others had succeeded: once, not at every try.
    void failed(const QString& text);

private:
    struct PendingAcknowledgement {
        Acknowledgement acknowledgement;
        QDate nextDay; // the first day whose file it has not reached yet
        QDate lastDay;
    };

    void closed(const DayRecord& record);
    void acknowledged(const Acknowledgement& acknowledgement);
    void writeWaiting();
    void report(const QString& fileName, const QString& why);

    const AlarmBook& book_;
    const settings::StationSettings& stations_;
    std::function<QString()> folder_;
    std::function<qint64()> nowMs_;
    QList<DayRecord> toAppend_;
    QList<PendingAcknowledgement> toAcknowledge_;
    QSet<QDate> formChecked_;
    QTimer* retry_ = nullptr;
    bool failing_ = false;
};

} // namespace alarms
