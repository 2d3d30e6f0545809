#include "site/history_figures.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace site {

namespace {

// Each value as a regular expression matching it alone, inside a quoted PromQL string.
QString alternatives(QStringList values) {
    values.removeDuplicates();
    static const QString special = QStringLiteral("\\.+*?()|[]{}^$");
    for (QString& value : values) {
        QString pattern;
        for (const QChar c : value) {
            if (special.contains(c))
                pattern += QStringLiteral("\\\\"); // a backslash, written twice in the string
            if (c == u'"')
                pattern += u'\\';
            pattern += c;
        }
        value = pattern;
    }
    return values.join(u'|');
}

std::optional<StationKey> keyOf(const ArchiveSeries& series) {
    bool ok = false;
    const int number = series.labels.value(QStringLiteral("estacao")).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return StationKey{series.labels.value(QStringLiteral("local")), number};
}

} // namespace

QString ArchiveStation::label() const {
    return QStringLiteral("%1 - %2").arg(key.local,
                                         name.isEmpty() ? QString::number(key.number) : name);
}

QList<ArchiveStation> stationsOf(const ArchiveAnswer& answer) {
    std::map<StationKey, ArchiveStation> found;
    for (const ArchiveSeries& series : answer.series) {
        const std::optional<StationKey> key = keyOf(series);
        if (!key)
            continue;
        ArchiveStation& station = found[*key];
        station.key = *key;
        // Renamed, it has a series under each name: the first name in order stays.
        const QString name = series.labels.value(QStringLiteral("nome"));
        if (station.name.isEmpty() || name < station.name)
            station.name = name;
        if (station.unit.isEmpty())
            station.unit = series.labels.value(QStringLiteral("unidade"));
    }
    QList<ArchiveStation> stations;
    for (const auto& [key, station] : found)
        stations << station;
    return stations;
}

