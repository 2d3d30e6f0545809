#pragma once

#include "history/wind_stats.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <array>

namespace history {

// The summary of the last 7 days, a row a day, as the table shows it; in kFileRole the bare
// numbers with a decimal comma and the column titles with their units, for the semicolon file.
class WeekModel : public QAbstractTableModel {
public:
    static constexpr int kFileRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The days in the unit shown: `factor` from the file's unit, `unit` its name (empty when
    // the files do not say it).
    void setWeek(const std::array<DaySummary, 7>& days, double factor, const QString& unit);
    const QString& unit() const { return unit_; }

private:
    QString unit_;
    QList<QStringList> shown_;
    QList<QStringList> file_;
};

// The week as a semicolon file a spreadsheet can calculate with (Windows-1252, CR LF, as the
// log files): a first line naming the station and the unit, the units in the column titles,
// numbers with a decimal comma and nothing after them; a day without readings has empty cells.
QByteArray summaryFile(const QString& station, const WeekModel& week);

} // namespace history
