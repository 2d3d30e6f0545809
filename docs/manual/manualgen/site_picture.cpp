#include "site_picture.h"

#include "alarms/alarm.h"
#include "modbus/rtu.h"
#include "publish/payloads.h"
#include "readings/reply.h"
#include "site/site_alarms.h"
#include "site/site_book.h"
#include "site/site_window.h"

#include <QApplication>
#include <QDateTime>
#include <QTableView>

#include <array>

namespace manualgen {

namespace {

struct TileSample {
    const char* name;
    std::uint16_t speed; // tenths
    std::uint16_t direction;
    std::uint16_t preset1;
    std::uint16_t preset2;
    std::uint16_t battery;
};

// Two station PCs of a port: the quays in km/h, the cranes in m/s.
constexpr std::array<TileSample, 8> kQuays{{{"CAIS 1", 182, 1, 400, 600, 388},
                                        {"CAIS 2", 215, 2, 400, 600, 381},
                                        {"CAIS 3", 427, 2, 400, 600, 374},
                                        {"CAIS 4", 198, 3, 400, 600, 392},
                                        {"PÁTIO NORTE", 121, 0, 400, 600, 366},
                                        {"PÁTIO SUL", 134, 15, 400, 600, 370},
                                        {"PORTARIA", 95, 14, 400, 600, 395},
                                        {"ARMAZÉM 3", 143, 1, 400, 600, 377}}};
constexpr std::array<TileSample, 8> kCranes{{{"STS 01", 81, 2, 130, 200, 384},
                                         {"STS 02", 88, 2, 130, 200, 379},
                                         {"STS 03", 142, 3, 130, 200, 362},
                                         {"STS 04", 79, 2, 130, 200, 390},
                                         {"RTG 11", 66, 1, 130, 200, 371},
                                         {"RTG 12", 70, 1, 130, 200, 368},
                                         {"RTG 13", 0, 0, 130, 200, 0},
                                         {"MHC 1", 92, 4, 130, 200, 385}}};

QByteArray stateOf(int station, const TileSample& sample, int unitCode, const QDateTime& time) {
    using namespace modbus::status;
    modbus::StationValues values{
        .speed = sample.speed,
        .battery = sample.battery,
        .direction = sample.direction,
        .preset1 = sample.preset1,
        .preset2 = sample.preset2,
        .status = std::uint8_t(unitCode | kDirectionValid |
                               (sample.speed >= sample.preset1 ? kPreset1Alarm : 0)),
    };
    return publish::stateJson({station, QString::fromUtf8(sample.name), QString::number(station)},
                              values, readings::readingOf(values, station), time);
}

alarms::Entry entry(int station, alarms::Kind kind, alarms::State state, qint64 sinceMs) {
    alarms::Entry alarm;
    alarm.station = station;
    alarm.kind = kind;
    alarm.state = state;
    alarm.sinceMs = sinceMs;
    return alarm;
}

} // namespace

void sitePictures(Pictures& pictures) {
    const QString quays = QStringLiteral("porto/cais");
    const QString cranes = QStringLiteral("porto/guindastes");
    const QDateTime now(QDate(2026, 3, 5), QTime(14, 5, 0));
    const qint64 nowMs = now.toMSecsSinceEpoch();
    site::SiteBook book({quays, cranes});
    book.setBrokerConnected(true, nowMs);
    site::SiteWindow window(book, QStringLiteral("central.porto:8883"), [nowMs] { return nowMs; });
    // Each station PC says online before its states, as on connecting.
    book.message(QStringLiteral("%1/status").arg(quays), "online");
    book.message(QStringLiteral("%1/status").arg(cranes), "online");
    for (int station = 1; station <= kStations; ++station) {
        const QDateTime read = now.addSecs(-(station % 3));
        book.message(QStringLiteral("%1/%2/availability").arg(quays).arg(station), "online");
        book.message(QStringLiteral("%1/%2/state").arg(quays).arg(station),
                     stateOf(station, kQuays.at(station - 1), 1, read));
        book.message(QStringLiteral("%1/%2/state").arg(cranes).arg(station),
                     stateOf(station, kCranes.at(station - 1), 0,
                             station == 7 ? now.addSecs(-14 * 60) : read));
        book.message(QStringLiteral("%1/%2/availability").arg(cranes).arg(station),
                     station == 7 ? "offline" : "online");
    }
    using alarms::Kind;
    using alarms::State;
    alarms::Entry quay = entry(3, Kind::Preset1, State::Active, nowMs - 3 * 60'000);
    quay.peak = 44.9;
    quay.unit = QStringLiteral("km/h");
    book.message(QStringLiteral("%1/3/alarms").arg(quays),
                 publish::alarmsPayload(3, QStringLiteral("CAIS 3"), {quay}));
    alarms::Entry crane = entry(3, Kind::Preset1, State::Acknowledged, nowMs - 6 * 60'000);
    crane.peak = 15.3;
    crane.unit = QStringLiteral("m/s");
    crane.acknowledgedBy = QStringLiteral("supervisor (remoto)");
    crane.acknowledgedAtMs = nowMs - 5 * 60'000;
    book.message(QStringLiteral("%1/3/alarms").arg(cranes),
                 publish::alarmsPayload(3, QStringLiteral("STS 03"), {crane}));
    book.message(
        QStringLiteral("%1/7/alarms").arg(cranes),
        publish::alarmsPayload(7, QStringLiteral("RTG 13"),
                               {entry(7, Kind::NoAnswer, State::Active, nowMs - 14 * 60'000)}));
    window.resize(1400, 820);
    window.show();
    settle();
    window.refresh();
    pictures.insert(QStringLiteral("visao-do-local.png"), grabbed(&window));

    site::SiteAlarmWindow alarmsWindow(book);
    alarmsWindow.resize(1100, 240);
    alarmsWindow.show();
    alarmsWindow.table()->selectRow(1);
    pictures.insert(QStringLiteral("alarmes-do-local.png"), grabbed(&alarmsWindow));
    alarmsWindow.hide();
    window.hide();
}

} // namespace manualgen
