#include "site/history_table.h"

#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"
#include "toolkit/numbers.h"

#include <QDateTime>

#include <cmath>

namespace site {

namespace {

const ArchiveStation* stationOf(const HistoryData& data, const StationKey& key) {
    for (const ArchiveStation& station : data.stations) {
        if (station.key == key)
            return &station;
    }
    return nullptr;
}

QString timeText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

QString dayText(const QDate& day) {
    return day.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

const QStringList& dayFileColumns() {
    static const QStringList columns{QStringLiteral("LOCAL"),
                                     QStringLiteral("ESTAÇÃO"),
                                     QStringLiteral("NOME"),
                                     QStringLiteral("UNIDADE"),
                                     QStringLiteral("DIA"),
                                     QStringLiteral("MÁXIMA"),
                                     QStringLiteral("HORA DA MÁXIMA"),
                                     QStringLiteral("MÉDIA"),
                                     QStringLiteral("MIN. >= P1"),
                                     QStringLiteral("MIN. > P2"),
                                     QStringLiteral("DISPONIBILIDADE (%)"),
                                     QStringLiteral("ALARMES")};
    return columns;
}

const QStringList& dayColumns() {
    static const QStringList columns{QStringLiteral("Estação"),   QStringLiteral("Dia"),
                                     QStringLiteral("Máxima"),    QStringLiteral("Hora da máxima"),
                                     QStringLiteral("Média"),     QStringLiteral("Min. ≥ P1"),
                                     QStringLiteral("Min. > P2"), QStringLiteral("Disponibilidade"),
                                     QStringLiteral("Alarmes")};
    return columns;
}

QStringList dayCells(const ArchiveStation& station, const DayRow& row) {
    const auto speed = [&](const std::optional<double>& value) {
        if (!value)
            return QStringLiteral("-");
        const QString number = toolkit::decimalText(*value, 1);
        return station.unit.isEmpty() ? number : number + u' ' + station.unit;
    };
    const QString none = QStringLiteral("-");
    const bool any = row.answeredShare.has_value();
    return {station.label(),
            dayText(row.day),
            speed(row.max),
            row.max ? timeText(row.maxAtMs) : none,
            speed(row.mean),
            any ? QString::number(std::lround(row.minutesAtOrAbovePreset1)) : none,
            any ? QString::number(std::lround(row.minutesAbovePreset2)) : none,
            row.answeredShare
                ? toolkit::decimalText(*row.answeredShare * 100, 1) + QStringLiteral(" %")
                : none,
            QString::number(row.alarms)};
}

QStringList dayFileCells(const ArchiveStation& station, const DayRow& row) {
    const auto number = [](const std::optional<double>& value, int decimals) {
        return value ? toolkit::decimalText(*value, decimals) : QString();
    };
    const bool any = row.answeredShare.has_value();
    return {station.key.local,
            QString::number(station.key.number),
            station.name,
            station.unit,
            dayText(row.day),
            number(row.max, 1),
            row.max ? timeText(row.maxAtMs) : QString(),
            number(row.mean, 1),
            any ? QString::number(std::lround(row.minutesAtOrAbovePreset1)) : QString(),
            any ? QString::number(std::lround(row.minutesAbovePreset2)) : QString(),
            row.answeredShare ? toolkit::decimalText(*row.answeredShare * 100, 1) : QString(),
            QString::number(row.alarms)};
}

int HistoryTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int HistoryTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(dayColumns().size());
}

QVariant HistoryTable::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return shown_.value(index.row()).value(index.column());
    return {};
}

QVariant HistoryTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return dayColumns().value(section);
}

void HistoryTable::setData(const HistoryData& data) {
    beginResetModel();
    period_ = data.period;
    shown_.clear();
    file_.clear();
    for (const DayRow& row : data.rows) {
        if (const ArchiveStation* station = stationOf(data, row.station)) {
            shown_ << dayCells(*station, row);
            file_ << dayFileCells(*station, row);
        }
    }
    endResetModel();
}

QByteArray historyFile(const HistoryTable& table) {
    // The file has more columns than the table shows: the station's labels apart.
    QString text = toolkit::csvLine({QStringLiteral("HISTÓRICO DO LOCAL"),
                                     QStringLiteral("%1 a %2").arg(dayText(table.period().first),
                                                                   dayText(table.period().last))});
    text += toolkit::csvLine(dayFileColumns());
    for (const QStringList& cells : table.fileRows())
        text += toolkit::csvLine(cells);
    return toolkit::toCp1252(text);
}

QString historyFileName(const Period& period, const QString& extension) {
    return QStringLiteral("Histórico do local %1 a %2.%3")
        .arg(period.first.toString(u"dd-MM-yyyy"), period.last.toString(u"dd-MM-yyyy"), extension);
}

} // namespace site
