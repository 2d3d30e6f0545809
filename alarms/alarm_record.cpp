#include "alarms/alarm_record.h"

#include "alarms/alarm_texts.h"
#include "logs/file_io.h"
#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"

#include <QDateTime>

#include <algorithm>

namespace alarms {

namespace {

QDate dayOf(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

QByteArray headerBytes() {
    return toolkit::toCp1252(toolkit::csvLine(recordColumns()));
}

QByteArray lineBytes(const DayRecord& record, const settings::StationSettings& stations,
                     qint64 nowMs) {
    return toolkit::toCp1252(
        toolkit::csvLine(recordCells(record, stationName(stations, record.station), nowMs)));
}

const DayRecord* findRecord(const QList<DayRecord>& history, quint64 serial) {
    // The history is in the order the records were opened, so by serial.
    const auto at = std::lower_bound(
        history.begin(), history.end(), serial,
        [](const DayRecord& record, quint64 wanted) { return record.serial < wanted; });
    return at != history.end() && at->serial == serial ? &*at : nullptr;
}

} // namespace

QString recordFileName(const QDate& day) {
    return QStringLiteral("Alarmes ") + day.toString(QStringLiteral("dd-MM-yyyy")) +
           QStringLiteral(".csv");
}

bool recordFinal(const DayRecord& record, const QList<Entry>& entries) {
    if (record.wentMs == 0)
        return false;
    return std::none_of(entries.begin(), entries.end(),
                        [&](const Entry& entry) { return entry.historySerial == record.serial; });
}

QList<DayRecord> unfinishedRecords(const AlarmBook& book) {
    QList<DayRecord> records;
    for (const DayRecord& record : book.dayHistory()) {
        if (!recordFinal(record, book.entries()))
            records.append(record);
    }
    return records;
}

QString appendRecords(const QString& folder, QList<DayRecord>& records,
                      const settings::StationSettings& stations, qint64 nowMs) {
    QMap<QDate, QByteArray> lines;
    for (const DayRecord& record : std::as_const(records))
        lines[dayOf(record.cameMs)] += lineBytes(record, stations, nowMs);
    for (auto day = lines.cbegin(); day != lines.cend(); ++day) {
        const QString name = recordFileName(day.key());
        try {
            logs::io::AppendFile file(folder + u'/' + name);
            file.append((file.created() || file.empty() ? headerBytes() : QByteArray()) +
                        day.value());
            file.close();
        } catch (const toolkit::Failure& failure) {
            return QStringLiteral("Não foi possível gravar os alarmes em \"%1\": %2")
                .arg(name, failure.text());
        }
        records.removeIf(
            [&](const DayRecord& record) { return dayOf(record.cameMs) == day.key(); });
    }
    return {};
}

AlarmRecorder::AlarmRecorder(const AlarmBook& book, const settings::StationSettings& stations,
                             std::function<QString()> folder, std::function<qint64()> nowMs,
                             QObject* parent)
    : QObject(parent), book_(book), stations_(stations), folder_(std::move(folder)),
      nowMs_(std::move(nowMs)) {
    connect(&book, &AlarmBook::changed, this, &AlarmRecorder::update);
    update();
}

void AlarmRecorder::update() {
    const QList<DayRecord>& history = book_.dayHistory();
    for (qsizetype i = history.size() - 1; i >= 0 && history.at(i).serial > seenUpTo_; --i)
        open_.insert(history.at(i).serial, history.at(i));
    if (!history.isEmpty())
        seenUpTo_ = std::max(seenUpTo_, history.constLast().serial);

    QList<DayRecord> due;
    for (auto it = open_.begin(); it != open_.end();) {
        const DayRecord* now = findRecord(history, it.key());
        if (now)
            it.value() = *now;
        if (now && !recordFinal(*now, book_.entries())) {
            ++it;
            continue;
        }
        due.append(it.value());
        it = open_.erase(it);
    }
    if (due.isEmpty())
        return;
    const QString error = appendRecords(folder_(), due, stations_, nowMs_());
    // What was not written waits for the next change, as it was last seen.
    for (const DayRecord& record : std::as_const(due))
        open_.insert(record.serial, record);
    if (!error.isEmpty() && !failing_)
        emit failed(error);
    failing_ = !error.isEmpty();
}

void exportPeriod(const QString& folder, QDate from, QDate to, const QList<DayRecord>& unfinished,
                  const settings::StationSettings& stations, qint64 nowMs, const QString& path) {
    if (from > to)
        std::swap(from, to);
    const QByteArray header = headerBytes();
    QByteArray bytes = header;
    for (QDate day = from; day <= to; day = day.addDays(1)) {
        const std::optional<QByteArray> file =
            logs::io::readFileIfPresent(folder + u'/' + recordFileName(day));
        if (!file)
            continue;
        for (QByteArray line : file->split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.isEmpty() && line + "\r\n" != header)
                bytes += line + "\r\n";
        }
    }
    for (const DayRecord& record : unfinished) {
        const QDate day = dayOf(record.cameMs);
        if (day >= from && day <= to)
            bytes += lineBytes(record, stations, nowMs);
    }
    toolkit::replaceFileContents(path, bytes);
}

} // namespace alarms
