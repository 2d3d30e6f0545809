#include "alarms/alarm_store.h"

#include "alarms/alarm_file.h"
#include "toolkit/failure.h"
#include "toolkit/messages.h"

#include <QTimer>

#include <algorithm>

namespace alarms {

namespace {

bool sameOnFile(const Entry& a, const Entry& b) {
    return a.key() == b.key() && a.state == b.state && a.active == b.active &&
           a.sinceMs == b.sinceMs && a.peak == b.peak && a.unit == b.unit &&
           a.acknowledgedBy == b.acknowledgedBy && a.acknowledgedAtMs == b.acknowledgedAtMs &&
           a.shelvedUntilMs == b.shelvedUntilMs && a.repetitions == b.repetitions &&
           a.occurrenceMs == b.occurrenceMs && a.occurrencePeak == b.occurrencePeak;
}

const Entry* beforeOf(const Entry& entry, const QList<Entry>& written) {
    const auto before = std::find_if(written.begin(), written.end(),
                                     [&](const Entry& w) { return w.key() == entry.key(); });
    return before == written.end() ? nullptr : &*before;
}

// What the operator did, or an alarm that came or left the list.
bool operatorOrListChanged(const QList<Entry>& now, const QList<Entry>& written) {
    if (now.size() != written.size())
        return true;
    const auto operatorsState = [](State state) {
        return state == State::Acknowledged || state == State::Shelved;
    };
    for (const Entry& entry : now) {
        const Entry* before = beforeOf(entry, written);
        if (!before || entry.acknowledgedBy != before->acknowledgedBy ||
            entry.acknowledgedAtMs != before->acknowledgedAtMs ||
            entry.shelvedUntilMs != before->shelvedUntilMs ||
            (entry.state != before->state &&
             (operatorsState(entry.state) || operatorsState(before->state))))
            return true;
    }
    return false;
}

// An alarm listed already came again. Its going needs no hurry: the day file has it from then.
bool cameAgain(const QList<Entry>& now, const QList<Entry>& written) {
    return std::any_of(now.begin(), now.end(), [&](const Entry& entry) {
        const Entry* before = beforeOf(entry, written);
        return before && (entry.repetitions != before->repetitions ||
                          entry.occurrenceMs != before->occurrenceMs);
    });
}

} // namespace

AlarmStore::AlarmStore(AlarmBook& book, QString path, QObject* parent)
    : QObject(parent), book_(book), path_(std::move(path)), deferred_(new QTimer(this)) {
    deferred_->setSingleShot(true);
    connect(deferred_, &QTimer::timeout, this, &AlarmStore::write);
    connect(&book_, &AlarmBook::changed, this, &AlarmStore::bookChanged);
}

AlarmStore::~AlarmStore() {
    flush();
}

QString AlarmStore::restore(const QList<DayRecord>& todaysRecords) {
    AlarmFileRead read = readAlarmFile(path_);
    book_.restore(read.error.isEmpty() ? read.entries : QList<Entry>{}, todaysRecords);
    if (read.error.isEmpty())
        written_ = book_.entries();
    return read.error;
}

void AlarmStore::flush() {
    if (deferred_->isActive() || failing_)
        write();
}

void AlarmStore::bookChanged() {
    const QList<Entry>& entries = book_.entries();
    if (std::equal(entries.begin(), entries.end(), written_.begin(), written_.end(), sameOnFile))
        return;
    if (operatorOrListChanged(entries, written_))
        return write();
    if (cameAgain(entries, written_)) {
        if (!sinceComing_.isValid() || sinceComing_.hasExpired(mostDeferMs_)) {
            sinceComing_.start();
            return write();
        }
        const qint64 dueMs = mostDeferMs_ - sinceComing_.elapsed();
        if (!deferred_->isActive() || deferred_->remainingTime() > dueMs)
            deferred_->start(int(std::max<qint64>(dueMs, 0)));
        return;
    }
    if (!deferred_->isActive())
        deferred_->start(mostDeferMs_);
}

void AlarmStore::write() {
    deferred_->stop();
    try {
        writeAlarmFile(path_, book_.entries());
        written_ = book_.entries();
        failing_ = false;
    } catch (const toolkit::Failure& failure) {
        if (std::exchange(failing_, true)) {
            toolkit::reportToStandardError(failure.text(), toolkit::Severity::Error);
            return;
        }
        // After the tick: a box opened here would run its loop inside the poll.
        QTimer::singleShot(0, this, [text = failure.text()] { toolkit::reportError(text); });
    }
}

} // namespace alarms
