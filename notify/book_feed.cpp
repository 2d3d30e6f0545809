#include "notify/book_feed.h"

#include "alarms/alarm_book.h"
#include "alarms/alarm_texts.h"
#include "modbus/stations.h"
#include "notify/notifier.h"

#include <array>

namespace notify {

namespace {

void tellAll(Notifier& notifier, const alarms::AlarmBook& book,
             const settings::StationSettings& stations, const QString& site) {
    std::array<QList<alarms::Entry>, kStations + 1> byStation;
    for (const alarms::Entry& entry : book.entries())
        byStation[entry.station].append(entry);
    for (int station = alarms::kPortStation; station <= kStations; ++station)
        notifier.listed(site, station, alarms::stationName(stations, station), byStation[station]);
}

} // namespace

void followBook(Notifier& notifier, const alarms::AlarmBook& book,
                const settings::StationSettings& stations, const QString& site) {
    QObject::connect(&book, &alarms::AlarmBook::acknowledged, &notifier,
                     [&notifier, site](const alarms::Acknowledgement& acknowledgement) {
                         notifier.acknowledgedBy(site, acknowledgement.key.station,
                                                 acknowledgement.key.kind, acknowledgement.user);
                     });
    QObject::connect(
        &book, &alarms::AlarmBook::changed, &notifier,
        [&notifier, &book, &stations, site] { tellAll(notifier, book, stations, site); });
    tellAll(notifier, book, stations, site);
}

} // namespace notify
