#include "alarms/alarm_book.h"

#include <QDateTime>

#include <algorithm>

namespace alarms {

namespace {

QString kindAndUser(const Entry& entry, const QString& user) {
    return QStringLiteral("%1, %2").arg(kindText(entry.kind), user);
}

qint64 nextMidnightMs(qint64 nowMs) {
    const QDate day = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    return day.addDays(1).startOfDay().toMSecsSinceEpoch();
}

// The day files keep whole seconds.
qint64 secondOf(qint64 ms) {
    return ms / 1000;
}

} // namespace

bool Acknowledgement::reaches(const DayRecord& record) const {
    return record.station == key.station && record.kind == key.kind &&
           record.acknowledgedBy.isEmpty() && secondOf(record.cameMs) >= secondOf(sinceMs);
}

AlarmBook::AlarmBook(QObject* parent) : QObject(parent) {}

qsizetype AlarmBook::indexOf(const Key& key) const {
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_.at(i);
        if (entry.station == key.station && entry.kind == key.kind)
            return i;
    }
    return -1;
}

const Entry* AlarmBook::find(const Key& key) const {
    const qsizetype index = indexOf(key);
    return index < 0 ? nullptr : &entries_.at(index);
}

bool AlarmBook::isActive(int station, Kind kind) const {
    const Entry* entry = find({station, kind});
    return entry != nullptr && entry->active;
}

bool AlarmBook::awaitingConfirmation(int station, Kind kind) const {
    const Entry* entry = find({station, kind});
    return entry != nullptr && entry->toConfirm;
}

void AlarmBook::setActive(int station, Kind kind, bool active, qint64 nowMs,
                          std::optional<double> speed, const QString& unit) {
    const qsizetype index = indexOf({station, kind});
    if (index < 0) {
        if (active)
            raise(station, kind, nowMs, speed, unit);
        return;
    }

    const Entry& seen = entries_.at(index);
    if (!active) {
        if (!seen.active)
            return;
        if (normalizeDelayMs_ <= 0)
            return goneNow(index, nowMs);
        if (seen.absentSinceMs == 0) {
            Entry& entry = entries_[index];
            entry.absentSinceMs = nowMs;
            entry.toConfirm = false;
        }
        normalizeDue(nowMs);
        return;
    }

    const bool cameBack = !seen.active;
    const bool peakRises =
        tracksPeak(kind) && speed && (!seen.occurrencePeak || *speed > *seen.occurrencePeak);
    if (!cameBack && !seen.toConfirm && seen.absentSinceMs == 0 && !peakRises)
        return; // the usual poll: nothing to do, nothing allocated

    Entry& entry = entries_[index];
    entry.toConfirm = false;
    entry.absentSinceMs = 0;
    if (cameBack)
        cameAgain(entry, nowMs);
    followPeak(entry, speed, unit);
    // A latched alarm coming again sounds the horn again, SILENCIAR or not; the horn says it, so
    // no window is raised for it.
    if (cameBack && entry.state == State::Active)
        silence_.alarmCame();
    emit changed();
}

void AlarmBook::endAtOnce(int station, Kind kind, qint64 nowMs) {
    const qsizetype index = indexOf({station, kind});
    if (index >= 0 && entries_.at(index).active)
        goneNow(index, nowMs);
}

void AlarmBook::raise(int station, Kind kind, qint64 nowMs, std::optional<double> speed,
                      const QString& unit) {
    Entry entry;
    entry.station = station;
    entry.kind = kind;
    entry.state = State::Active;
    entry.sinceMs = nowMs;
    entry.active = true;
    openRecord(entry, nowMs);
    followPeak(entry, speed, unit);
    entries_.prepend(entry);
    silence_.alarmCame();
    emit newActive(entry);
    emit changed();
}

void AlarmBook::goneNow(qsizetype index, qint64 wentMs) {
    Entry& entry = entries_[index];
    closeRecord(entry, wentMs);
    entry.active = false;
    entry.toConfirm = false;
    entry.absentSinceMs = 0;
    if (entry.state == State::Acknowledged)
        entries_.removeAt(index);
    else if (entry.state == State::Active)
        entry.state = State::Normalized;
    emit changed();
}

// The same entry, counted once more: NORMALIZADO is ATIVO again, SUPRIMIDO stays shelved.
void AlarmBook::cameAgain(Entry& entry, qint64 nowMs) {
    entry.active = true;
    ++entry.repetitions;
    if (entry.state == State::Normalized)
        entry.state = State::Active;
    openRecord(entry, nowMs);
}

