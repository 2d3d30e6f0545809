#pragma once

#include "alarms/alarm.h"

#include <QList>
#include <QObject>

namespace alarms {

// One coming of an alarm, from the poll that found its condition to the one that found it gone:
// a line of the day's history and of the day files.
struct DayRecord {
    quint64 serial = 0; // in the order they came; records read back get theirs at the restart
    int station = 0;    // kUnknownStation for a line of an older file whose station is unknown
    Kind kind = Kind::Preset2;
    QString stationName; // as the day file wrote it; empty: the station's name now
    qint64 cameMs = 0;
    qint64 wentMs = 0; // 0 while still active
    std::optional<double> peak;
    QString unit;
    QString acknowledgedBy;
    qint64 acknowledgedAtMs = 0;

    static constexpr int kUnknownStation = -1;

    // How long it lasted, or has lasted until nowMs while still active.
    qint64 durationMs(qint64 nowMs) const { return (wentMs != 0 ? wentMs : nowMs) - cameMs; }
    friend bool operator==(const DayRecord&, const DayRecord&) = default;
};

// An acknowledgement reaches every coming of the alarm since it was listed that nobody
// acknowledged yet: the records of `key` that came at or after `sinceMs` (to the second, as the
// day files keep times).
struct Acknowledgement {
    Key key;
    qint64 sinceMs = 0;
    QString user;
    qint64 atMs = 0;

    bool reaches(const DayRecord& record) const;
};

// What the horn plays for these entries: the continuous sound while an alta alarm is ATIVO,
// the intermittent one while only média or baixa ones are.
Horn hornFor(const QList<Entry>& entries);

// The alarm list, driven by the conditions the polls find and by the operator. Every input
// carries its own time, so the book never reads the clock. A poll that changes nothing costs a
// scan of the list and allocates nothing.
class AlarmBook : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kShelve30MinMs = 30LL * 60 * 1000;
    static constexpr qint64 kShelve1HourMs = 60LL * 60 * 1000;
    static constexpr qint64 kShelve8HoursMs = 8LL * 60 * 60 * 1000;
    // The day's history holds the newest kMostRecordsHeld records at most: a flag chattering at
    // its threshold all day adds one at every coming. The day files hold them all.
    static constexpr qsizetype kMostRecordsHeld = 2000;

    explicit AlarmBook(QObject* parent = nullptr);

    // How long a condition must stay gone before its alarm returns to normal; 0: at once.
    void setNormalizeDelayMs(qint64 delayMs) { normalizeDelayMs_ = delayMs; }

    // The condition of one alarm, as the latest poll found it. A preset alarm's peak follows
    // `speed` while it is active.
    void setActive(int station, Kind kind, bool active, qint64 nowMs,
                   std::optional<double> speed = std::nullopt, const QString& unit = {});
    // The condition is gone for good (a station no longer polled): no delay.
    void endAtOnce(int station, Kind kind, qint64 nowMs);
    bool isActive(int station, Kind kind) const;
    // Restored active from the file and not yet confirmed or ended by a poll.
    bool awaitingConfirmation(int station, Kind kind) const;

    // ATIVO becomes RECONHECIDO, NORMALIZADO leaves the list; other entries are left as they
    // are. Returns the keys that were acknowledged, each journaled as "ALARME RECONHECIDO".
    QList<Key> acknowledge(const QList<Key>& keys, const QString& user, qint64 nowMs);
    QList<Key> acknowledgeAll(const QString& user, qint64 nowMs);
    // Stops the horn until the next new ATIVO alarm. False, and nothing journaled, when the
    // horn was not sounding.
    bool silence(const QString& user);
    // Hides one alarm from the horn and the pop-up for durationMs (at most 8 h). False when it
    // is not listed.
    bool shelve(const Key& key, qint64 durationMs, const QString& user, qint64 nowMs);
    // Ends the shelving of the keys that are SUPRIMIDO before its time: an alarm still active is
    // ATIVO again, one that came while shelved and went is NORMALIZADO unless it had been
    // acknowledged. Returns the keys unshelved, each journaled as "SUPRESSÃO RETIRADA".
    QList<Key> unshelve(const QList<Key>& keys, const QString& user, qint64 nowMs);
    // Ends the shelving that is due, returns to normal what stayed gone for the delay and
    // starts a new day's history at midnight.
    void tick(qint64 nowMs);

    // The list read back from the file and today's records read back from the day file. An
    // active entry waits for its rule's verdict and its coming goes on in a record of its own,
    // unless the day file shows it ended already.
    void restore(const QList<Entry>& entries, const QList<DayRecord>& todaysRecords);

    // Newest first.
    const QList<Entry>& entries() const { return entries_; }
    const Entry* find(const Key& key) const;
    Horn horn() const;
    // Today's alarms, oldest first (and the ones still active that came before midnight).
    const QList<DayRecord>& dayHistory() const { return history_; }
    // The records of the comings in progress.
    QList<DayRecord> recordsInProgress() const;

signals:
    // After every change of the list or of the horn.
    void changed();
    // An alarm the operator must see: a new entry, or one ATIVO again after its shelving. A
    // latched alarm coming again sounds the horn but is not told here.
    void newActive(const alarms::Entry& entry);
    // A line for the event journal; station 0 is written "-".
    void journal(int station, const QString& event, const QString& detail);

    // The day's history, record by record: one came (at the end), one changed in place (its
    // peak, its acknowledgement), one went (now due in the day file).
    void recordOpened(const alarms::DayRecord& record);
    void recordUpdated(const alarms::DayRecord& record);
    void recordClosed(const alarms::DayRecord& record);
    // The oldest `count` records left the history.
    void recordsDropped(qsizetype count);
    // The history was replaced: at a restart and at midnight.
    void historyReset();
    // Every record it reaches, those in the day files included, is acknowledged.
    void acknowledged(const alarms::Acknowledgement& acknowledgement);

private:
    qsizetype indexOf(const Key& key) const;
    void raise(int station, Kind kind, qint64 nowMs, std::optional<double> speed,
               const QString& unit);
    void goneNow(qsizetype index, qint64 wentMs);
    void cameAgain(Entry& entry, qint64 nowMs);
    void followPeak(Entry& entry, std::optional<double> speed, const QString& unit);
    void openRecord(Entry& entry, qint64 cameMs);
    bool dropOldest();
    DayRecord* recordOf(const Entry& entry);
    void closeRecord(Entry& entry, qint64 nowMs);
    bool startDayIfDue(qint64 nowMs);
    void acknowledgeAt(qsizetype index, const QString& user, qint64 nowMs);
    bool normalizeDue(qint64 nowMs);

    QList<Entry> entries_;
    QList<DayRecord> history_;
    quint64 nextSerial_ = 1;
    qint64 dayEndMs_ = 0; // local midnight after the day the history holds
    qint64 normalizeDelayMs_ = 0;
    HornSilence silence_;
};

} // namespace alarms
