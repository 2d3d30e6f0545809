#include "history_picture.h"

#include "site/history_figures.h"
#include "site/history_site_window.h"
#include "site/site_archive_client.h"

#include <QComboBox>
#include <QDateTime>
#include <QListWidget>

#include <cmath>

namespace manualgen {

namespace {

constexpr qint64 kStepMs = 15 * 60'000;

// A week of three stations: a windy afternoon each day, a gust over preset 2 on the fourth,
// and the second quay silent for a morning.
site::HistoryData sampleWeek(const QDate& last) {
    site::HistoryData data;
    data.period = {last.addDays(-6), last};
    data.stepMs = kStepMs;
    data.stations = {
        {{QStringLiteral("porto/cais"), 1}, QStringLiteral("CAIS 1"), QStringLiteral("km/h")},
        {{QStringLiteral("porto/cais"), 2}, QStringLiteral("CAIS 2"), QStringLiteral("km/h")},
        {{QStringLiteral("porto/guindastes"), 3},
         QStringLiteral("STS 03"),
         QStringLiteral("km/h")}};
    data.rows = site::emptyRows(data.stations, data.period);
    for (int s = 0; s < data.stations.size(); ++s) {
        const site::StationKey key = data.stations[s].key;
        QList<QPointF> points;
        QList<QPointF> preset1;
        QList<QPointF> preset2;
        const qint64 fromMs = site::startMs(data.period.first);
        for (qint64 ms = fromMs + kStepMs; ms <= site::startMs(last.addDays(1)); ms += kStepMs) {
            const qint64 day = (ms - fromMs) / 86'400'000;
            const double hour = double((ms - fromMs) % 86'400'000) / 3'600'000.0;
            if (s == 1 && day == 2 && hour > 6 && hour < 11)
                continue;
            double speed = 14 + 4 * s + 12 * std::sin((hour - 9) / 24 * 2 * M_PI) +
                           3 * std::sin(double(ms / kStepMs) * 1.7 + s);
            if (day == 3 && hour > 14 && hour < 16)
                speed += 30 - 4 * s;
            points << QPointF(double(ms), std::max(0.0, speed));
            preset1 << QPointF(double(ms), 40);
            preset2 << QPointF(double(ms), 60);
        }
        data.speed[key] = site::runsOf(points, kStepMs);
        data.preset1[key] = {preset1};
        data.preset2[key] = {preset2};
        for (site::DayRow& row : data.rows) {
            if (row.station != key)
                continue;
            const qint64 dayMs = site::startMs(row.day);
            double sum = 0;
            int count = 0;
            for (const QPointF& point : points) {
                if (point.x() <= double(dayMs) || point.x() > double(dayMs + 86'400'000))
                    continue;
                if (!row.max || point.y() > *row.max) {
                    row.max = point.y();
                    row.maxAtMs = qint64(point.x());
                }
                sum += point.y();
                ++count;
                row.minutesAtOrAbovePreset1 += point.y() >= 40 ? 15 : 0;
                row.minutesAbovePreset2 += point.y() > 60 ? 15 : 0;
            }
            row.mean = count ? std::optional<double>(sum / count) : std::nullopt;
            row.answeredShare = count / 96.0 * 0.998;
            row.alarms = row.minutesAtOrAbovePreset1 > 0 ? 1 : 0;
        }
    }
    return data;
}

} // namespace

void historyPicture(Pictures& pictures) {
    // Never asked: the stations and the week are given to the window.
    site::ArchiveClient client({QStringLiteral("http://servidor:8428"), {}, {}, {}});
    const QDate last(2026, 3, 30);
    site::SiteHistoryWindow window(
        client, [last] { return QDateTime(last, QTime(18, 0)).toMSecsSinceEpoch(); });
    const site::HistoryData week = sampleWeek(last);
    window.setStations(week.stations);
    for (int row = 0; row < window.stationList()->count(); ++row)
        window.stationList()->item(row)->setCheckState(Qt::Checked);
    window.periodBox()->setCurrentText(QStringLiteral("7 dias"));
    window.presetsBox()->setChecked(true);
    window.resize(1300, 820);
    window.show();
    settle();
    window.showData(week);
    pictures.insert(QStringLiteral("historico-do-local.png"), grabbed(&window));
    window.hide();
}

} // namespace manualgen
