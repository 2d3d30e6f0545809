#pragma once

#include "site/history_figures.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace site {

// The days of every chosen station, a row a station's day, as the table shows them; beside
// them the same days as the semicolon file has them.
class HistoryTable : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setData(const HistoryData& data);
    const Period& period() const { return period_; }
    const QList<QStringList>& fileRows() const { return file_; }

private:
    Period period_;
    QList<QStringList> shown_;
    QList<QStringList> file_;
};

// The cells of one row, as shown ("12,3 km/h", "14:03:20", "99,5 %") and as the file has them
// (numbers alone, empty cells on a day without data).
QStringList dayCells(const ArchiveStation& station, const DayRow& row);
QStringList dayFileCells(const ArchiveStation& station, const DayRow& row);
const QStringList& dayColumns();
const QStringList& dayFileColumns();

// The table as a semicolon file a spreadsheet can calculate with (Windows-1252, CR LF, decimal
// comma), after a line naming the period.
QByteArray historyFile(const HistoryTable& table);
// "Histórico do local 01-12-2026 a 31-12-2026.<extension>"
QString historyFileName(const Period& period, const QString& extension);

} // namespace site