Period periodOf(PeriodKind kind, const QDate& today, const QDate& chosen, const QDate& until) {
    switch (kind) {
    case PeriodKind::Today:
        return {today, today};
    case PeriodKind::Yesterday:
        return {today.addDays(-1), today.addDays(-1)};
    case PeriodKind::Last7Days:
        return {today.addDays(-6), today};
    case PeriodKind::Last30Days:
        return {today.addDays(-29), today};
    case PeriodKind::Month: {
        const QDate first(chosen.year(), chosen.month(), 1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    case PeriodKind::Between:
        return {std::min(chosen, until), std::max(chosen, until)};
    }
    return {today, today};
}

qint64 startMs(const QDate& day) {
    return day.startOfDay().toMSecsSinceEpoch();
}

QString selectorOf(const QList<ArchiveStation>& stations) {
    QStringList locals;
    QStringList numbers;
    for (const ArchiveStation& station : stations) {
        locals << station.key.local;
        numbers << QString::number(station.key.number);
    }
    return QStringLiteral("{local=~\"%1\",estacao=~\"%2\"}")
        .arg(alternatives(locals), alternatives(numbers));
}

QString dayExpression(DayFigure figure, const QString& selector) {
    const QString speed = QStringLiteral("anemometro_velocidade") + selector;
    const QString answered = QStringLiteral("anemometro_respondendo") + selector;
    // A minute counts when the reading at its end is at or above preset 1 (above preset 2):
    // the station's own rule, read once a minute.
    const auto minutes = [&](const QString& test) {
        return QStringLiteral("sum by (local, estacao) (sum_over_time((%1)[1d:1m]))").arg(test);
    };
    switch (figure) {
    case DayFigure::MaxAndMean:
        return QStringLiteral("max by (local, estacao, rollup) (rollup(%1[1d]))").arg(speed);
    case DayFigure::MaxTime:
        return QStringLiteral("max by (local, estacao) (tmax_over_time(%1[1d]))").arg(speed);
    case DayFigure::AtOrAbovePreset1:
        return minutes(speed + QStringLiteral(" >= bool anemometro_preset1") + selector);
    case DayFigure::AbovePreset2:
        return minutes(speed + QStringLiteral(" > bool anemometro_preset2") + selector);
    case DayFigure::Answered:
        return QStringLiteral("avg by (local, estacao) (avg_over_time(%1[1d]))").arg(answered);
    case DayFigure::Alarms:
        return QStringLiteral("sum by (local, estacao) (count_eq_over_time(alarme_estado%1[1d], "
                              "1))")
            .arg(selector);
    }
    return {};
}

qint64 trendStepMs(qint64 spanMs, int points) {
    return std::max<qint64>(1, spanMs / std::max(1, points) / 1000) * 1000;
}

QString trendExpression(const QString& metric, const QString& selector, qint64 stepMs) {
    return QStringLiteral("max by (local, estacao) (max_over_time(%1%2[%3s]))")
        .arg(metric, selector)
        .arg(stepMs / 1000);
}

QString alarmExpression(const QString& selector, qint64 spanMs) {
    return QStringLiteral("alarme_estado%1[%2s]").arg(selector).arg((spanMs + 999) / 1000);
}

Runs runsOf(const QList<QPointF>& points, qint64 stepMs) {
    Runs runs;
    double last = 0;
    for (const QPointF& point : points) {
        if (runs.isEmpty() || point.x() - last > double(stepMs) * 1.5)
            runs.append(QList<QPointF>());
        runs.last() << point;
        last = point.x();
    }
    return runs;
}

QString stateText(int state) {
    switch (state) {
    case 1:
        return QStringLiteral("ATIVO");
    case 2:
        return QStringLiteral("RECONHECIDO");
    case 3:
        return QStringLiteral("NORMALIZADO");
    case 4:
        return QStringLiteral("SUPRIMIDO");
    default:
        return QStringLiteral("normal");
    }
}

std::optional<StationKey> chosenKey(const ArchiveSeries& series,
                                    const QList<ArchiveStation>& chosen) {
    const std::optional<StationKey> key = keyOf(series);
    if (!key || std::none_of(chosen.begin(), chosen.end(),
                             [&](const ArchiveStation& s) { return s.key == *key; }))
        return std::nullopt;
    return key;
}

QList<AlarmEvent> alarmEventsOf(const ArchiveAnswer& answer, const QList<ArchiveStation>& chosen) {
    QList<AlarmEvent> events;
    for (const ArchiveSeries& series : answer.series) {
        const std::optional<StationKey> key = chosenKey(series, chosen);
        if (!key)
            continue;
        for (const QPointF& point : series.points)
            events << AlarmEvent{qint64(point.x()),
                                 *key,
                                 series.labels.value(QStringLiteral("nome")),
                                 series.labels.value(QStringLiteral("alarme")),
                                 series.labels.value(QStringLiteral("prioridade")),
                                 int(point.y()),
                                 series.labels.value(QStringLiteral("por"))};
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const AlarmEvent& a, const AlarmEvent& b) { return a.atMs < b.atMs; });
    return events;
}

QList<DayRow> emptyRows(const QList<ArchiveStation>& stations, const Period& period) {
    QList<DayRow> rows;
    for (const ArchiveStation& station : stations) {
        for (QDate day = period.first; day <= period.last; day = day.addDays(1)) {
            DayRow row;
            row.station = station.key;
            row.day = day;
            rows << row;
        }
    }
    return rows;
}

void addFigure(QList<DayRow>& rows, DayFigure figure, const ArchiveAnswer& answer) {
    for (const ArchiveSeries& series : answer.series) {
        const std::optional<StationKey> key = keyOf(series);
        const QString rollup = series.labels.value(QStringLiteral("rollup"));
        if (!key)
            continue;
        for (const QPointF& point : series.points) {
            // The value at a day's end covers the day before it.
            const QDate day = QDateTime::fromMSecsSinceEpoch(qint64(point.x()) - 1).date();
            const auto row = std::find_if(rows.begin(), rows.end(), [&](const DayRow& r) {
                return r.station == *key && r.day == day;
            });
            if (row == rows.end() || std::isnan(point.y()))
                continue;
            const double value = point.y();
            switch (figure) {
            case DayFigure::MaxAndMean:
                if (rollup == u"max")
                    row->max = value;
                else if (rollup == u"avg")
                    row->mean = value;
                break;
            case DayFigure::MaxTime:
                row->maxAtMs = qint64(value * 1000.0);
                break;
            case DayFigure::AtOrAbovePreset1:
                row->minutesAtOrAbovePreset1 = value;
                break;
            case DayFigure::AbovePreset2:
                row->minutesAbovePreset2 = value;
                break;
            case DayFigure::Answered:
                row->answeredShare = value;
                break;
            case DayFigure::Alarms:
                row->alarms = int(value);
                break;
            }
        }
    }
}

} // namespace site
