// "PROCURAR ESTAÇÕES" on the configuration window against anemosim on a pseudo-terminal.

#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "config/scan_panel.h"
#include "config/station_edit.h"
#include "serial/serial_port.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "station_env.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

struct Station {
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};
};

struct Simulator {
    QProcess process;
    Simulator(const QString& link, const QString& addresses) {
        process.start(QStringLiteral(ANEMOSIM_PATH), {"--link", link, "--addresses", addresses});
        process.waitForStarted();
        for (int waited = 0; !QFile::exists(link) && waited < 5000; waited += 20)
            QTest::qWait(20);
    }
    ~Simulator() {
        process.terminate();
        process.waitForFinished();
    }
};

} // namespace

class TestScan : public QObject {
    Q_OBJECT

private slots:
    void findsExactlyTheStationsOnTheBus() {
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        Simulator sim(link, QStringLiteral("3,17,200"));
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        s.form2.comboBoxPorta()->setEditText(link);
        config::ScanPanel* scan = s.form2.scanPanel();
        BoxWatcher watcher;
        QTest::mouseClick(scan->searchButton(), Qt::LeftButton);
        QVERIFY(scan->running());
        QVERIFY(scan->cancelButton()->isEnabled());
        QVERIFY(!scan->searchButton()->isEnabled());
        // Polling is stopped and the window stays usable while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(scan->progress()->value() >= 20, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!scan->running(), 60000);
        QCOMPARE(scan->progress()->value(), 247);
        std::vector<int> found;
        for (const auto& station : scan->found())
            found.push_back(station.address);
        QCOMPARE(found, (std::vector<int>{3, 17, 200}));
        QCOMPARE(scan->countLabel()->text(), QStringLiteral("Estações encontradas: 3"));
        QCOMPARE(scan->foundList()->count(), 3);
        QVERIFY(scan->foundList()->item(1)->text().startsWith(QStringLiteral("Endereço 17: ")));
        QVERIFY(scan->foundList()->item(1)->text().contains(QStringLiteral(", bateria ")));
        QVERIFY(watcher.boxes().empty());
        // The port is free again.
        serial::SerialPort other;
        QVERIFY(other.open(link.toStdString(), "9600,N,8,1").ok);
        other.close();

        // The addresses go to the ANEMÔMETROS tab, the station count with them; nothing saved.
        const QByteArray before = env.configBytes();
        QVERIFY(scan->useButton()->isEnabled());
        QTest::mouseClick(scan->useButton(), Qt::LeftButton);
        QCOMPARE(s.form2.addressText(1), QStringLiteral("3"));
        QCOMPARE(s.form2.addressText(2), QStringLiteral("17"));
        QCOMPARE(s.form2.addressText(3), QStringLiteral("200"));
        QCOMPARE(s.form2.stationCountText(), QStringLiteral("3"));
        QVERIFY(!s.form1.stationPanelShown(4));
        QCOMPARE(env.configBytes(), before);
    }

    void cancelAndCloseLeaveThePortFree() {
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        Simulator sim(link, QStringLiteral("1"));
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        s.form2.comboBoxPorta()->setEditText(link);
        config::ScanPanel* scan = s.form2.scanPanel();
        scan->start();
        QTRY_VERIFY_WITH_TIMEOUT(scan->progress()->value() >= 3, 5000);
        QTest::mouseClick(scan->cancelButton(), Qt::LeftButton);
        QVERIFY(!scan->running());
        const int stopped = scan->progress()->value();
        QTest::qWait(400);
        QCOMPARE(scan->progress()->value(), stopped);
        QCOMPARE(scan->found().size(), std::size_t(1));
        serial::SerialPort other;
        QVERIFY(other.open(link.toStdString(), "9600,N,8,1").ok);
        other.close();

        // Closing the window in the middle of a search ends it too.
        s.form2.show();
        scan->start();
        QTRY_VERIFY_WITH_TIMEOUT(scan->progress()->value() >= 3, 5000);
        s.form2.close();
        QVERIFY(!scan->running());
        QVERIFY(other.open(link.toStdString(), "9600,N,8,1").ok);
    }

    void aPortThatCannotOpenGivesTheOpeningMessage() {
        StationEnv env;
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        s.form2.comboBoxPorta()->setEditText(QStringLiteral("ttyNAOEXISTE9"));
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.scanPanel()->searchButton(), Qt::LeftButton);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text,
                 QStringLiteral("Porta Serial ttyNAOEXISTE9 não disponível (pode estar sendo usada "
                                "por outro programa). Configure os paramentros da porta serial"));
        QVERIFY(!s.form2.scanPanel()->running());
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
