#include "alarms/alarm_book.h"

#include <QDateTime>

#include <algorithm>

namespace alarms {

namespace {

QString ackDetail(const Entry& entry, const QString& user) {
    return QStringLiteral("%1, %2").arg(kindText(entry.kind), user);
}

qint64 nextMidnightMs(qint64 nowMs) {
    const QDate day = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    return day.addDays(1).startOfDay().toMSecsSinceEpoch();
}

} // namespace

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

void AlarmBook::setActive(int station, Kind kind, bool active, qint64 nowMs,
                          std::optional<double> speed, const QString& unit) {
    const qsizetype index = indexOf({station, kind});
    if (index < 0) {
        if (!active)
            return;
        Entry entry;
        entry.station = station;
        entry.kind = kind;
        entry.state = State::Active;
        entry.sinceMs = nowMs;
        entry.active = true;
        openRecord(entry, nowMs);
        followPeak(entry, speed, unit);
        entries_.prepend(entry);
        becameActive(entry);
        return;
    }

    const Entry& seen = entries_.at(index);
    const bool peakRises =
        active && tracksPeak(kind) && speed && (!seen.peak || *speed > *seen.peak);
    if (seen.active == active && !seen.toConfirm && !peakRises)
        return; // the usual poll: nothing to do, nothing allocated

    Entry& entry = entries_[index];
    entry.toConfirm = false;
    if (active) {
        const bool cameBack = !entry.active;
        if (cameBack)
            cameAgain(entry, nowMs);
        followPeak(entry, speed, unit);
        if (cameBack && entry.state == State::Active) {
            becameActive(entry);
            return;
        }
    } else if (entry.active) {
        closeRecord(entry, nowMs);
        entry.active = false;
        if (entry.state == State::Acknowledged) {
            entries_.removeAt(index);
        } else if (entry.state == State::Active) {
            entry.state = State::Normalized;
        }
    }
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

void AlarmBook::becameActive(const Entry& entry) {
    silenced_ = false;
    emit newActive(entry);
    emit changed();
}

void AlarmBook::followPeak(Entry& entry, std::optional<double> speed, const QString& unit) {
    if (!tracksPeak(entry.kind) || !speed)
        return;
    if (!entry.peak || *speed > *entry.peak) {
        entry.peak = speed;
        entry.unit = unit;
    }
    if (DayRecord* record = recordOf(entry); record && (!record->peak || *speed > *record->peak)) {
        record->peak = speed;
        record->unit = unit;
    }
}

void AlarmBook::openRecord(Entry& entry, qint64 nowMs) {
    startDayIfDue(nowMs);
    DayRecord record;
    record.serial = nextSerial_++;
    record.station = entry.station;
    record.kind = entry.kind;
    record.cameMs = nowMs;
    entry.historySerial = record.serial;
    history_.append(record);
    if (history_.size() > kMostRecordsHeld + kMostRecordsHeld / 4)
        history_.remove(0, history_.size() - kMostRecordsHeld);
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

void AlarmBook::closeRecord(const Entry& entry, qint64 nowMs) {
    if (DayRecord* record = recordOf(entry))
        record->wentMs = nowMs;
}

void AlarmBook::startDayIfDue(qint64 nowMs) {
    if (nowMs < dayEndMs_)
        return;
    // Yesterday's alarms that are over are in yesterday's journal; the ones still active stay.
    history_.removeIf([](const DayRecord& record) { return record.wentMs != 0; });
    dayEndMs_ = nextMidnightMs(nowMs);
}

void AlarmBook::acknowledgeAt(qsizetype index, const QString& user, qint64 nowMs) {
    Entry& entry = entries_[index];
    emit journal(entry.station, QStringLiteral("ALARME RECONHECIDO"), ackDetail(entry, user));
    if (DayRecord* record = recordOf(entry)) {
        record->acknowledgedBy = user;
        record->acknowledgedAtMs = nowMs;
    }
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
    if (horn() == Horn::None)
        return false;
    silenced_ = true;
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

void AlarmBook::tick(qint64 nowMs) {
    bool anyChange = false;
    if (nowMs >= dayEndMs_ && !history_.isEmpty()) {
        startDayIfDue(nowMs);
        anyChange = true;
    }
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
        silenced_ = false;
        emit newActive(entry);
    }
    if (anyChange)
        emit changed();
}

void AlarmBook::restore(const QList<Entry>& entries) {
    entries_ = entries;
    for (Entry& entry : entries_) {
        entry.toConfirm = entry.active;
        entry.historySerial = 0;
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.sinceMs > b.sinceMs; });
    emit changed();
}

Horn AlarmBook::horn() const {
    return silenced_ ? Horn::None : hornFor(entries_);
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
