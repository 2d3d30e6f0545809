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

} // namespace

void followBook(Archiver& archiver, const alarms::AlarmBook& book,
                const settings::StationSettings& stations, std::function<qint64()> nowMs) {
    auto seen = std::make_shared<States>(statesOf(book));
    QObject::connect(&book, &alarms::AlarmBook::changed, &archiver,
                     [&archiver, &book, &stations, nowMs, seen] {
                         const qint64 now = nowMs();
                         const auto tags = [&](int station) {
                             return StationTags{archiver.settings().site, station,
                                                alarms::stationName(stations, station), {}};
                         };
                         QByteArray lines;
                         States states;
                         for (const alarms::Entry& entry : book.entries()) {
                             const int key = keyOf(entry.key());
                             states.insert(key, entry.state);
                             const auto was = seen->constFind(key);
                             if (was == seen->constEnd() || *was != entry.state)
                                 lines += alarmLine(tags(entry.station), entry.kind, entry.state,
                                                    true, now);
                         }
                         for (auto was = seen->cbegin(); was != seen->cend(); ++was) {
                             if (states.contains(was.key()))
                                 continue;
                             const int station = was.key() / alarms::kKinds;
                             lines += alarmLine(tags(station),
                                                alarms::Kind(was.key() % alarms::kKinds),
                                                was.value(), false, now);
                         }
                         *seen = std::move(states);
                         if (!lines.isEmpty())
                             archiver.add(lines);
                     });
}

} // namespace archive
