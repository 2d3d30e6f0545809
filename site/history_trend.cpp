#include "site/history_trend.h"

#include "toolkit/numbers.h"

#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <array>

namespace site {

QColor stationColour(int index) {
    static const std::array<QColor, 8> colours{
        QColor(31, 119, 180),  QColor(214, 39, 40), QColor(44, 160, 44),   QColor(255, 127, 14),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207)};
    return colours[std::size_t(index) % colours.size()];
}

HistoryTrend::HistoryTrend(QWidget* parent) : history::TimeChartView(parent) {
    setObjectName(QStringLiteral("TendenciaLocal"));
    setAccessibleName(QStringLiteral("Tendência das estações"));
    chart()->legend()->setAlignment(Qt::AlignBottom);
    value_ = new QValueAxis;
    value_->setLabelFormat(QStringLiteral("%.0f"));
    value_->setTitleText(QStringLiteral("Velocidade"));
    chart()->addAxis(value_, Qt::AlignLeft);
}

void HistoryTrend::show(const HistoryData& data, bool presets) {
    chart()->removeAllSeries();
    runs_.clear();
    double highest = 0;
    QStringList units;
    QStringList described;
    for (int i = 0; i < data.stations.size(); ++i) {
        const ArchiveStation& station = data.stations[i];
        if (!units.contains(station.unit))
            units << station.unit;
        // Only the speed lines are named in the legend: a preset's level is its station's colour.
        const auto draw = [&](const Runs& runs, const QPen& pen, const QString& name, bool named) {
            bool first = named;
            for (const QList<QPointF>& run : runs) {
                auto* series = new QLineSeries;
                series->setName(name);
                series->replace(run);
                series->setPointsVisible(run.size() == 1);
                chart()->addSeries(series);
                series->attachAxis(timeAxis());
                series->attachAxis(value_);
                series->setPen(pen);
                // One entry in the legend for the whole line.
                chart()->legend()->markers(series).front()->setVisible(first);
                first = false;
                for (const QPointF& point : run)
                    highest = std::max(highest, point.y());
            }
        };
        const QColor colour = stationColour(i);
        const auto found = data.speed.find(station.key);
        const Runs speed = found == data.speed.end() ? Runs() : found->second;
        draw(speed, QPen(colour, 1.5), station.label(), true);
        runs_[station.label()] = int(speed.size());
        described << QStringLiteral("%1: %2").arg(
            station.label(), speed.isEmpty()     ? QStringLiteral("sem leituras")
                             : speed.size() == 1 ? QStringLiteral("1 trecho")
                                                 : QStringLiteral("%1 trechos").arg(speed.size()));
        if (presets) {
            const auto level = [&](const std::map<StationKey, Runs>& lines, const QString& name) {
                const auto line = lines.find(station.key);
                if (line != lines.end())
                    draw(line->second, QPen(colour.lighter(130), 1, Qt::DashLine),
                         QStringLiteral("%1 %2").arg(name, station.label()), false);
            };
            level(data.preset1, QStringLiteral("Preset 1"));
            level(data.preset2, QStringLiteral("Preset 2"));
        }
    }
    units.removeAll(QString());
    value_->setTitleText(
        units.size() == 1 ? QStringLiteral("Velocidade (%1)").arg(units.front())
        : units.isEmpty()
            ? QStringLiteral("Velocidade")
            : QStringLiteral("Velocidade (%1)").arg(units.join(QStringLiteral(", "))));
    value_->setRange(0, std::max(1.0, highest * 1.08));
    value_->applyNiceNumbers();
    const QString title = QStringLiteral("%1 a %2").arg(data.period.first.toString(u"dd/MM/yyyy"),
                                                        data.period.last.toString(u"dd/MM/yyyy"));
    chart()->setTitle(title);
    setAccessibleDescription(title + QStringLiteral(": ") + described.join(QStringLiteral("; ")));
    setWholeSpan(startMs(data.period.first), startMs(data.period.last.addDays(1)), false);
}

int HistoryTrend::runsShown(const QString& label) const {
    const auto found = runs_.find(label);
    return found == runs_.end() ? 0 : found->second;
}

} // namespace site
