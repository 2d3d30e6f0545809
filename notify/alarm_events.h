#pragma once

#include "alarms/alarm.h"
#include "notify/notice.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace notify {

// Which events are told, and when an alarm left ATIVO is called again.
struct EventRules {
    QList<Event> events{Event::Active, Event::Normalized};
    alarms::Priority lowestPriority = alarms::Priority::Medium;
    qint64 reminderMs = 0; // 0: no reminders
    int mostReminders = 0;
    qint64 escalateMs = 0; // 0: no escalation
};

// What was told of one alarm's coming: the same coming, read again from a list (a restart, a
// reconnection to the broker, a list the station PC publishes again), tells nothing new.
struct ToldAlarm {
    QString site;
    int station = 0;
    alarms::Kind kind = alarms::Kind::Preset2;
    qint64 sinceS = 0; // the coming, to the second as the lists give it, and how often it came
    int repetitions = 0;
    alarms::State state = alarms::State::Active;
    QStringList told;        // "ATIVO", "RECONHECIDO", "SUPRIMIDO@<until ms>", ...
    qint64 activeFromMs = 0; // this program's clock, when it was last seen become ATIVO; 0: not
    int reminders = 0;
    bool escalated = false;
    alarms::Entry entry; // the latest the list showed, for the texts of reminders
    QString stationName;
    friend bool operator==(const ToldAlarm&, const ToldAlarm&) = default;
};

// Turns the alarm lists, as they stand at each change, into the events to tell: a new ATIVO,
// its NORMALIZADO, its acknowledgement, a shelving, and while it stays ATIVO without an
// acknowledgement its reminders and the escalation. Every input carries its own time; it reads
// no clock and no file.
class AlarmEvents {
public:
    explicit AlarmEvents(EventRules rules) : rules_(std::move(rules)) {}

    // The whole list of one station (0: the port) of one site as it stands now.
    QList<Notice> listed(const QString& site, int station, const QString& stationName,
                         const QList<alarms::Entry>& entries, qint64 nowMs);
    // An acknowledgement the list cannot show: a NORMALIZADO alarm leaves the list with it.
    void acknowledgedBy(const QString& site, int station, alarms::Kind kind, const QString& user);
    // The reminders and escalations due at nowMs.
    QList<Notice> due(qint64 nowMs);
    // When the next reminder or escalation is due; 0: none.
    qint64 nextDueMs() const;

    // Whether what must survive a restart changed since the last call.
    bool takeChanged() { return std::exchange(changed_, false); }
    const QList<ToldAlarm>& alarms() const { return alarms_; }
    QJsonArray toJson() const;
    void restore(const QJsonArray& json);

private:
    ToldAlarm* find(const QString& site, int station, alarms::Kind kind);
    Notice notice(const ToldAlarm& alarm, Event event, qint64 nowMs) const;
    void tell(ToldAlarm& alarm, Event event, const QString& tag, qint64 nowMs,
              QList<Notice>& notices);
    qint64 nextReminderMs(const ToldAlarm& alarm) const;
    qint64 escalationMs(const ToldAlarm& alarm) const;

    EventRules rules_;
    QList<ToldAlarm> alarms_;
    // Acknowledgements of alarms that left the list with them, by "<site>|<station>|<kind>".
    QHash<QString, QString> leftAcknowledged_;
    bool changed_ = false;
};

// The list's state word of an entry: "ATIVO", "RECONHECIDO", "NORMALIZADO", "SUPRIMIDO".
QString stateWord(alarms::State state);

} // namespace notify
