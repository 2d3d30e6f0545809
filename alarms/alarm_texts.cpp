#include "alarms/alarm_texts.h"

#include "settings/station_settings.h"
#include "toolkit/numbers.h"

#include <QDateTime>

namespace alarms {

QString dateTimeText(qint64 ms) {
    if (ms == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString timeAfterText(qint64 ms, qint64 dayOfMs) {
    if (ms == 0)
        return {};
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
    if (at.date() != QDateTime::fromMSecsSinceEpoch(dayOfMs).date())
        return dateTimeText(ms);
    return at.toString(QStringLiteral("HH:mm:ss"));
}

QString peakText(const std::optional<double>& peak, const QString& unit) {
    if (!peak)
        return {};
    const QString number = toolkit::decimalText(*peak, 1);
    return unit.isEmpty() ? number : number + u' ' + unit;
}

QString durationText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const auto twoDigits = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); };
    if (seconds >= 3600)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(twoDigits(seconds / 60 % 60));
    if (seconds >= 60)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(twoDigits(seconds % 60));
    return QStringLiteral("%1 s").arg(seconds);
}

QString stationName(const settings::StationSettings& stations, int station) {
    if (station < 1 || station > kStations)
        return stationText(station);
    const QString name = stations.name(station);
    return name.isEmpty() ? stationText(station) : name;
}

QString recordStationName(const settings::StationSettings& stations, const DayRecord& record) {
    return record.stationName.isEmpty() ? stationName(stations, record.station)
                                        : record.stationName;
}

const QStringList& recordColumns() {
    static const QStringList columns{
        QStringLiteral("ESTAÇÃO"),        QStringLiteral("ALARME"),
        QStringLiteral("PRIORIDADE"),     QStringLiteral("VEIO"),
        QStringLiteral("PICO"),           QStringLiteral("RECONHECIDO POR"),
        QStringLiteral("RECONHECIDO ÀS"), QStringLiteral("FOI"),
        QStringLiteral("DURAÇÃO")};
    return columns;
}

QStringList recordCells(const DayRecord& record, const QString& stationName, qint64 nowMs) {
    return {stationName,
            kindText(record.kind),
            priorityText(priorityOf(record.kind)),
            dateTimeText(record.cameMs),
            peakText(record.peak, record.unit),
            record.acknowledgedBy,
            timeAfterText(record.acknowledgedAtMs, record.cameMs),
            record.wentMs != 0 ? timeAfterText(record.wentMs, record.cameMs) : QStringLiteral("-"),
            durationText(record.durationMs(nowMs))};
}

} // namespace alarms
