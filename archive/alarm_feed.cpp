#include "archive/alarm_feed.h"

#include "alarms/alarm_book.h"
#include "alarms/alarm_texts.h"
#include "archive/archiver.h"
#include "archive/line_protocol.h"

#include <QHash>

#include <memory>

namespace archive {

namespace {

int keyOf(const alarms::Key& key) {
    return key.station * alarms::kKinds + int(key.kind);
}

using States = QHash<int, alarms::State>;

States statesOf(const alarms::AlarmBook& book) {
    States states;
    for (const alarms::Entry& entry : book.entries())
        states.insert(keyOf(entry.key()), entry.state);
    return states;
}

// The lines of what changed since `seen`, which becomes the list as it stands.
QByteArray changes(const Archiver& archiver, const alarms::AlarmBook& book,
                   const settings::StationSettings& stations, qint64 nowMs, States& seen) {
    const auto tags = [&](int station) {
        return StationTags{
            archiver.settings().site, station, alarms::stationName(stations, station), {}};
    };
    QByteArray lines;
    States states;
    for (const alarms::Entry& entry : book.entries()) {
        const int key = keyOf(entry.key());
        states.insert(key, entry.state);
        const auto was = seen.constFind(key);
        if (was == seen.constEnd() || *was != entry.state)
            lines += alarmLine(tags(entry.station), entry.kind, entry.state, true, nowMs,
                               entry.acknowledgedBy);
    }
    for (auto was = seen.cbegin(); was != seen.cend(); ++was) {
        if (!states.contains(was.key()))
            lines += alarmLine(tags(was.key() / alarms::kKinds),
                               alarms::Kind(was.key() % alarms::kKinds), was.value(), false, nowMs);
    }
    seen = std::move(states);
    return lines;
}

} // namespace

void followBook(Archiver& archiver, const alarms::AlarmBook& book,
                const settings::StationSettings& stations, std::function<qint64()> nowMs) {
    auto seen = std::make_shared<States>(statesOf(book));
    QObject::connect(
        &book, &alarms::AlarmBook::changed, &archiver, [&archiver, &book, &stations, nowMs, seen] {
            if (const QByteArray lines = changes(archiver, book, stations, nowMs(), *seen);
                !lines.isEmpty())
                archiver.add(lines);
        });
}

} // namespace archive
