#include "alarms/alarm_book.h"

#include <QDateTime>

#include <algorithm>

// The book as a restart leaves it: the list read back from its file, today's records from the
// day file, and the comings that were in progress at the stop.
namespace alarms {

void AlarmBook::restore(const QList<Entry>& entries, const QList<DayRecord>& todaysRecords) {
    history_ = todaysRecords;
    entries_.clear();
    for (Entry entry : entries) {
        entry.historySerial = 0;
        entry.absentSinceMs = 0;
        entry.toConfirm = entry.active;
        if (entry.occurrenceMs == 0)
            entry.occurrenceMs = entry.sinceMs;
        if (entry.active) {
            const bool endedAlready =
                std::any_of(history_.begin(), history_.end(), [&entry](const DayRecord& r) {
                    return r.station == entry.station && r.kind == entry.kind &&
                           secondOf(r.cameMs) == secondOf(entry.occurrenceMs);
                });
            if (endedAlready) {
                // Written to the day file as it went, just before a stop that left no time to
                // write the list.
                entry.active = false;
                entry.toConfirm = false;
                if (entry.state == State::Acknowledged)
                    continue;
                if (entry.state == State::Active)
                    entry.state = State::Normalized;
            } else {
                DayRecord record;
                record.station = entry.station;
                record.kind = entry.kind;
                record.cameMs = entry.occurrenceMs;
                record.peak = entry.occurrencePeak;
                record.unit = entry.occurrencePeak ? entry.unit : QString();
                record.acknowledgedBy = entry.acknowledgedBy;
                record.acknowledgedAtMs = entry.acknowledgedAtMs;
                history_.append(record);
            }
        }
        entries_.append(entry);
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.sinceMs > b.sinceMs; });
    std::stable_sort(history_.begin(), history_.end(),
                     [](const DayRecord& a, const DayRecord& b) { return a.cameMs < b.cameMs; });
    dropOldest();
    nextSerial_ = 1;
    for (DayRecord& record : history_) {
        record.serial = nextSerial_++;
        if (record.wentMs != 0)
            continue;
        for (Entry& entry : entries_) {
            if (entry.active && entry.station == record.station && entry.kind == record.kind)
                entry.historySerial = record.serial;
        }
    }
    dayEndMs_ = 0;
    for (const DayRecord& record : std::as_const(history_)) {
        if (record.wentMs != 0)
            dayEndMs_ = std::max(dayEndMs_, nextMidnightMs(record.cameMs));
    }
    emit historyReset();
    emit changed();
}

} // namespace alarms
