// The semicolon file written from a real item model: the column titles, the cells, what is
// quoted, and the role read instead of the texts shown.

#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"

#include <QStandardItemModel>
#include <QTest>

Q_DECLARE_METATYPE(toolkit::CsvOptions)

namespace {

constexpr int kNumberRole = Qt::UserRole + 5;

// Two columns and two rows of texts that a careless writer would spoil: a separator, quotes,
// line breaks, an empty cell; and a unit in the title of the numbers' column.
QStandardItemModel* awkwardTable(QObject* parent) {
    auto* model = new QStandardItemModel(2, 3, parent);
    const QStringList titles{"Estação", "Última leitura\nboa", "Máxima"};
    for (int column = 0; column < 3; ++column)
        model->setHeaderData(column, Qt::Horizontal, titles[column]);
    model->setHeaderData(2, Qt::Horizontal, "MÁXIMA (km/h)", kNumberRole);
    const QList<QStringList> rows{{"EST 1", "", "23,4 km/h"},
                                  {"diz \"oi\"; tchau", "linha 1\nlinha 2", "> LIMITE"}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column)
            model->setData(model->index(row, column), rows[row][column]);
    }
    model->setData(model->index(0, 0), "EST 1", kNumberRole);
    model->setData(model->index(0, 2), "23,4", kNumberRole);
    return model;
}

} // namespace

class TestCsvWriter : public QObject {
    Q_OBJECT

private slots:
    void modelToLines_data() {
        QTest::addColumn<toolkit::CsvOptions>("options");
        QTest::addColumn<QString>("expected");
        QTest::newRow("quoted") << toolkit::CsvOptions{}
                                << QStringLiteral("Estação;\"Última leitura\nboa\";Máxima\r\n"
                                                  "EST 1;;23,4 km/h\r\n"
                                                  "\"diz \"\"oi\"\"; tchau\";\"linha 1\nlinha "
                                                  "2\";> LIMITE\r\n");
        QTest::newRow("diagnostics")
            << toolkit::CsvOptions{.capitalTitles = true,
                                   .closingSeparator = true,
                                   .commaForSeparator = true}
            << QStringLiteral("ESTAÇÃO;ÚLTIMA LEITURA BOA;MÁXIMA;\r\n"
                              "EST 1;;23,4 km/h;\r\n"
                              "diz \"oi\", tchau;linha 1\nlinha 2;> LIMITE;\r\n");
        QTest::newRow("numbers role") << toolkit::CsvOptions{.role = kNumberRole}
                                      << QStringLiteral(";;MÁXIMA (km/h)\r\n"
                                                        "EST 1;;23,4\r\n"
                                                        ";;\r\n");
    }
    void modelToLines() {
        QFETCH(toolkit::CsvOptions, options);
        QFETCH(QString, expected);
        const QStandardItemModel* model = awkwardTable(this);
        QCOMPARE(toolkit::csvText(*model, options), expected);
    }

    // A line of its own above a table, and the bytes as they reach the file.
    void lineAndFileBytes() {
        const QString line = toolkit::csvLine({"ESTAÇÃO", "NORTE; SUL", "UNIDADE", "km/h"});
        QCOMPARE(line, QStringLiteral("ESTAÇÃO;\"NORTE; SUL\";UNIDADE;km/h\r\n"));
        QCOMPARE(toolkit::toCp1252(line),
                 QByteArray("ESTA\xC7\xC3O;\"NORTE; SUL\";UNIDADE;km/h\r\n"));
        QStandardItemModel empty(0, 2);
        empty.setHorizontalHeaderLabels({"Hora", "Evento"});
        QCOMPARE(toolkit::csvText(empty, {.capitalTitles = true, .closingSeparator = true}),
                 QStringLiteral("HORA;EVENTO;\r\n"));
    }
};

QTEST_MAIN(TestCsvWriter)
#include "tst_csv_writer.moc"
