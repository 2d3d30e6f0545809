// The diagnostics window and the panels' tooltips over a monitor fed by the test, with a clock
// of the test's own.

#include "health/diagnostics_window.h"
#include "health/health_monitor.h"

#include "boxes.h"
#include "fifo_guard.h"
#include "named_stations.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using modbus::ReplyKind;

namespace {

const QDateTime kMorning(QDate(2026, 12, 7), QTime(9, 0, 0));

struct Rig {
    QTemporaryDir folder;
    qint64 nowMs = kMorning.toMSecsSinceEpoch();
    NamedStations stations{2, 11}; // two stations shown, at addresses 11 and 12
    health::HealthMonitor monitor{{
        .settings = stations,
        .logFolder = [this] { return folder.path(); },
        .nowMs = [this] { return nowMs; },
    }};
    health::DiagnosticsWindow window{
        monitor, {.settings = stations, .logFolder = [this] { return folder.path(); }}, nullptr};

    void poll(int station, ReplyKind kind) {
        nowMs += 1000;
        bus::PollOutcome outcome;
        outcome.station = station;
        outcome.kind = kind;
        if (kind == ReplyKind::Good)
            outcome.values = modbus::StationValues{10, 370, 1, 50, 90, 0x85};
        readings::tell(monitor, outcome);
    }
    // A cell of the stations' table.
    QString cell(int r, int c) const {
        return window.stationTable()->model()->index(r, c).data().toString();
    }
    QStringList row(const QTableView* table, int r) const {
        QStringList cells;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            cells << table->model()->index(r, c).data().toString();
        return cells;
    }
};

// Eight stand-ins for the station panels, with the tooltips of the monitor.
struct PanelsWithTips {
    explicit PanelsWithTips(health::HealthMonitor& monitor) {
        for (QWidget*& panel : panels)
            panel = owned.emplace_back(std::make_unique<QWidget>()).get();
        health::installPanelToolTips(monitor, panels);
    }
    // The tooltip of a station's panel as the mouse asks for it.
    QString tip(int station) const {
        QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        QApplication::sendEvent(panels[stationSlot(station)], &event);
        return panels[stationSlot(station)]->toolTip();
    }
    std::array<QWidget*, kStations> panels{};
    std::vector<std::unique_ptr<QWidget>> owned;
};

} // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT

private slots:
    void stationsAndTheDaysJournal() {
        Rig rig;
        rig.poll(1, ReplyKind::Good);
        for (ReplyKind kind : {ReplyKind::NoReply, ReplyKind::BadCrc, ReplyKind::TooShort})
            rig.poll(2, kind);
        rig.poll(1, ReplyKind::WrongFunction);
        rig.nowMs += 5000; // 09:00:10
        rig.window.show();
        QCOMPARE(rig.window.stationTable()->model()->rowCount(), 2);
        QCOMPARE(rig.row(rig.window.stationTable(), 0),
                 (QStringList{"EST 1", "11", "Respondendo", "09:00:01 (há 9 s)", "50,0 %", "0", "0",
                              "0", "1", "0", "2"}));
        QCOMPARE(rig.row(rig.window.stationTable(), 1),
                 (QStringList{"EST 2", "12", "Sem resposta", "nenhuma", "0,0 %", "1", "1", "0", "0",
                              "1", "3"}));
        QCOMPARE(rig.window.journalTable()->model()->rowCount(), 1);
        QCOMPARE(rig.row(rig.window.journalTable(), 0),
                 (QStringList{"09:00:04", "EST 2", "SEM RESPOSTA", "resposta curta"}));

        // Live while shown: a new poll shows within a second, a new event within five.
        rig.poll(2, ReplyKind::Good);
        QTRY_COMPARE_WITH_TIMEOUT(rig.row(rig.window.journalTable(), 0),
                                  (QStringList{"09:00:11", "EST 2", "RESPONDENDO", "após 11 s"}),
                                  5500);
        QCOMPARE(rig.window.journalTable()->model()->rowCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.cell(1, 2), QStringLiteral("Respondendo"), 1500);

        // The counts of the last hour or since the start.
        rig.nowMs += 2 * 3600 * 1000;
        rig.window.refresh();
        QCOMPARE(rig.cell(1, 10), QStringLiteral("0"));
        QCOMPARE(rig.cell(1, 4), QStringLiteral("-"));
        rig.window.periodBox()->setCurrentIndex(1);
        QCOMPARE(rig.cell(1, 10), QStringLiteral("4"));

        // Only the configured stations have a row.
        rig.stations.setPolled(2, false);
        rig.window.refresh();
        QCOMPARE(rig.window.stationTable()->model()->rowCount(), 1);
    }

    // Opened before the first poll: the columns were measured on "Aguardando" and an empty
    // journal, and must still show whole what comes later.
    void columnsFitWhatComesLater() {
        Rig rig;
        rig.window.resize(1180, 600);
        rig.window.show();
        for (int i = 0; i < 3; ++i)
            rig.poll(2, ReplyKind::NoReply);
        rig.poll(1, ReplyKind::Good);
        const QTableView* journal = rig.window.journalTable();
        QTRY_COMPARE_WITH_TIMEOUT(journal->model()->rowCount(), 1, 5500);
        QTRY_COMPARE_WITH_TIMEOUT(rig.cell(1, 2), QStringLiteral("Sem resposta"), 1500);
        const auto fits = [](const QTableView* table, int column) {
            const QString text = table->model()->index(0, column).data().toString();
            for (int row = 1; row < table->model()->rowCount(); ++row) {
                const QString other = table->model()->index(row, column).data().toString();
                if (other.size() > text.size())
                    return table->columnWidth(column) >=
                           table->fontMetrics().horizontalAdvance(other) + 6;
            }
            return table->columnWidth(column) >= table->fontMetrics().horizontalAdvance(text) + 6;
        };
        for (int column : {0, 1, 2})
            QVERIFY2(fits(journal, column), qPrintable(QString::number(column)));
        QVERIFY(fits(rig.window.stationTable(), 2));
        QVERIFY(fits(rig.window.stationTable(), 3));
    }

    // New events come in at the top: the newest stays in view, unless the user has scrolled
    // down to read older ones, whose rows then stay where they are.
    void newestEventsStayInView() {
        Rig rig;
        rig.window.resize(900, 500);
        rig.window.show();
        QTableView* journal = rig.window.journalTable();
        const auto topShown = [&] { return journal->rowAt(0); };
        const auto addEvents = [&](int count) {
            const int before = journal->model()->rowCount();
            for (int i = 0; i < count; ++i)
                rig.monitor.logFailed(1 + i % 2, QStringLiteral("disco cheio %1").arg(i));
            QTRY_COMPARE_WITH_TIMEOUT(journal->model()->rowCount(), before + count, 5500);
            QApplication::processEvents();
        };
        addEvents(40);
        QCOMPARE(topShown(), 0);
        // The user reads the newest event: a click on it, the keyboard in the table.
        QTest::mouseClick(journal->viewport(), Qt::LeftButton, {},
                          journal->visualRect(journal->model()->index(0, 2)).center());
        QCOMPARE(journal->currentIndex().row(), 0);
        addEvents(3);
        QCOMPARE(topShown(), 0);
        QCOMPARE(rig.row(journal, 0).value(3), QStringLiteral("disco cheio 2"));

        journal->scrollTo(journal->model()->index(20, 0), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        const QStringList looked = rig.row(journal, topShown());
        addEvents(5);
        QCOMPARE(rig.row(journal, topShown()), looked);
    }

    // With the adapter pulled out (or the port closed for the configuration window) no row
    // may go on saying "Respondendo": each says "Porta fechada" until its first poll after
    // the port opens again.
    void rowsSayThePortIsClosed() {
        Rig rig;
        const PanelsWithTips panels(rig.monitor);
        const auto states = [&] {
            rig.window.refresh();
            return QStringList{rig.cell(0, 2), rig.cell(1, 2)};
        };
        rig.poll(1, ReplyKind::Good);
        rig.poll(2, ReplyKind::Good);
        rig.window.show();
        QCOMPARE(states(), (QStringList{"Respondendo", "Respondendo"}));

        rig.monitor.portStateChanged(bus::PortState::Open, bus::PortState::Lost, "ttyUSB0");
        bus::PollOutcome lost;
        lost.station = 1;
        lost.portLost = true;
        readings::tell(rig.monitor, lost);
        QCOMPARE(states(), (QStringList{"Porta fechada", "Porta fechada"}));
        QVERIFY(panels.tip(2).startsWith(
            QStringLiteral("Porta fechada\nÚltima leitura boa: 09:00:02")));
        rig.monitor.portStateChanged(bus::PortState::Lost, bus::PortState::Open, "ttyUSB0");
        QCOMPARE(states(), (QStringList{"Porta fechada", "Porta fechada"}));
        rig.poll(1, ReplyKind::Good);
        QCOMPARE(states(), (QStringList{"Respondendo", "Porta fechada"}));
        QVERIFY(panels.tip(1).startsWith(QStringLiteral("Última leitura boa: ")));
        rig.poll(2, ReplyKind::NoReply);
        QCOMPARE(states(), (QStringList{"Respondendo", "Respondendo"}));

        rig.monitor.portStateChanged(bus::PortState::Open, bus::PortState::ClosedForConfiguration,
                                     "ttyUSB0");
        QCOMPARE(states(), (QStringList{"Porta fechada", "Porta fechada"}));
    }

    // A FIFO where the day's journal should be: the window opens at once with what this run
    // noted, and nobody waits for a writer.
    void journalThatIsAFifo() {
        Rig rig;
        rig.poll(2, ReplyKind::NoReply);
        rig.poll(2, ReplyKind::NoReply);
        FifoGuard fifo(rig.folder.filePath(health::journal::fileName(kMorning.date())));
        rig.poll(2, ReplyKind::NoReply); // noted; the line cannot be appended to a FIFO
        QElapsedTimer opening;
        opening.start();
        rig.window.show();
        QVERIFY2(opening.elapsed() < 1000, qPrintable(QString::number(opening.elapsed())));
        QVERIFY(!fifo.readerWaited());
        QCOMPARE(rig.row(rig.window.journalTable(), 0),
                 (QStringList{"09:00:03", "EST 2", "SEM RESPOSTA", "sem resposta"}));
    }

    void refreshesOnlyWhileShown() {
        Rig rig;
        rig.window.show();
        auto* timer = rig.window.findChild<QTimer*>();
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        rig.window.hide();
        QVERIFY(!timer->isActive());
    }

    // Both tables, as shown, into the file the user picks in the dialog.
    void exportsWhatItShows() {
        Rig rig;
        rig.poll(1, ReplyKind::Good);
        rig.poll(2, ReplyKind::NoReply);
        rig.poll(2, ReplyKind::NoReply);
        rig.poll(2, ReplyKind::NoReply);
        rig.window.show();
        // Typed without its extension: the file gets ".csv".
        const QString path = rig.folder.filePath(QStringLiteral("diagnóstico.csv"));
        QTimer::singleShot(100, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            QCOMPARE(name->text(), QStringLiteral("Diagnóstico %1.csv")
                                       .arg(QDate::currentDate().toString("dd-MM-yyyy")));
            name->setText(rig.folder.filePath(QStringLiteral("diagnóstico")));
            QTest::keyClick(name, Qt::Key_Return);
        });
        QTest::mouseClick(rig.window.exportButton(), Qt::LeftButton);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(
            file.readAll(),
            QByteArray("ESTA\xC7\xC3O;ENDERE\xC7O;ESTADO;\xDALTIMA LEITURA BOA;SUCESSO (1 H);"
                       "SEM RESPOSTA;CRC INV\xC1LIDO;ENDERE\xC7O ERRADO;FUN\xC7\xC3O INV\xC1LIDA;"
                       "RESPOSTA CURTA;LEITURAS;\r\n"
                       "EST 1;11;Respondendo;09:00:01 (h\xE1 3 s);100,0 %;0;0;0;0;0;1;\r\n"
                       "EST 2;12;Sem resposta;nenhuma;0,0 %;3;0;0;0;0;3;\r\n"
                       "\r\n"
                       "HORA;ESTA\xC7\xC3O;EVENTO;DETALHE;\r\n"
                       "09:00:04;EST 2;SEM RESPOSTA;sem resposta;\r\n"));
    }

    void everyTextReadableThroughAccessibility() {
        Rig rig;
        rig.poll(2, ReplyKind::NoReply);
        rig.poll(2, ReplyKind::NoReply);
        rig.poll(2, ReplyKind::NoReply);
        rig.window.show();
        QStringList texts;
        std::function<void(QAccessibleInterface*)> collect = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            texts << node->text(QAccessible::Name) << node->text(QAccessible::Value);
            for (int i = 0; i < node->childCount(); ++i)
                collect(node->child(i));
        };
        collect(QAccessible::queryAccessibleInterface(&rig.window));
        for (const char* wanted :
             {"Estação", "Última leitura\nboa", "Sem resposta", "EST 2", "SEM RESPOSTA",
              "sem resposta", "Exportar", "Contagens:", "Última hora"})
            QVERIFY2(texts.contains(QString::fromUtf8(wanted)), wanted);
    }

    // A screen reader reads the stations' table cell by cell, the titles on two lines as
    // shown, and a cell's new text after a refresh, the row picked still picked.
    void stationCellsThroughAccessibility() {
        Rig rig;
        rig.poll(1, ReplyKind::Good);
        for (int i = 0; i < 3; ++i)
            rig.poll(2, ReplyKind::NoReply);
        rig.window.show();
        QAccessibleInterface* view =
            QAccessible::queryAccessibleInterface(rig.window.stationTable());
        QVERIFY(view && view->tableInterface());
        QAccessibleTableInterface* table = view->tableInterface();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->columnCount(), 11);
        const auto read = [table](int r) {
            QStringList texts;
            for (int c = 0; c < table->columnCount(); ++c)
                texts << (r < 0 ? table->columnDescription(c)
                                : table->cellAt(r, c)->text(QAccessible::Name));
            return texts;
        };
        QCOMPARE(read(-1), (QStringList{"Estação", "Endereço", "Estado", "Última leitura\nboa",
                                        "Sucesso\n(1 h)", "Sem\nresposta", "CRC\ninválido",
                                        "Endereço\nerrado", "Função\ninválida", "Resposta\ncurta",
                                        "Leituras"}));
        QCOMPARE(read(0), (QStringList{"EST 1", "11", "Respondendo", "09:00:01 (há 3 s)", "100,0 %",
                                       "0", "0", "0", "0", "0", "1"}));
        QCOMPARE(read(1), (QStringList{"EST 2", "12", "Sem resposta", "nenhuma", "0,0 %", "3", "0",
                                       "0", "0", "0", "3"}));
        // The row the user picked stays picked while its texts change.
        rig.window.stationTable()->selectRow(1);
        rig.poll(2, ReplyKind::Good);
        rig.window.refresh();
        QCOMPARE(read(1), (QStringList{"EST 2", "12", "Respondendo", "09:00:05 (há 0 s)", "25,0 %",
                                       "3", "0", "0", "0", "0", "4"}));
        QVERIFY(table->isRowSelected(1));
    }

    void panelToolTips() {
        Rig rig;
        const PanelsWithTips panels(rig.monitor);
        rig.poll(3, ReplyKind::Good);
        rig.poll(3, ReplyKind::NoReply);
        rig.nowMs += 61'000;
        QCOMPARE(panels.tip(3), QStringLiteral("Última leitura boa: 09:00:01 (há 62 s)\n"
                                               "Sucesso na última hora: 50,0 %"));
        QCOMPARE(panels.tip(5),
                 QStringLiteral("Última leitura boa: nenhuma\nSucesso na última hora: -"));

        // Panels that outlive their monitor keep the last tooltip it made.
        auto monitor = std::make_unique<health::HealthMonitor>(health::HealthMonitor::Station{
            .settings = rig.stations,
            .logFolder = [&rig] { return rig.folder.path(); },
            .nowMs = [&rig] { return rig.nowMs; },
        });
        const PanelsWithTips outliving(*monitor);
        const QString last = outliving.tip(1);
        QCOMPARE(last, QStringLiteral("Última leitura boa: nenhuma\nSucesso na última hora: -"));
        monitor.reset();
        QCOMPARE(outliving.tip(1), last);
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
