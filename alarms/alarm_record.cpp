#include "alarms/alarm_record.h"

#include "alarms/alarm_day_file.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"

#include <QTimer>

#include <algorithm>

namespace alarms {

AlarmRecorder::AlarmRecorder(const AlarmBook& book, const settings::StationSettings& stations,
                             std::function<QString()> folder, std::function<qint64()> nowMs,
                             QObject* parent)
    : QObject(parent), book_(book), stations_(stations), folder_(std::move(folder)),
      nowMs_(std::move(nowMs)), retry_(new QTimer(this)) {
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, &AlarmRecorder::writeWaiting);
    connect(&book, &AlarmBook::recordClosed, this, &AlarmRecorder::closed);
    connect(&book, &AlarmBook::acknowledged, this, &AlarmRecorder::acknowledged);
    connect(&book, &AlarmBook::changed, this, [this] {
        if (waiting() > 0)
            writeWaiting();
    });
}

QList<DayRecord> AlarmRecorder::readToday() {
    const QDate today = dayOf(nowMs_());
    try {
        return readDayFile(folder_(), today, stations_).records();
    } catch (const toolkit::Failure& failure) {
        // A log folder that cannot be found has its own box at start already; a day file that
        // cannot be written will have its own at its first write.
        toolkit::reportToStandardError(
            QStringLiteral("Não foi possível ler os alarmes de hoje em \"%1\": %2")
                .arg(recordFileName(today), failure.text()),
            toolkit::Severity::Warning);
        return {};
    }
}

void AlarmRecorder::closed(const DayRecord& record) {
    toAppend_.append(record);
    writeWaiting();
}

void AlarmRecorder::acknowledged(const Acknowledgement& acknowledgement) {
    for (DayRecord& record : toAppend_) {
        if (acknowledgement.reaches(record)) {
            record.acknowledgedBy = acknowledgement.user;
            record.acknowledgedAtMs = acknowledgement.atMs;
        }
    }
    toAcknowledge_.append(
        {acknowledgement, dayOf(acknowledgement.sinceMs), dayOf(acknowledgement.atMs)});
    writeWaiting();
}

void AlarmRecorder::writeWaiting() {
    const QString folder = folder_();
    // Records first, day by day in the order they went, so that an acknowledgement that
    // waited finds them in their files.
    while (!toAppend_.isEmpty()) {
        const QDate day = dayOf(toAppend_.constFirst().cameMs);
        QList<DayRecord> sameDay;
        for (const DayRecord& record : std::as_const(toAppend_)) {
            if (dayOf(record.cameMs) == day)
                sameDay.append(record);
        }
        try {
            appendToDayFile(folder, day, sameDay, stations_, !formChecked_.contains(day));
        } catch (const toolkit::Failure& failure) {
            return report(recordFileName(day), failure.text());
        }
        formChecked_.insert(day);
        toAppend_.removeIf([day](const DayRecord& record) { return dayOf(record.cameMs) == day; });
    }
    while (!toAcknowledge_.isEmpty()) {
        PendingAcknowledgement& pending = toAcknowledge_.first();
        for (; pending.nextDay <= pending.lastDay; pending.nextDay = pending.nextDay.addDays(1)) {
            try {
                acknowledgeInDayFile(folder, pending.nextDay, pending.acknowledgement, stations_);
            } catch (const toolkit::Failure& failure) {
                return report(recordFileName(pending.nextDay), failure.text());
            }
        }
        toAcknowledge_.removeFirst();
    }
    failing_ = false;
    retry_->stop();
}

void AlarmRecorder::report(const QString& fileName, const QString& why) {
    if (!retry_->isActive())
        retry_->start();
    if (std::exchange(failing_, true))
        return;
    emit failed(
        QStringLiteral("Não foi possível gravar os alarmes em \"%1\": %2").arg(fileName, why));
}

QList<DayRecord> AlarmRecorder::period(QDate from, QDate to) const {
    if (from > to)
        std::swap(from, to);
    QList<DayRecord> records;
    const QString folder = folder_();
    for (QDate day = from; day <= to; day = day.addDays(1))
        records += readDayFile(folder, day, stations_).records();
    const auto inPeriod = [&](const DayRecord& record) {
        const QDate day = dayOf(record.cameMs);
        return day >= from && day <= to;
    };
    for (const QList<DayRecord>& more : {toAppend_, book_.recordsInProgress()})
        std::copy_if(more.begin(), more.end(), std::back_inserter(records), inPeriod);
    std::stable_sort(records.begin(), records.end(),
                     [](const DayRecord& a, const DayRecord& b) { return a.cameMs < b.cameMs; });
    return records;
}

void AlarmRecorder::exportPeriod(QDate from, QDate to, const QString& path) const {
    const qint64 nowMs = nowMs_();
    QByteArray bytes = dayFileHeader();
    for (const DayRecord& record : period(from, to))
        bytes += dayFileLine(record, stations_, nowMs);
    toolkit::replaceFileContents(path, bytes);
}

} // namespace alarms
