#pragma once

#include "history/trend.h"
#include "site/site_archive_client.h"

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>

#include <map>
#include <optional>

namespace site {

// A station of the archive: the station PC's `local` label and the station's number, which
// stay when the station is renamed.
struct StationKey {
    QString local;
    int number = 0;
    bool operator==(const StationKey& other) const {
        return number == other.number && local == other.local;
    }
    bool operator<(const StationKey& other) const {
        return local != other.local ? local < other.local : number < other.number;
    }
};

struct ArchiveStation {
    StationKey key;
    QString name; // the series' nome
    QString unit; // the series' unidade: "m/s", "km/h", "kn" or empty
    // "pc1 - ANEMÔMETRO 1": what the lists, the table and the report call it.
    QString label() const;
};

// The stations the series API listed, one per (local, estação), by local and number.
QList<ArchiveStation> stationsOf(const ArchiveAnswer& answer);

// The periods "Histórico do local" offers, in days of the local clock.
enum class PeriodKind { Today, Yesterday, Last7Days, Last30Days, Month, Between };
struct Period {
    QDate first;
    QDate last; // inclusive
    int days() const { return int(first.daysTo(last)) + 1; }
};
// `chosen` is the month's first day for Month, the first day for Between (`until` its last).
Period periodOf(PeriodKind kind, const QDate& today, const QDate& chosen = {},
                const QDate& until = {});
qint64 startMs(const QDate& day); // the day's first millisecond by the local clock

// A label matcher of every chosen station: {local=~"pc1|pc2",estacao=~"1|3"}. It may match a
// station not chosen (pc1's 3 with pc2's 1): answers are kept to the chosen ones.
QString selectorOf(const QList<ArchiveStation>& stations);

// The figures of a station's day, each one expression of the database's range functions over
// the day, grouped by station. MaxAndMean is VictoriaMetrics' rollup(): the day's highest and
// mean speed read in one pass, a series each (label rollup="max", "avg").
enum class DayFigure { MaxAndMean, MaxTime, AtOrAbovePreset1, AbovePreset2, Answered, Alarms };
inline constexpr int kDayFigures = 6;
QString dayExpression(DayFigure figure, const QString& selector);

// The trend's step: the span over about `points` points, in whole seconds, at least one.
qint64 trendStepMs(qint64 spanMs, int points);
// The highest value of each step, by station: speed, preset 1 or preset 2.
QString trendExpression(const QString& metric, const QString& selector, qint64 stepMs);
// Every alarm event of the period, as written (raw samples).
QString alarmExpression(const QString& selector, qint64 spanMs);

// One station's day as the table shows it.
struct DayRow {
    StationKey station;
    QDate day;
    std::optional<double> max;
    qint64 maxAtMs = 0;
    std::optional<double> mean;
    double minutesAtOrAbovePreset1 = 0;
    double minutesAbovePreset2 = 0;
    std::optional<double> answeredShare; // 0..1; none on a day without a poll written
    int alarms = 0;                      // alarms that went ATIVO
};

// A station's line broken where no reading came: a run per stretch of consecutive steps.
using Runs = history::Runs;
Runs runsOf(const QList<QPointF>& points, qint64 stepMs);

// One alarm event: when, which station, which alarm, its new state and, for RECONHECIDO, who.
struct AlarmEvent {
    qint64 atMs = 0;
    StationKey station;
    QString name;
    QString alarm;
    QString priority;
    int state = 0; // 1 ATIVO, 2 RECONHECIDO, 3 NORMALIZADO, 4 SUPRIMIDO, 0 normal
    QString by;    // the `por` label of the acknowledgement
};
QString stateText(int state);
QList<AlarmEvent> alarmEventsOf(const ArchiveAnswer& answer, const QList<ArchiveStation>& chosen);

// What one query of the period found: the days of every chosen station, the trend of each.
struct HistoryData {
    Period period;
    QList<ArchiveStation> stations;
    QList<DayRow> rows; // by station, then day
    qint64 stepMs = 0;
    std::map<StationKey, Runs> speed, preset1, preset2;
    QList<AlarmEvent> alarms;
    QString error;
};

// The answer of one figure folded into the rows (made by emptyRows for the period).
QList<DayRow> emptyRows(const QList<ArchiveStation>& stations, const Period& period);
void addFigure(QList<DayRow>& rows, DayFigure figure, const ArchiveAnswer& answer);
// The key of a series by its labels, when it is one of the chosen stations.
std::optional<StationKey> chosenKey(const ArchiveSeries& series,
                                    const QList<ArchiveStation>& chosen);

} // namespace site
