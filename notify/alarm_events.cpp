#include "notify/alarm_events.h"

#include <QJsonObject>

#include <algorithm>

namespace notify {

namespace {

QString keyText(const QString& site, int station, alarms::Kind kind) {
    return QStringLiteral("%1|%2|%3").arg(site).arg(station).arg(alarms::kindText(kind));
}

Event eventOf(alarms::State state) {
    switch (state) {
    case alarms::State::Active:
        return Event::Active;
    case alarms::State::Acknowledged:
        return Event::Acknowledged;
    case alarms::State::Normalized:
        return Event::Normalized;
    case alarms::State::Shelved:
        break;
    }
    return Event::Shelved;
}

const QString kLeftList = QStringLiteral("NORMAL");

} // namespace

QString stateWord(alarms::State state) {
    return eventText(eventOf(state));
}

ToldAlarm* AlarmEvents::find(const QString& site, int station, alarms::Kind kind) {
    for (ToldAlarm& alarm : alarms_) {
        if (alarm.station == station && alarm.kind == kind && alarm.site == site)
            return &alarm;
    }
    return nullptr;
}

Notice AlarmEvents::notice(const ToldAlarm& alarm, Event event, qint64 nowMs) const {
    Notice n;
    n.event = event;
    n.kind = alarm.kind;
    n.state = stateWord(alarm.state);
    n.station = alarm.station;
    n.stationName = alarm.station == alarms::kPortStation ? QStringLiteral("-") : alarm.stationName;
    n.site = alarm.site;
    n.sinceMs = alarm.entry.sinceMs;
    n.peak = alarm.entry.peak;
    n.unit = alarm.entry.unit;
    n.acknowledgedBy = alarm.entry.acknowledgedBy;
    n.shelvedUntilMs = alarm.state == alarms::State::Shelved ? alarm.entry.shelvedUntilMs : 0;
    n.atMs = nowMs;
    n.id = QStringLiteral("%1|%2|%3|%4")
               .arg(keyText(alarm.site, alarm.station, alarm.kind))
               .arg(alarm.sinceS)
               .arg(alarm.repetitions)
               .arg(eventText(event));
    return n;
}

void AlarmEvents::tell(ToldAlarm& alarm, Event event, const QString& tag, qint64 nowMs,
                       QList<Notice>& notices) {
    if (alarm.told.contains(tag))
        return;
    alarm.told << tag;
    changed_ = true;
    if (!rules_.events.contains(event))
        return;
    Notice n = notice(alarm, event, nowMs);
    if (event == Event::Shelved)
        n.id += u'@' + QString::number(alarm.entry.shelvedUntilMs);
    notices << n;
}

QList<Notice> AlarmEvents::listed(const QString& site, int station, const QString& stationName,
                                  const QList<alarms::Entry>& entries, qint64 nowMs) {
    QList<Notice> notices;
    for (const alarms::Entry& entry : entries) {
        if (int(alarms::priorityOf(entry.kind)) > int(rules_.lowestPriority))
            continue;
        ToldAlarm* alarm = find(site, station, entry.kind);
        if (!alarm) {
            ToldAlarm fresh;
            fresh.site = site;
            fresh.station = station;
            fresh.kind = entry.kind;
            fresh.sinceS = -1;
            alarms_.append(fresh);
            alarm = &alarms_.last();
        }
        const qint64 sinceS = entry.sinceMs / 1000;
        if (alarm->sinceS != sinceS || alarm->repetitions != entry.repetitions) {
            // A new coming: everything is to tell again.
            alarm->sinceS = sinceS;
            alarm->repetitions = entry.repetitions;
            alarm->told.clear();
            alarm->activeFromMs = 0;
            alarm->reminders = 0;
            alarm->escalated = false;
            changed_ = true;
        } else if (alarm->state == alarms::State::Shelved && entry.state == alarms::State::Active) {
            // Its shelving over and still there: as new to whoever must act on it.
            alarm->told.removeAll(eventText(Event::Active));
            alarm->reminders = 0;
            alarm->escalated = false;
        }
        if (alarm->state != entry.state)
            changed_ = true;
        alarm->state = entry.state;
        alarm->entry = entry;
        alarm->stationName = stationName;
        const Event event = eventOf(entry.state);
        const QString tag = event == Event::Shelved
                                ? QStringLiteral("SUPRIMIDO@%1").arg(entry.shelvedUntilMs)
                                : eventText(event);
        tell(*alarm, event, tag, nowMs, notices);
        const qint64 activeFrom = entry.state == alarms::State::Active
                                      ? (alarm->activeFromMs != 0 ? alarm->activeFromMs : nowMs)
                                      : 0;
        if (activeFrom != alarm->activeFromMs) {
            alarm->activeFromMs = activeFrom;
            changed_ = true;
        }
    }
    // Those that left the list: an acknowledged one went, a latched one was acknowledged.
    for (qsizetype i = alarms_.size() - 1; i >= 0; --i) {
        ToldAlarm& alarm = alarms_[i];
        if (alarm.station != station || alarm.site != site)
            continue;
        if (std::any_of(entries.begin(), entries.end(),
                        [&alarm](const alarms::Entry& e) { return e.kind == alarm.kind; }))
            continue;
        const QString key = keyText(site, station, alarm.kind);
        const QString user = leftAcknowledged_.take(key);
        std::optional<Event> event;
        if (alarm.state == alarms::State::Acknowledged)
            event = Event::Normalized;
        else if (alarm.state == alarms::State::Normalized)
            event = Event::Acknowledged;
        if (event && !alarm.told.contains(eventText(*event)) && rules_.events.contains(*event)) {
            Notice n = notice(alarm, *event, nowMs);
            n.state = kLeftList;
            if (!user.isEmpty())
                n.acknowledgedBy = user;
            notices << n;
        }
        alarms_.removeAt(i);
        changed_ = true;
    }
    return notices;
}

void AlarmEvents::acknowledgedBy(const QString& site, int station, alarms::Kind kind,
                                 const QString& user) {
    leftAcknowledged_.insert(keyText(site, station, kind), user);
}

qint64 AlarmEvents::nextReminderMs(const ToldAlarm& alarm) const {
    if (alarm.activeFromMs == 0 || rules_.reminderMs <= 0 ||
        alarm.reminders >= rules_.mostReminders)
        return 0;
    return alarm.activeFromMs + (alarm.reminders + 1) * rules_.reminderMs;
}

qint64 AlarmEvents::escalationMs(const ToldAlarm& alarm) const {
    if (alarm.activeFromMs == 0 || rules_.escalateMs <= 0 || alarm.escalated)
        return 0;
    return alarm.activeFromMs + rules_.escalateMs;
}

QList<Notice> AlarmEvents::due(qint64 nowMs) {
    QList<Notice> notices;
    for (ToldAlarm& alarm : alarms_) {
        if (const qint64 at = nextReminderMs(alarm); at != 0 && nowMs >= at) {
            // After a long stop, one reminder for all that fell due, numbered as the last.
            const qint64 fallen = (nowMs - alarm.activeFromMs) / rules_.reminderMs;
            alarm.reminders = int(std::min<qint64>(fallen, rules_.mostReminders));
            Notice n = notice(alarm, Event::Reminder, nowMs);
            n.reminder = alarm.reminders;
            n.id += QStringLiteral("|%1").arg(alarm.reminders);
            notices << n;
            changed_ = true;
        }
        if (const qint64 at = escalationMs(alarm); at != 0 && nowMs >= at) {
            alarm.escalated = true;
            Notice n = notice(alarm, Event::Escalation, nowMs);
            n.minutes = int(rules_.escalateMs / 60'000);
            notices << n;
            changed_ = true;
        }
    }
    return notices;
}

qint64 AlarmEvents::nextDueMs() const {
    qint64 next = 0;
    for (const ToldAlarm& alarm : alarms_) {
        for (const qint64 at : {nextReminderMs(alarm), escalationMs(alarm)}) {
            if (at != 0 && (next == 0 || at < next))
                next = at;
        }
    }
    return next;
}

QJsonArray AlarmEvents::toJson() const {
    QJsonArray list;
    for (const ToldAlarm& a : alarms_) {
        QJsonObject json{
            {QStringLiteral("site"), a.site},
            {QStringLiteral("station"), a.station},
            {QStringLiteral("alarm"), alarms::kindText(a.kind)},
            {QStringLiteral("since_s"), double(a.sinceS)},
            {QStringLiteral("repetitions"), a.repetitions},
            {QStringLiteral("state"), stateWord(a.state)},
            {QStringLiteral("told"), QJsonArray::fromStringList(a.told)},
            {QStringLiteral("active_from_ms"), double(a.activeFromMs)},
            {QStringLiteral("reminders"), a.reminders},
            {QStringLiteral("escalated"), a.escalated},
            {QStringLiteral("name"), a.stationName},
            {QStringLiteral("since_ms"), double(a.entry.sinceMs)},
            {QStringLiteral("unit"), a.entry.unit},
            {QStringLiteral("acknowledged_by"), a.entry.acknowledgedBy},
        };
        if (a.entry.peak)
            json.insert(QStringLiteral("peak"), *a.entry.peak);
        list.append(json);
    }
    return list;
}

void AlarmEvents::restore(const QJsonArray& json) {
    alarms_.clear();
    for (const QJsonValue& value : json) {
        const QJsonObject o = value.toObject();
        const std::optional<alarms::Kind> kind = alarms::kindFromText(o.value(u"alarm").toString());
        const std::optional<Event> state = eventFromText(o.value(u"state").toString());
        if (!kind || !state || int(*state) > int(Event::Shelved))
            continue;
        ToldAlarm a;
        a.site = o.value(u"site").toString();
        a.station = o.value(u"station").toInt();
        a.kind = *kind;
        a.sinceS = qint64(o.value(u"since_s").toDouble());
        a.repetitions = o.value(u"repetitions").toInt();
        const alarms::State states[] = {alarms::State::Active, alarms::State::Normalized,
                                        alarms::State::Acknowledged, alarms::State::Shelved};
        a.state = states[int(*state)];
        for (const QJsonValue& told : o.value(u"told").toArray())
            a.told << told.toString();
        a.activeFromMs = qint64(o.value(u"active_from_ms").toDouble());
        a.reminders = o.value(u"reminders").toInt();
        a.escalated = o.value(u"escalated").toBool();
        a.stationName = o.value(u"name").toString();
        a.entry.station = a.station;
        a.entry.kind = a.kind;
        a.entry.state = a.state;
        a.entry.sinceMs = qint64(o.value(u"since_ms").toDouble());
        a.entry.repetitions = a.repetitions;
        if (o.value(u"peak").isDouble())
            a.entry.peak = o.value(u"peak").toDouble();
        a.entry.unit = o.value(u"unit").toString();
        a.entry.acknowledgedBy = o.value(u"acknowledged_by").toString();
        alarms_.append(a);
    }
}

} // namespace notify