void AlarmBook::followPeak(Entry& entry, std::optional<double> speed, const QString& unit) {
    if (!tracksPeak(entry.kind) || !speed)
        return;
    if (!entry.peak || *speed > *entry.peak) {
        entry.peak = speed;
        entry.unit = unit;
    }
    // The coming's own peak, which an earlier, higher one of the same entry does not hide.
    if (entry.occurrencePeak && *speed <= *entry.occurrencePeak)
        return;
    entry.occurrencePeak = speed;
    if (DayRecord* record = recordOf(entry)) {
        record->peak = speed;
        record->unit = unit;
        emit recordUpdated(*record);
    }
}

void AlarmBook::openRecord(Entry& entry, qint64 cameMs) {
    startDayIfDue(cameMs);
    DayRecord record;
    record.serial = nextSerial_++;
    record.station = entry.station;
    record.kind = entry.kind;
    record.cameMs = cameMs;
    entry.historySerial = record.serial;
    entry.occurrenceMs = cameMs;
    entry.occurrencePeak.reset();
    history_.append(record);
    emit recordOpened(history_.constLast());
    if (history_.size() > kMostRecordsHeld + kMostRecordsHeld / 4 && dropOldest())
        emit historyReset();
}

bool AlarmBook::dropOldest() {
    // The oldest that are over; a coming still in progress stays until it is written.
    qsizetype excess = history_.size() - kMostRecordsHeld;
    return history_.removeIf([&excess](const DayRecord& old) {
        if (excess <= 0 || old.wentMs == 0)
            return false;
        --excess;
        return true;
    }) > 0;
}

DayRecord* AlarmBook::recordOf(const Entry& entry) {
    if (entry.historySerial == 0)
        return nullptr;
    // Records are in the order they came: the entry's latest is near the end.
    for (qsizetype i = history_.size() - 1; i >= 0; --i) {
        if (history_.at(i).serial == entry.historySerial)
            return &history_[i];
        if (history_.at(i).serial < entry.historySerial)
            break;
    }
    return nullptr;
}

void AlarmBook::closeRecord(Entry& entry, qint64 nowMs) {
    DayRecord* record = recordOf(entry);
    entry.historySerial = 0;
    if (!record)
        return;
    record->wentMs = nowMs;
    emit recordClosed(*record);
}

bool AlarmBook::startDayIfDue(qint64 nowMs) {
    if (nowMs < dayEndMs_)
        return false;
    dayEndMs_ = nextMidnightMs(nowMs);
    // Yesterday's alarms that are over are in yesterday's file; the ones still active stay.
    if (history_.removeIf([](const DayRecord& record) { return record.wentMs != 0; }) == 0)
        return false;
    emit historyReset();
    return true;
}

void AlarmBook::acknowledgeAt(qsizetype index, const QString& user, qint64 nowMs) {
    Entry& entry = entries_[index];
    emit journal(entry.station, QStringLiteral("ALARME RECONHECIDO"), kindAndUser(entry, user));
    const Acknowledgement acknowledgement{entry.key(), entry.sinceMs, user, nowMs};
    for (DayRecord& record : history_) {
        if (!acknowledgement.reaches(record))
            continue;
        record.acknowledgedBy = user;
        record.acknowledgedAtMs = nowMs;
        emit recordUpdated(record);
    }
    emit acknowledged(acknowledgement);
    if (entry.state == State::Normalized) {
        entries_.removeAt(index);
        return;
    }
    entry.state = State::Acknowledged;
    entry.acknowledgedBy = user;
    entry.acknowledgedAtMs = nowMs;
}

QList<Key> AlarmBook::acknowledge(const QList<Key>& keys, const QString& user, qint64 nowMs) {
    QList<Key> acknowledged;
    for (const Key& key : keys) {
        const qsizetype index = indexOf(key);
        if (index < 0)
            continue;
        const State state = entries_.at(index).state;
        if (state != State::Active && state != State::Normalized)
            continue;
        acknowledgeAt(index, user, nowMs);
        acknowledged.append(key);
    }
    if (!acknowledged.isEmpty())
        emit changed();
    return acknowledged;
}

