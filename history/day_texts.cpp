#include "history/day_texts.h"

#include "logs/log_format.h"
#include "toolkit/day_text.h"
#include "toolkit/numbers.h"

#include <QTime>

#include <cmath>

namespace history {

namespace {

QString timeText(int secondOfDay) {
    return QTime(0, 0).addSecs(secondOfDay).toString(QStringLiteral("HH:mm:ss"));
}

QString voltsNumber(std::uint16_t hundredths) {
    return toolkit::decimalText(qint64(hundredths), 2);
}

QString minutes(double value) {
    return toolkit::decimalText(value, 1);
}

// A speed and the mean as numbers in the unit shown ("> LIMITE" for a speed past the limit).
QString maxText(const DaySummary& s, double factor) {
    return speedText(*s.maxSpeed, factor);
}
QString meanText(const DaySummary& s, double factor) {
    return s.meanSpeed ? speedText(std::uint16_t(std::lround(*s.meanSpeed)), factor) : QString();
}

} // namespace

QString countText(int count, const QString& one, const QString& many) {
    return (count == 1 ? one : many).arg(count);
}

const QStringList& summaryColumns() {
    static const QStringList columns{QStringLiteral("Dia"),
                                     QStringLiteral("Máxima"),
                                     QStringLiteral("Hora da máxima"),
                                     QStringLiteral("Média"),
                                     QStringLiteral("Min. ≥ P1"),
                                     QStringLiteral("Min. > P2"),
                                     QStringLiteral("Leituras"),
                                     QStringLiteral("Primeira"),
                                     QStringLiteral("Última"),
                                     QStringLiteral("Bateria início"),
                                     QStringLiteral("Bateria fim")};
    return columns;
}

QStringList summaryCells(const DaySummary& s, double factor, const QString& unit) {
    const auto withUnit = [&unit](const QString& number) {
        return unit.isEmpty() || number == speedText(Sample::kOverLimit) ? number
                                                                         : number + u' ' + unit;
    };
    if (s.readings == 0)
        return {toolkit::dayText(s.day), QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-"),     QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("0"),     QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-"),     QStringLiteral("-")};
    const QString mean = meanText(s, factor);
    return {toolkit::dayText(s.day),
            withUnit(maxText(s, factor)),
            timeText(s.maxSecond),
            mean.isEmpty() ? QStringLiteral("-") : withUnit(mean),
            minutes(s.minutesAtOrAbovePreset1),
            minutes(s.minutesAbovePreset2),
            QString::number(s.readings),
            timeText(s.firstSecond),
            timeText(s.lastSecond),
            voltsNumber(s.batteryFirst) + QStringLiteral(" V"),
            voltsNumber(s.batteryLast) + QStringLiteral(" V")};
}

QStringList summaryFileColumns(const QString& unit) {
    const QString speedUnit = unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unit);
    return {QStringLiteral("DIA"),
            QStringLiteral("MÁXIMA") + speedUnit,
            QStringLiteral("HORA DA MÁXIMA"),
            QStringLiteral("MÉDIA") + speedUnit,
            QStringLiteral("MIN. >= P1"),
            QStringLiteral("MIN. > P2"),
            QStringLiteral("LEITURAS"),
            QStringLiteral("PRIMEIRA"),
            QStringLiteral("ÚLTIMA"),
            QStringLiteral("BATERIA INÍCIO (V)"),
            QStringLiteral("BATERIA FIM (V)")};
}

QStringList summaryFileCells(const DaySummary& s, double factor) {
    if (s.readings == 0)
        return {toolkit::dayText(s.day), {}, {}, {}, {}, {}, "0", {}, {}, {}, {}};
    return {toolkit::dayText(s.day),
            maxText(s, factor),
            timeText(s.maxSecond),
            meanText(s, factor),
            minutes(s.minutesAtOrAbovePreset1),
            minutes(s.minutesAbovePreset2),
            QString::number(s.readings),
            timeText(s.firstSecond),
            timeText(s.lastSecond),
            voltsNumber(s.batteryFirst),
            voltsNumber(s.batteryLast)};
}

QString exportName(const QString& station, const QString& day, const QString& extension) {
    QStringList parts{QStringLiteral("Histórico")};
    if (!station.isEmpty())
        parts << logs::safeStationName(station);
    if (!day.isEmpty())
        parts << day;
    return parts.join(u' ') + u'.' + extension;
}

} // namespace history
