#pragma once

#include "history/wind_stats.h"

#include <QStringList>

namespace history {

// The texts of the history window made from figures: the summary's cells, the counts, the
// semicolon file of the last 7 days and the file names "Exportar" proposes.

// `one` for a count of 1, `many` for any other, with "%1" the count.
QString countText(int count, const QString& one, const QString& many);

// The columns of the summary table, and one day's cells as the table shows them, speeds in
// the unit shown with the unit after them ("> LIMITE" has none).
const QStringList& summaryColumns();
QStringList summaryCells(const DaySummary& summary, double factor, const QString& unit);

// The column titles and one day's cells of the semicolon file a spreadsheet can calculate
// with: the units in the titles, numbers with a decimal comma and nothing after them; a day
// without readings has empty cells.
QStringList summaryFileColumns(const QString& unit);
QStringList summaryFileCells(const DaySummary& summary, double factor);

// "Histórico <station> <day>.<extension>", with the station as a file name may hold it.
QString exportName(const QString& station, const QString& day, const QString& extension);

} // namespace history
