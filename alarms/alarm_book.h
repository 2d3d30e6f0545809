#pragma once

#include "alarms/alarm.h"

#include <QList>
#include <QObject>

namespace alarms {

// One alarm of the day as it came and went, for the day's history and its export.
struct DayRecord {
    quint64 serial = 0;
    int station = 0;
    Kind kind = Kind::Preset2;
    qint64 cameMs = 0;
    qint64 wentMs = 0; // 0 while still active
    std::optional<double> peak;
    QString unit;
    QString acknowledgedBy;
    qint64 acknowledgedAtMs = 0;

    // How long it lasted, or has lasted until nowMs while still active.
    qint64 durationMs(qint64 nowMs) const { return (wentMs != 0 ? wentMs : nowMs) - cameMs; }
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
    // its threshold all day adds one at every coming.
    static constexpr qsizetype kMostRecordsHeld = 2000;

    explicit AlarmBook(QObject* parent = nullptr);

    // The condition of one alarm, as the latest poll found it. A preset alarm's peak follows
    // `speed` while it is active.
    void setActive(int station, Kind kind, bool active, qint64 nowMs,
                   std::optional<double> speed = std::nullopt, const QString& unit = {});
    bool isActive(int station, Kind kind) const;

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
    // Ends the shelving that is due and starts a new day's history at midnight.
    void tick(qint64 nowMs);

    // The entries read back from the file; active ones wait for their first poll.
    void restore(const QList<Entry>& entries);

    // Newest first.
    const QList<Entry>& entries() const { return entries_; }
    const Entry* find(const Key& key) const;
    Horn horn() const;
    // Today's alarms, oldest first (and the ones still active that came before midnight).
    const QList<DayRecord>& dayHistory() const { return history_; }

signals:
    // After every change of the list, of the history or of the horn.
    void changed();
    // An alarm became ATIVO: it came, came again while NORMALIZADO, or its shelving ended.
    void newActive(const alarms::Entry& entry);
    // A line for the event journal; station 0 is written "-".
    void journal(int station, const QString& event, const QString& detail);

private:
    qsizetype indexOf(const Key& key) const;
    void cameAgain(Entry& entry, qint64 nowMs);
    void becameActive(const Entry& entry);
    void followPeak(Entry& entry, std::optional<double> speed, const QString& unit);
    void openRecord(Entry& entry, qint64 nowMs);
    DayRecord* recordOf(const Entry& entry);
    void closeRecord(const Entry& entry, qint64 nowMs);
    void startDayIfDue(qint64 nowMs);
    void acknowledgeAt(qsizetype index, const QString& user, qint64 nowMs);

    QList<Entry> entries_;
    QList<DayRecord> history_;
    quint64 nextSerial_ = 1;
    qint64 dayEndMs_ = 0; // local midnight after the day the history holds
    bool silenced_ = false;
};

} // namespace alarms
