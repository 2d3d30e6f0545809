#pragma once

#include "alarms/alarm_book.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;

namespace alarms {

// Keeps the alarm book's list in its file: read back once at start, written whole after its
// changes. What the operator did and what comes or leaves the list (an acknowledgement, a
// shelving, a new alarm, one gone) is on disk before anyone sees it. A listed alarm that comes
// again is written at once too, but not twice within kMostDeferMs: a flag chattering at its
// threshold does not rewrite the file at every poll. What else the conditions change (an alarm
// gone NORMALIZADO, whose coming the day file holds from then; peaks) follows within
// kMostDeferMs, and at a stop. A file that cannot be written is told once through the standard
// error report, after the tick that changed the list, and then on standard error only, until a
// write succeeds again.
class AlarmStore : public QObject {
    Q_OBJECT

public:
    static constexpr int kMostDeferMs = 10'000;

    AlarmStore(AlarmBook& book, QString path, QObject* parent = nullptr);
    // Writes what waits.
    ~AlarmStore() override;

    // The list the file holds, with today's records from the day file, into the book; the
    // message to show once when the file was there but could not be used (the program then
    // starts with an empty list).
    QString restore(const QList<DayRecord>& todaysRecords);
    // Writes what waits now, as at a stop.
    void flush();
    // For tests that cannot wait ten seconds.
    void setMostDeferMs(int ms) { mostDeferMs_ = ms; }

private:
    void bookChanged();
    void write();

    AlarmBook& book_;
    QString path_;
    QList<Entry> written_;
    QElapsedTimer sinceComing_; // since the last write for an alarm that came again
    QTimer* deferred_ = nullptr;
    int mostDeferMs_ = kMostDeferMs;
    bool failing_ = false;
};

} // namespace alarms