QList<Key> AlarmBook::acknowledgeAll(const QString& user, qint64 nowMs) {
    QList<Key> keys;
    for (const Entry& entry : std::as_const(entries_))
        keys.append(entry.key());
    return acknowledge(keys, user, nowMs);
}

bool AlarmBook::silence(const QString& user) {
    if (!silence_.silence(horn()))
        return false;
    emit journal(kPortStation, QStringLiteral("ALARME SILENCIADO"), user);
    emit changed();
    return true;
}

bool AlarmBook::shelve(const Key& key, qint64 durationMs, const QString& user, qint64 nowMs) {
    const qsizetype index = indexOf(key);
    if (index < 0 || durationMs <= 0 || durationMs > kShelve8HoursMs)
        return false;
    Entry& entry = entries_[index];
    entry.state = State::Shelved;
    entry.shelvedUntilMs = nowMs + durationMs;
    emit journal(entry.station, QStringLiteral("ALARME SUPRIMIDO"),
                 QStringLiteral("%1 até %2, %3")
                     .arg(kindText(entry.kind), clockText(entry.shelvedUntilMs), user));
    emit changed();
    return true;
}

QList<Key> AlarmBook::unshelve(const QList<Key>& keys, const QString& user, qint64) {
    QList<Key> unshelved;
    QList<Entry> backToActive;
    for (const Key& key : keys) {
        const qsizetype index = indexOf(key);
        if (index < 0 || entries_.at(index).state != State::Shelved)
            continue;
        Entry& entry = entries_[index];
        emit journal(entry.station, QStringLiteral("SUPRESSÃO RETIRADA"), kindAndUser(entry, user));
        unshelved.append(key);
        entry.shelvedUntilMs = 0;
        if (entry.active) {
            entry.state = State::Active;
            entry.acknowledgedBy.clear();
            entry.acknowledgedAtMs = 0;
            backToActive.append(entry);
        } else if (entry.acknowledgedBy.isEmpty()) {
            entry.state = State::Normalized;
        } else {
            entries_.removeAt(index);
        }
    }
    if (unshelved.isEmpty())
        return unshelved;
    for (const Entry& entry : std::as_const(backToActive)) {
        silence_.alarmCame();
        emit newActive(entry);
    }
    emit changed();
    return unshelved;
}

bool AlarmBook::normalizeDue(qint64 nowMs) {
    bool any = false;
    for (qsizetype i = entries_.size() - 1; i >= 0; --i) {
        const Entry& entry = entries_.at(i);
        if (entry.active && entry.absentSinceMs != 0 &&
            nowMs - entry.absentSinceMs >= normalizeDelayMs_) {
            // It went when the condition went; the delay only kept it from chattering.
            goneNow(i, entry.absentSinceMs);
            any = true;
        }
    }
    return any;
}

void AlarmBook::tick(qint64 nowMs) {
    startDayIfDue(nowMs);
    normalizeDue(nowMs);
    bool anyChange = false;
    QList<Entry> cameBack;
    for (qsizetype i = entries_.size() - 1; i >= 0; --i) {
        const Entry& seen = entries_.at(i);
        if (seen.state != State::Shelved || nowMs < seen.shelvedUntilMs)
            continue;
        emit journal(seen.station, QStringLiteral("SUPRESSÃO TERMINADA"), kindText(seen.kind));
        anyChange = true;
        if (!seen.active) {
            entries_.removeAt(i);
            continue;
        }
        Entry& entry = entries_[i];
        entry.state = State::Active;
        entry.shelvedUntilMs = 0;
        entry.acknowledgedBy.clear();
        entry.acknowledgedAtMs = 0;
        cameBack.append(entry);
    }
    for (const Entry& entry : std::as_const(cameBack)) {
        silence_.alarmCame();
        emit newActive(entry);
    }
    if (anyChange)
        emit changed();
}

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

QList<DayRecord> AlarmBook::recordsInProgress() const {
    QList<DayRecord> records;
    for (const DayRecord& record : history_) {
        if (record.wentMs == 0)
            records.append(record);
    }
    return records;
}

Horn AlarmBook::horn() const {
    return silence_.horn(hornFor(entries_));
}

Horn hornFor(const QList<Entry>& entries) {
    Horn horn = Horn::None;
    for (const Entry& entry : entries) {
        if (entry.state != State::Active)
            continue;
        if (priorityOf(entry.kind) == Priority::High)
            return Horn::Continuous;
        horn = Horn::Intermittent;
    }
    return horn;
}

} // namespace alarms
