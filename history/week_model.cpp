#include "history/week_model.h"

#include "history/day_texts.h"
#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"

namespace history {

int WeekModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int WeekModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(summaryColumns().size());
}

QVariant WeekModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return shown_.value(index.row()).value(index.column());
    if (role == kFileRole)
        return file_.value(index.row()).value(index.column());
    return {};
}

QVariant WeekModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return summaryColumns().value(section);
    if (role == kFileRole)
        return summaryFileColumns(unit_).value(section);
    return {};
}

void WeekModel::setWeek(const std::array<DaySummary, 7>& days, double factor, const QString& unit) {
    QList<QStringList> shown;
    QList<QStringList> file;
    for (const DaySummary& day : days) {
        shown << summaryCells(day, factor, unit);
        file << summaryFileCells(day, factor);
    }
    // The rows come once; after that the cells change in place, the user's selection kept.
    const bool firstWeek = shown_.isEmpty();
    if (firstWeek)
        beginInsertRows({}, 0, int(shown.size()) - 1);
    unit_ = unit;
    shown_ = std::move(shown);
    file_ = std::move(file);
    if (firstWeek)
        endInsertRows();
    else
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QByteArray summaryFile(const QString& station, const WeekModel& week) {
    const QString unit = week.unit();
    return toolkit::toCp1252(
        toolkit::csvLine({QStringLiteral("ESTAÇÃO"), station, QStringLiteral("UNIDADE"),
                          unit.isEmpty() ? QStringLiteral("não informada") : unit}) +
        toolkit::csvText(week, {.role = WeekModel::kFileRole}));
}

} // namespace history
