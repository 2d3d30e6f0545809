#include "site/history_trend.h"

#include <QWidget>

#include <array>

namespace site {

QColor stationColour(int index) {
    static const std::array<QColor, 8> colours{
        QColor(31, 119, 180),  QColor(214, 39, 40), QColor(44, 160, 44),   QColor(255, 127, 14),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207)};
    return colours[std::size_t(index) % colours.size()];
}

HistoryTrend::HistoryTrend() : chart_(history::chartViews().lines(nullptr)) {
    setParent(chart_->widget());
    chart_->widget()->setObjectName(QStringLiteral("TendenciaLocal"));
    chart_->widget()->setAccessibleName(QStringLiteral("Tendência das estações"));
}

void HistoryTrend::show(const HistoryData& data, bool presets) {
    history::LinesPicture picture;
    runs_.clear();
    QStringList units;
    QStringList described;
    for (int i = 0; i < data.stations.size(); ++i) {
        const ArchiveStation& station = data.stations[i];
        if (!units.contains(station.unit))
            units << station.unit;
        // Only the speed lines are named in the legend: a preset's level is its station's colour.
        const QColor colour = stationColour(i);
        const auto found = data.speed.find(station.key);
        const Runs speed = found == data.speed.end() ? Runs() : found->second;
        picture.lines.append({station.label(), speed, QPen(colour, 1.5), true});
        runs_[station.label()] = int(speed.size());
        described << QStringLiteral("%1: %2").arg(
            station.label(), speed.isEmpty()     ? QStringLiteral("sem leituras")
                             : speed.size() == 1 ? QStringLiteral("1 trecho")
                                                 : QStringLiteral("%1 trechos").arg(speed.size()));
        if (presets) {
            const auto level = [&](const std::map<StationKey, Runs>& lines, const QString& name) {
                const auto line = lines.find(station.key);
                if (line != lines.end())
                    picture.lines.append({QStringLiteral("%1 %2").arg(name, station.label()),
                                          line->second, QPen(colour.lighter(130), 1, Qt::DashLine),
                                          false});
            };
            level(data.preset1, QStringLiteral("Preset 1"));
            level(data.preset2, QStringLiteral("Preset 2"));
        }
    }
    units.removeAll(QString());
    picture.valueTitle =
        units.size() == 1 ? QStringLiteral("Velocidade (%1)").arg(units.front())
        : units.isEmpty()
            ? QStringLiteral("Velocidade")
            : QStringLiteral("Velocidade (%1)").arg(units.join(QStringLiteral(", ")));
    picture.title = QStringLiteral("%1 a %2").arg(data.period.first.toString(u"dd/MM/yyyy"),
                                                  data.period.last.toString(u"dd/MM/yyyy"));
    picture.fromMs = startMs(data.period.first);
    picture.toMs = startMs(data.period.last.addDays(1));
    chart_->setPicture(picture);
    widget()->setAccessibleDescription(picture.title + QStringLiteral(": ") +
                                       described.join(QStringLiteral("; ")));
}

int HistoryTrend::runsShown(const QString& label) const {
    const auto found = runs_.find(label);
    return found == runs_.end() ? 0 : found->second;
}

} // namespace site
