#include "toolkit/csv_writer.h"

#include <QAbstractItemModel>

#include <utility>

namespace toolkit {

namespace {

QString cellText(QString text, const CsvOptions& options) {
    if (options.commaForSeparator)
        return text.replace(u';', u',');
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + text.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

} // namespace

QString csvLine(const QStringList& cells, const CsvOptions& options) {
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += u';';
        line += cellText(cells[i], options);
    }
    if (options.closingSeparator && !cells.isEmpty())
        line += u';';
    return line + QStringLiteral("\r\n");
}

QStringList csvCells(QStringView line) {
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != u'"')
                cell += c;
            else if (i + 1 < line.size() && line.at(i + 1) == u'"')
                cell += line.at(++i);
            else
                quoted = false;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            cells << std::exchange(cell, QString());
        } else {
            cell += c;
        }
    }
    cells << cell;
    return cells;
}

QString csvText(const QAbstractItemModel& model, const CsvOptions& options) {
    const int columns = model.columnCount();
    QStringList titles;
    for (int column = 0; column < columns; ++column) {
        QString title = model.headerData(column, Qt::Horizontal, options.role).toString();
        if (options.capitalTitles)
            title = title.replace(u'\n', u' ').toUpper();
        titles << title;
    }
    QString text = csvLine(titles, options);
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << model.data(model.index(row, column), options.role).toString();
        text += csvLine(cells, options);
    }
    return text;
}

} // namespace toolkit
