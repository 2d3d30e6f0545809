#include "site/history_load.h"

#include "site/site_archive_client.h"

namespace site {

namespace {

constexpr qint64 kDayMs = 86'400'000;
// A figure read once a minute over the days asks the database for a point a minute, and it
// refuses more than 30000 points a series (-search.maxPointsPerTimeseries): days go in parts.
constexpr int kMostDaysAsked = 16;

} // namespace

HistoryLoad::HistoryLoad(ArchiveClient& client, QObject* parent)
    : QObject(parent), client_(client) {}

bool HistoryLoad::take(int generation, const ArchiveAnswer& answer) {
    if (generation != generation_ || due_ == 0)
        return false;
    if (!answer.error.isEmpty() && data_.error.isEmpty())
        data_.error = answer.error;
    return data_.error.isEmpty();
}

void HistoryLoad::start(const HistoryRequest& request) {
    const int generation = ++generation_;
    data_ = HistoryData();
    data_.period = request.period;
    data_.stations = request.stations;
    data_.rows = emptyRows(request.stations, request.period);
    const QString selector = selectorOf(request.stations);
    const qint64 fromMs = startMs(request.period.first);
    const qint64 toMs = startMs(request.period.last.addDays(1));
    const auto answered = [this, generation](auto&& use) {
        return [this, generation, use](const ArchiveAnswer& answer) {
            if (take(generation, answer))
                use(answer);
            if (generation == generation_ && --due_ == 0)
                emit loaded(data_);
        };
    };
    const int parts = (request.period.days() + kMostDaysAsked - 1) / kMostDaysAsked;
    due_ = kDayFigures * parts + 1 + (request.presets ? 2 : 0) + (request.alarmList ? 1 : 0);
    // Each day's figures at the day's end, over the day before.
    for (int part = 0; part < parts; ++part) {
        const QDate first = request.period.first.addDays(part * kMostDaysAsked);
        const QDate last = std::min(first.addDays(kMostDaysAsked - 1), request.period.last);
        for (int figure = 0; figure < kDayFigures; ++figure)
            client_.queryRange(dayExpression(DayFigure(figure), selector),
                               startMs(first.addDays(1)), startMs(last.addDays(1)), kDayMs,
                               answered([this, figure](const ArchiveAnswer& answer) {
                                   addFigure(data_.rows, DayFigure(figure), answer);
                               }));
    }
    // The trend ends now on a day still going: a step later there is nothing yet.
    const qint64 trendToMs = std::min(toMs, std::max(fromMs, request.nowMs));
    data_.stepMs = trendStepMs(toMs - fromMs, request.trendPoints);
    const auto trend = [&](const QString& metric, std::map<StationKey, Runs> HistoryData::*lines) {
        client_.queryRange(trendExpression(metric, selector, data_.stepMs), fromMs + data_.stepMs,
                           std::max(trendToMs, fromMs + data_.stepMs), data_.stepMs,
                           answered([this, lines](const ArchiveAnswer& answer) {
                               for (const ArchiveSeries& series : answer.series) {
                                   if (const auto key = chosenKey(series, data_.stations))
                                       (data_.*lines)[*key] = runsOf(series.points, data_.stepMs);
                               }
                           }));
    };
    trend(QStringLiteral("anemometro_velocidade"), &HistoryData::speed);
    if (request.presets) {
        trend(QStringLiteral("anemometro_preset1"), &HistoryData::preset1);
        trend(QStringLiteral("anemometro_preset2"), &HistoryData::preset2);
    }
    if (request.alarmList)
        client_.query(alarmExpression(selector, toMs - fromMs), toMs,
                      answered([this](const ArchiveAnswer& answer) {
                          data_.alarms = alarmEventsOf(answer, data_.stations);
                      }));
}

} // namespace site
