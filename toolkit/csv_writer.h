#pragma once

#include <QStringList>

class QAbstractItemModel;

namespace toolkit {

// How the rows of a table become the lines of a semicolon file.
struct CsvOptions {
    // What is read of every cell and column title: the texts shown, or a role in which the
    // model answers what a spreadsheet can calculate with.
    int role = Qt::DisplayRole;
    // Column titles in capitals on one line: "ÚLTIMA LEITURA BOA" for "Última leitura\nboa".
    bool capitalTitles = false;
    // A ';' after the last cell of a line as well.
    bool closingSeparator = false;
    // A ';' inside a cell written as ',' and nothing quoted, as the diagnostics file has always
    // been written. Otherwise a cell holding ';', '"' or a line break is quoted.
    bool commaForSeparator = false;
};

// One line of the file, CR LF at its end.
QString csvLine(const QStringList& cells, const CsvOptions& options = {});

// The cells of one line as csvLine wrote it (without its line end): a quoted cell may hold ';'
// and doubled quotes.
QStringList csvCells(QStringView line);

// The model's column titles on the first line, then every row, each line ending in CR LF.
QString csvText(const QAbstractItemModel& model, const CsvOptions& options = {});

} // namespace toolkit
