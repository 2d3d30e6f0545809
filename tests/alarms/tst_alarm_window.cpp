// The Alarmes window over a real alarm book on a clock of the test's own: the list and the
// day's history as a screen reader reads them, the buttons from the keyboard, the selection
// over changes, the day files kept for audits (a FIFO in their place included) and the export
// of a period. Local time is fixed at UTC-3; the screen is 1024 × 768 under ctest.

#include "alarms/alarm_file.h"
#include "alarms/alarm_record.h"
#include "alarms/alarm_store.h"
#include "alarms/alarm_window.h"

#include "fifo_guard.h"
#include "named_stations.h"

#include <QAccessible>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using alarms::AlarmBook;
using alarms::Key;
using alarms::Kind;

namespace {

constexpr qint64 kSecondMs = 1000;

// 7 December 2026, 09:00:00 local time, and seconds after it (read after main set the zone).
qint64 at(int seconds, int day = 7) {
    return QDateTime(QDate(2026, 12, day), QTime(9, 0)).toMSecsSinceEpoch() + seconds * kSecondMs;
}

struct Rig {
    QTemporaryDir temporary;
    QString folder = temporary.path(); // the log folder
    qint64 nowMs = at(0);
    NamedStations stations{3};
    AlarmBook book;
    alarms::AlarmRecorder recorder{book, stations, [this] { return folder; },
                                   [this] { return nowMs; }};
    alarms::AlarmWindow window{book, recorder, stations, [this] { return nowMs; },
                               QStringLiteral("operador")};

    Rig() { stations.setName(2, QStringLiteral("GUINDASTE Nº 2")); }

    void set(int seconds, int station, Kind kind, bool active, std::optional<double> speed = {}) {
        nowMs = at(seconds);
        book.setActive(station, kind, active, nowMs, speed, QStringLiteral("km/h"));
    }
    // Five alarms, one in each state, and one that came back.
    void fill() {
        set(0, 2, Kind::Preset2, true, 52.34);
        set(30, 2, Kind::Preset2, true, 55.0);
        set(60, 1, Kind::BatteryLow, true);
        set(120, alarms::kPortStation, Kind::PortClosed, true);
        set(150, alarms::kPortStation, Kind::PortClosed, false);
        set(180, 3, Kind::Preset1, true, 31.0);
        book.acknowledge({{3, Kind::Preset1}}, QStringLiteral("maria"), at(240));
        set(300, 1, Kind::NoAnswer, true);
        book.shelve({1, Kind::NoAnswer}, AlarmBook::kShelve30MinMs, QStringLiteral("maria"),
                    at(310));
        set(400, 2, Kind::Preset2, false);
        set(410, 2, Kind::Preset2, true, 40.0);
        nowMs = at(600);
    }
    void showActive() {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    QString file(const QString& name) const { return folder + u'/' + name; }
};

// The table as a screen reader finds it. The offscreen platform has no accessibility bridge,
// so the views tell no one when their rows are reset and the cells cached for a reader would go
// stale: the table is asked afresh each time, as by a reader that has just been told.
QAccessibleInterface* freshInterface(QTableView* view) {
    if (QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(view))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
    return QAccessible::queryAccessibleInterface(view);
}

// A table's column titles (row -1) or a row's cells, as a screen reader reads them.
QStringList readRow(QTableView* view, int row) {
    QAccessibleInterface* iface = freshInterface(view);
    QAccessibleTableInterface* table = iface ? iface->tableInterface() : nullptr;
    if (!table)
        return {QStringLiteral("no table interface")};
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (row < 0 ? table->columnDescription(c)
                          : table->cellAt(row, c)->text(QAccessible::Name));
    return texts;
}

bool rowSelected(QTableView* view, int row) {
    return freshInterface(view)->tableInterface()->isRowSelected(row);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Tries `step` every 20 ms, inside whatever loop a menu or a dialog runs, until it returns true:
// a button pressed by its mnemonic clicks a moment later.
class Poller {
public:
    explicit Poller(std::function<bool()> step) : step_(std::move(step)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (step_())
                timer_.stop();
        });
        timer_.start(20);
    }
    bool done() const { return !timer_.isActive(); }

private:
    std::function<bool()> step_;
    QTimer timer_;
};

const QByteArray kFileHeader = "ESTA\xC7\xC3O;ALARME;PRIORIDADE;VEIO;PICO;RECONHECIDO POR;"
                               "RECONHECIDO \xC0S;FOI;DURA\xC7\xC3O (s);UNIDADE;N\xBA\r\n";
// The day files as they were first written: units beside the numbers, no station number.
const QByteArray kFirstFormHeader = "ESTA\xC7\xC3O;ALARME;PRIORIDADE;VEIO;PICO;RECONHECIDO POR;"
                                    "RECONHECIDO \xC0S;FOI;DURA\xC7\xC3O\r\n";

} // namespace

class TestAlarmWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(1024, 768));
    }

    // Every state as the list shows it, newest first, each text read through the accessibility
    // interface, and every column on a 1024 × 768 screen without scrolling sideways.
    void listAsReadAndOnScreen() {
        Rig rig;
        rig.fill();
        rig.window.show();
        QTableView* list = rig.window.alarmTable();
        QCOMPARE(readRow(list, -1),
                 (QStringList{"ESTAÇÃO", "ALARME", "PRIORIDADE", "ESTADO", "DESDE", "PICO",
                              "RECONHECIDO\nPOR", "RECONHECIDO\nÀS", "REPETIÇÕES"}));
        QCOMPARE(list->model()->rowCount(), 5);
        QCOMPARE(readRow(list, 0),
                 (QStringList{"EST 1", "SEM RESPOSTA", "alta", "SUPRIMIDO ATÉ 09:35",
                              "07/12/2026 09:05:00", "", "", "", "0"}));
        QCOMPARE(readRow(list, 1),
                 (QStringList{"EST 3", "PRESET 1", "média", "RECONHECIDO", "07/12/2026 09:03:00",
                              "31,0 km/h", "maria", "09:04:00", "0"}));
        QCOMPARE(readRow(list, 2), (QStringList{"-", "PORTA FECHADA", "alta", "NORMALIZADO",
                                                "07/12/2026 09:02:00", "", "", "", "0"}));
        QCOMPARE(readRow(list, 3), (QStringList{"EST 1", "BATERIA BAIXA", "baixa", "ATIVO",
                                                "07/12/2026 09:01:00", "", "", "", "0"}));
        // Came back while NORMALIZADO: the same entry, counted, its peak kept.
        QCOMPARE(readRow(list, 4), (QStringList{"GUINDASTE Nº 2", "PRESET 2", "alta", "ATIVO",
                                                "07/12/2026 09:00:00", "55,0 km/h", "", "", "1"}));
        // A renamed station is shown by its new name at once.
        rig.stations.setName(3, QStringLiteral("PÓRTICO"));
        QCOMPARE(readRow(list, 1).constFirst(), QStringLiteral("PÓRTICO"));

        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(
            screen.contains(rig.window.frameGeometry()),
            qPrintable(QStringLiteral("%1x%2").arg(rig.window.width()).arg(rig.window.height())));
        // Every text whole, also those changed in place since the columns were measured.
        for (QTableView* table : {rig.window.alarmTable(), rig.window.historyTable()}) {
            rig.window.tabs()->setCurrentWidget(table == list ? list->parentWidget() : table);
            QTRY_COMPARE(table->horizontalScrollBar()->maximum(), 0);
            for (int row = 0; row < table->model()->rowCount(); ++row) {
                for (int c = 0; c < table->model()->columnCount(); ++c) {
                    const QString text = table->model()->index(row, c).data().toString();
                    QVERIFY2(table->fontMetrics().horizontalAdvance(text) < table->columnWidth(c),
                             qPrintable(text));
                }
            }
        }
    }

    // A row picked with the arrows, Tab to RECONHECER, Space: acknowledged by the user at the
    // test's time; Enter on a row changes nothing; Alt+T acknowledges the rest.
    void acknowledgeFromTheKeyboard() {
        Rig rig;
        rig.set(0, 1, Kind::Preset1, true, 20.0);
        rig.set(10, 2, Kind::BatteryLow, true);
        rig.set(20, 3, Kind::Preset2, true, 30.0);
        rig.nowMs = at(90);
        rig.showActive();
        QSignalSpy journal(&rig.book, &AlarmBook::journal);
        QTableView* list = rig.window.alarmTable();
        list->setFocus();
        QVERIFY(!rig.window.acknowledgeButton()->isEnabled()); // nothing picked yet
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down);
        QVERIFY(rowSelected(list, 1));
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Enter);
        QCOMPARE(journal.count(), 0);
        QCOMPARE(readRow(list, 1)[3], QStringLiteral("ATIVO"));

        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), rig.window.acknowledgeButton());
        // Every button is on the Tab chain, in the order shown, and back.
        const QList<QWidget*> chain{rig.window.acknowledgeButton(),
                                    rig.window.acknowledgeAllButton(), rig.window.silenceButton(),
                                    rig.window.shelveButton(), rig.window.exportButton()};
        for (QWidget* next : chain.mid(1)) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        for (int i = 0; i < chain.size() - 1; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), rig.window.acknowledgeButton());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(readRow(list, 1),
                 (QStringList{"GUINDASTE Nº 2", "BATERIA BAIXA", "baixa", "RECONHECIDO",
                              "07/12/2026 09:00:10", "", "operador", "09:01:30", "0"}));
        QCOMPARE(readRow(list, 0)[3], QStringLiteral("ATIVO"));
        QCOMPARE(readRow(list, 2)[3], QStringLiteral("ATIVO"));
        QCOMPARE(journal.count(), 1);
        QCOMPARE(journal.at(0).at(2).toString(), QStringLiteral("BATERIA BAIXA, operador"));
        // Nothing left to acknowledge among the rows picked.
        QVERIFY(!rig.window.acknowledgeButton()->isEnabled());

        QTest::keyClick(rig.window.windowHandle(), Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(!rig.window.acknowledgeAllButton()->isEnabled());
        for (int row = 0; row < 3; ++row)
            QCOMPARE(readRow(list, row)[3], QStringLiteral("RECONHECIDO"));
        QVERIFY(!rig.window.acknowledgeAllButton()->isEnabled());
    }

    // SILENCIAR can be pressed only while the horn sounds, and stops it until the next alarm.
    void silenceOnlyWhileTheHornSounds() {
        Rig rig;
        rig.showActive();
        QPushButton* silence = rig.window.silenceButton();
        QVERIFY(!silence->isEnabled());
        rig.set(0, 1, Kind::BatteryLow, true);
        QVERIFY(silence->isEnabled());
        QTest::keyClick(rig.window.windowHandle(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(rig.book.horn(), alarms::Horn::None);
        QVERIFY(!silence->isEnabled());
        QCOMPARE(readRow(rig.window.alarmTable(), 0)[3], QStringLiteral("ATIVO"));
        rig.set(10, 2, Kind::Preset2, true, 50.0);
        QVERIFY(silence->isEnabled());
        rig.book.acknowledgeAll(QStringLiteral("maria"), at(20));
        QVERIFY(!silence->isEnabled());
    }

    void shelveFromTheMenu_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("state");
        QTest::newRow("30 minutos") << int(Qt::Key_3) << "SUPRIMIDO ATÉ 09:40";
        QTest::newRow("1 hora") << int(Qt::Key_1) << "SUPRIMIDO ATÉ 10:10";
        QTest::newRow("8 horas") << int(Qt::Key_8) << "SUPRIMIDO ATÉ 17:10";
    }

    // SUPRIMIR… opened with its mnemonic, a duration picked with its own: the row picked is
    // shelved until then, the other not.
    void shelveFromTheMenu() {
        QFETCH(int, key);
        QFETCH(QString, state);
        Rig rig;
        rig.set(0, 1, Kind::Preset1, true, 20.0);
        rig.set(10, 2, Kind::Preset2, true, 30.0);
        rig.nowMs = at(600);
        rig.showActive();
        QTableView* list = rig.window.alarmTable();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down); // the older one: EST 1
        QString menuTitle;
        const Poller pickDuration([&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return false;
            for (const QAction* action : menu->actions())
                menuTitle += action->text() + u'|';
            QTest::keyClick(menu, Qt::Key(key));
            return true;
        });
        QTest::keyClick(rig.window.windowHandle(), Qt::Key_U, Qt::AltModifier);
        QTRY_VERIFY(pickDuration.done());
        QCOMPARE(menuTitle, QStringLiteral("&30 minutos|&1 hora|&8 horas|"));
        QCOMPARE(readRow(list, 1)[3], state);
        QCOMPARE(readRow(list, 0)[3], QStringLiteral("ATIVO"));
        // Shelved by mistake: RETIRAR SUPRESSÃO gives it back its state at once.
        QVERIFY(rig.window.unshelveButton()->isEnabled());
        QTest::keyClick(rig.window.windowHandle(), Qt::Key_P, Qt::AltModifier);
        QTRY_COMPARE(readRow(list, 1)[3], QStringLiteral("ATIVO"));
        QVERIFY(!rig.window.unshelveButton()->isEnabled());
    }

    // The row picked stays picked when another row changes in place, when a row comes and when
    // one leaves; the list is then reset and the row is found again by its alarm.
    void selectionSurvivesOtherRows() {
        Rig rig;
        rig.set(0, 1, Kind::Preset1, true, 20.0);
        rig.set(10, 2, Kind::BatteryLow, true);
        rig.set(20, 3, Kind::Preset2, true, 30.0);
        rig.set(30, 3, Kind::Preset2, false);
        rig.window.show();
        QTableView* list = rig.window.alarmTable();
        list->selectRow(1);
        const auto picked = [&] {
            QStringList rows;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                if (rowSelected(list, row))
                    rows << readRow(list, row).mid(0, 2).join(u' ');
            }
            return rows;
        };
        const QStringList battery{"GUINDASTE Nº 2 BATERIA BAIXA"};
        QCOMPARE(picked(), battery);
        rig.set(40, 1, Kind::Preset1, true, 25.0); // a new peak on another row
        QCOMPARE(readRow(list, 2)[5], QStringLiteral("25,0 km/h"));
        QCOMPARE(picked(), battery);
        rig.set(50, 1, Kind::NoAnswer, true); // a new row on top
        QCOMPARE(picked(), battery);
        QCOMPARE(list->currentIndex().row(), 2);
        rig.book.acknowledge({{3, Kind::Preset2}}, QStringLiteral("maria"), at(60)); // one leaves
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(picked(), battery);
    }

    // The day's history: when each alarm came, its peak, who acknowledged it, when it went and
    // how long it lasted, or "-" and the time so far while still active.
    void dayHistory() {
        Rig rig;
        rig.set(0, 2, Kind::Preset2, true, 48.0);
        rig.set(5, 2, Kind::Preset2, true, 61.25);
        rig.set(60, 1, Kind::BatteryLow, true);
        rig.book.acknowledge({{2, Kind::Preset2}}, QStringLiteral("operador"), at(100));
        rig.set(250, 2, Kind::Preset2, false);
        rig.set(300, 3, Kind::LogFailed, true);
        rig.set(305, 3, Kind::LogFailed, false);
        rig.nowMs = at(3780);
        rig.window.show();
        QTableView* history = rig.window.historyTable();
        QCOMPARE(readRow(history, -1),
                 (QStringList{"ESTAÇÃO", "ALARME", "PRIORIDADE", "VEIO", "PICO", "RECONHECIDO\nPOR",
                              "RECONHECIDO\nÀS", "FOI", "DURAÇÃO"}));
        QCOMPARE(history->model()->rowCount(), 3);
        QCOMPARE(readRow(history, 0),
                 (QStringList{"EST 3", "LOG FALHOU", "baixa", "07/12/2026 09:05:00", "", "", "",
                              "09:05:05", "5 s"}));
        QCOMPARE(readRow(history, 1),
                 (QStringList{"EST 1", "BATERIA BAIXA", "baixa", "07/12/2026 09:01:00", "", "", "",
                              "-", "1 h 02 min"}));
        QCOMPARE(readRow(history, 2),
                 (QStringList{"GUINDASTE Nº 2", "PRESET 2", "alta", "07/12/2026 09:00:00",
                              "61,3 km/h", "operador", "09:01:40", "09:04:10", "4 min 10 s"}));
        rig.nowMs = at(3845);
        QCOMPARE(readRow(history, 1)[8], QStringLiteral("1 h 03 min"));
    }

    // Each coming gets its line as it goes, acknowledged or not; an acknowledgement that comes
    // later is written into the lines it reaches. Windows-1252, CR LF, numbers without units,
    // the header once, what the file held kept.
    void dayFileLines() {
        Rig rig;
        const QString path = rig.file(QStringLiteral("Alarmes 07-12-2026.csv"));
        const QByteArray held = kFileHeader + "EST 1;PRESET 1;m\xE9"
                                              "dia;07/12/2026 08:00:00;;;;"
                                              "07/12/2026 08:00:05;5;;1\r\n";
        writeBytes(path, held);
        rig.set(0, 2, Kind::Preset2, true, 52.3);
        rig.book.acknowledge({{2, Kind::Preset2}}, QStringLiteral("José"), at(20));
        rig.set(60, 1, Kind::Preset1, true, 30.0);
        rig.set(70, 1, Kind::Preset1, false); // NORMALIZADO: in the file from now
        const auto preset1 = [](const QByteArray& acknowledged) {
            return "EST 1;PRESET 1;m\xE9"
                   "dia;07/12/2026 09:01:00;30,0;" +
                   acknowledged + ";07/12/2026 09:01:10;10;km/h;1\r\n";
        };
        QCOMPARE(contents(path), held + preset1(";"));
        rig.set(125, 2, Kind::Preset2, false);
        const QByteArray preset2 =
            "GUINDASTE N\xBA 2;PRESET 2;alta;07/12/2026 09:00:00;52,3;Jos\xE9;"
            "07/12/2026 09:00:20;07/12/2026 09:02:05;125;km/h;2\r\n";
        QCOMPARE(contents(path), held + preset1(";") + preset2);
        rig.book.acknowledge({{1, Kind::Preset1}}, QStringLiteral("maria"), at(200));
        QCOMPARE(contents(path), held + preset1("maria;07/12/2026 09:03:20") + preset2);

        // A new day's file starts with the header; a coming is in the file of the day it came.
        rig.set(14 * 3600 + 50 * 60, 1, Kind::BatteryLow, true);
        rig.nowMs = at(0, 8);
        rig.book.setActive(3, Kind::LogFailed, true, rig.nowMs);
        rig.book.setActive(1, Kind::BatteryLow, false, rig.nowMs);
        rig.book.acknowledgeAll(QStringLiteral("maria"), rig.nowMs + 60 * kSecondMs);
        rig.book.setActive(3, Kind::LogFailed, false, rig.nowMs + 61 * kSecondMs);
        QCOMPARE(contents(rig.file(QStringLiteral("Alarmes 08-12-2026.csv"))),
                 kFileHeader +
                     "EST 3;LOG FALHOU;baixa;08/12/2026 09:00:00;;maria;08/12/2026 09:01:00;"
                     "08/12/2026 09:01:01;61;;3\r\n");
        QVERIFY(contents(path).endsWith(
            preset2 + "EST 1;BATERIA BAIXA;baixa;07/12/2026 23:50:00;;maria;08/12/2026 09:01:00;"
                      "08/12/2026 09:00:00;33000;;1\r\n"));
    }

    // A FIFO in the day file's place is refused at once, told once, and what waited is written
    // once a file can be, an acknowledgement given meanwhile included.
    void dayFileFifoRefused() {
        Rig rig;
        const QString path = rig.file(QStringLiteral("Alarmes 07-12-2026.csv"));
        QSignalSpy failed(&rig.recorder, &alarms::AlarmRecorder::failed);
        {
            const FifoGuard fifo(path);
            QVERIFY(fifo.made());
            rig.set(0, 1, Kind::BatteryLow, true);
            rig.set(10, 1, Kind::BatteryLow, false);
            rig.set(20, 2, Kind::LogFailed, true);
            rig.book.acknowledgeAll(QStringLiteral("maria"), at(25));
            QVERIFY(!fifo.readerWaited());
            QCOMPARE(failed.count(), 1);
            QCOMPARE(failed.at(0).at(0).toString(),
                     QStringLiteral("Não foi possível gravar os alarmes em \"Alarmes "
                                    "07-12-2026.csv\": File access denied"));
            QCOMPARE(rig.recorder.waiting(), 3); // a coming and two acknowledgements
        }
        rig.set(30, 2, Kind::LogFailed, false);
        QCOMPARE(contents(path),
                 kFileHeader +
                     "EST 1;BATERIA BAIXA;baixa;07/12/2026 09:00:00;;maria;07/12/2026 09:00:25;"
                     "07/12/2026 09:00:10;10;;1\r\n"
                     "GUINDASTE N\xBA 2;LOG FALHOU;baixa;07/12/2026 09:00:20;;maria;"
                     "07/12/2026 09:00:25;07/12/2026 09:00:30;10;;2\r\n");
        QCOMPARE(rig.recorder.waiting(), 0);
    }

    // Exportar…: a period of two days asked in the window's own dialog, the file name proposed
    // after it; both days' lines, a file of the first form among them, and today's alarm not
    // over yet, by the time they came, nothing of the day before; numbers a spreadsheet reads.
    void exportTwoDays() {
        Rig rig;
        writeBytes(rig.file(QStringLiteral("Alarmes 05-12-2026.csv")),
                   kFirstFormHeader + "EST 1;PRESET 2;alta;05/12/2026 10:00:00;;;;;\r\n");
        writeBytes(rig.file(QStringLiteral("Alarmes 06-12-2026.csv")),
                   kFirstFormHeader + "GUINDASTE N\xBA 2;PRESET 2;alta;06/12/2026 11:00:00;"
                                      "43,0 km/h;;;06/12/2026 11:02:02;2 min 02 s\r\n");
        rig.nowMs = at(3600, 6);
        rig.book.setActive(1, Kind::Preset1, true, rig.nowMs, 33.0, QStringLiteral("m/s"));
        rig.book.acknowledgeAll(QStringLiteral("maria"), at(3660, 6));
        rig.book.setActive(1, Kind::Preset1, false, at(3900, 6));
        rig.set(0, 2, Kind::BatteryLow, true);
        rig.set(60, 2, Kind::BatteryLow, false);
        rig.book.acknowledgeAll(QStringLiteral("operador"), at(70));
        rig.set(100, 3, Kind::Preset2, true, 44.0);
        rig.nowMs = at(400);
        rig.showActive();

        const QString path = rig.file(QStringLiteral("auditoria"));
        QDate proposedUntil;
        QString proposed;
        const Poller givePeriod([&] {
            auto* period = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* from = period ? period->findChild<QDateEdit*>(QStringLiteral("De")) : nullptr;
            auto* to = period ? period->findChild<QDateEdit*>(QStringLiteral("Ate")) : nullptr;
            if (!from || !to)
                return false;
            proposedUntil = to->date();
            from->setDate(QDate(2026, 12, 6));
            QTest::keyClick(period, Qt::Key_Return);
            return true;
        });
        const Poller giveName([&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
            if (!name)
                return false;
            proposed = name->text();
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
            return true;
        });
        QTest::keyClick(rig.window.windowHandle(), Qt::Key_E, Qt::AltModifier);
        QTRY_VERIFY(giveName.done());
        QCOMPARE(proposedUntil, QDate(2026, 12, 7));
        QCOMPARE(proposed, QStringLiteral("Alarmes 06-12-2026 a 07-12-2026.csv"));
        QCOMPARE(contents(path + QStringLiteral(".csv")),
                 kFileHeader +
                     "EST 1;PRESET 1;m\xE9"
                     "dia;06/12/2026 10:00:00;33,0;maria;"
                     "06/12/2026 10:01:00;06/12/2026 10:05:00;300;m/s;1\r\n"
                     "GUINDASTE N\xBA 2;PRESET 2;alta;06/12/2026 11:00:00;43,0;;;"
                     "06/12/2026 11:02:02;122;km/h;2\r\n"
                     "GUINDASTE N\xBA 2;BATERIA BAIXA;baixa;07/12/2026 09:00:00;;operador;"
                     "07/12/2026 09:01:10;07/12/2026 09:01:00;60;;2\r\n"
                     "EST 3;PRESET 2;alta;07/12/2026 09:01:40;44,0;;;-;300;km/h;3\r\n");
        // The day file of the first form was written again in the current one as it grew.
        QVERIFY(
            contents(rig.file(QStringLiteral("Alarmes 06-12-2026.csv"))).startsWith(kFileHeader));
    }

    // A restart: "Histórico do dia" and the export read the day back, the list file and the day
    // file together; the comings in progress go on, acknowledged or not.
    void restartReadsTheDayBack() {
        QTemporaryDir folder;
        const QString listFile = folder.filePath(alarms::kAlarmFileName);
        QStringList before;
        {
            Rig rig;
            rig.folder = folder.path();
            alarms::AlarmStore store(rig.book, listFile);
            for (int i = 0; i < 6; ++i) {
                rig.set(20 * i, 1 + i % 3, Kind::Preset2, true, 40.0 + i);
                rig.set(20 * i + 10, 1 + i % 3, Kind::Preset2, false);
            }
            rig.book.acknowledgeAll(QStringLiteral("ana"), at(150));
            rig.set(160, 1, Kind::NoAnswer, true);
            rig.book.acknowledgeAll(QStringLiteral("ana"), at(170));
            rig.set(180, 2, Kind::Preset1, true, 30.0);
            rig.nowMs = at(200);
            rig.window.show();
            for (int row = 0; row < rig.window.historyTable()->model()->rowCount(); ++row)
                before << readRow(rig.window.historyTable(), row).join(u'|');
            QCOMPARE(before.size(), 8);
        }
        Rig rig;
        rig.folder = folder.path();
        rig.nowMs = at(200);
        alarms::AlarmStore store(rig.book, listFile);
        QCOMPARE(store.restore(rig.recorder.readToday()), QString());
        rig.window.show();
        QStringList after;
        for (int row = 0; row < rig.window.historyTable()->model()->rowCount(); ++row)
            after << readRow(rig.window.historyTable(), row).join(u'|');
        QCOMPARE(after, before);

        const QString path = rig.file(QStringLiteral("hoje.csv"));
        rig.window.exportTo(QDate(2026, 12, 7), QDate(2026, 12, 7), path);
        const QList<QByteArray> lines = contents(path).split('\n');
        QCOMPARE(lines.size(), 1 + 8 + 1);
        QVERIFY(lines.at(7).startsWith("EST 1;SEM RESPOSTA;alta;07/12/2026 09:02:40;;ana;"));
        QVERIFY(lines.at(8).startsWith("GUINDASTE N\xBA 2;PRESET 1;m\xE9"
                                       "dia;07/12/2026 09:03:00;30,0;;;-;"));
    }

    // A day of chatter: a coming adds one row and a peak changes one, however many the day
    // holds already; nothing is laid out again.
    void historyFollowsRecordByRecord() {
        Rig rig;
        for (int i = 0; i < 1000; ++i) {
            rig.set(2 * i, 1, Kind::Preset1, true, 20.0);
            rig.set(2 * i + 1, 1, Kind::Preset1, false);
        }
        QAbstractItemModel* history = rig.window.historyTable()->model();
        QCOMPARE(history->rowCount(), 1000);
        QSignalSpy reset(history, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(history, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(history, &QAbstractItemModel::dataChanged);
        rig.set(3000, 1, Kind::Preset1, true, 20.0);
        rig.set(3001, 1, Kind::Preset1, true, 25.0);
        rig.set(3002, 1, Kind::Preset1, false);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(history->rowCount(), 1001);
        for (const QList<QVariant>& change : changed)
            QCOMPARE(change.at(0).toModelIndex().row(), 0);
        QCOMPARE(readRow(rig.window.historyTable(), 0)[4], QStringLiteral("25,0 km/h"));
    }
};

int main(int argc, char** argv) {
    // Local time three hours behind UTC all year, so the times shown are fixed.
    qputenv("TZ", "<-03>3");
    QApplication app(argc, argv);
    TestAlarmWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alarm_window.moc"
