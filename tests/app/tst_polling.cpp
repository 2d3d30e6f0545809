#include "app/comm_Unit1.h"
#include "app/station_windows.h"
#include "config/Unit2.h"
#include "config/station_edit.h"
#include "health/diagnostics_window.h"
#include "history/history_window.h"
#include "readings/station_panel.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "pty_pair.h"
#include "reply_wait.h"
#include "station_env.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

struct Station {
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};

    void usePort(const std::string& path, const QString& baud = QStringLiteral("9600")) {
        form2.comboBoxPorta()->setEditText(QString::fromStdString(path));
        form2.comboBoxVelocidade()->setEditText(baud);
    }
    void useStations(int count) {
        form2.comboBoxRede()->setEditText(QString::number(count));
        form2.ComboBoxRedeChange();
    }
};

// Starts anemosim with `stations` stations behind `link`, recording every request.
void startSimulator(QProcess& sim, const QString& link, const QString& record, int stations) {
    sim.start(QStringLiteral(ANEMOSIM_PATH),
              {"--link", link, "--stations", QString::number(stations), "--seed", "7", "--record",
               record});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 5000);
}

QString iconOf(const readings::StationPanel& panel) {
    return panel.image(readings::StationPanel::Icon::Communication)
        ->property("iconPath")
        .toString();
}

QByteArray request(std::initializer_list<int> bytes) {
    QByteArray out;
    for (int b : bytes)
        out.append(static_cast<char>(b));
    return out;
}

} // namespace

class TestPolling : public QObject {
    Q_OBJECT

private slots:
    void openingSucceeds() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.TimerAbrePortaTimer();
        QVERIFY(s.form1.stationBus().portOpen());
        QCOMPARE(s.form1.statusText(2), QString::fromStdString(pty.path()) + " Aberta");
        QVERIFY(s.form1.controlTimer().enabled());
        QCOMPARE(s.form1.controlTimer().interval(), 2000);
        QCOMPARE(s.form1.stationBus().replyTimer(1).interval(), 150);
        for (int n = 2; n <= 8; ++n)
            QCOMPARE(s.form1.stationBus().replyTimer(n).interval(), 100);
        QVERIFY(!s.form1.openPortTimer().enabled());
    }

    void missingPortWaitsForTheUser() {
        StationEnv env;
        Station s;
        s.usePort("ttyNAOEXISTE9");
        s.form1.controlTimer().setEnabled(true);
        BoxWatcher watcher([&](QMessageBox*) {
            // The opening timer is stopped before the message shows.
            QVERIFY(!s.form1.openPortTimer().enabled());
        });
        s.form1.TimerAbrePortaTimer();
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text,
                 QStringLiteral("Porta Serial ttyNAOEXISTE9 não disponível (pode estar sendo usada "
                                "por outro programa). Configure os paramentros da porta serial"));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::NoIcon);
        QCOMPARE(s.form1.statusText(2), QStringLiteral("ttyNAOEXISTE9 Fechada"));
        QVERIFY(!s.form1.controlTimer().enabled());
        QVERIFY(!s.form1.openPortTimer().enabled());
        QCOMPARE(s.form1.openPortTimer().interval(), 5000);
        QTest::qWait(300);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
    }

    void portHeldElsewhereIsNotAvailable() {
        StationEnv env;
        Pty pty;
        serial::SerialPort other;
        QVERIFY(other.open(pty.path(), "9600,N,8,1").ok);
        Station s;
        s.usePort(pty.path());
        BoxWatcher watcher;
        s.form1.TimerAbrePortaTimer();
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QVERIFY(watcher.boxes()[0].text.contains(QStringLiteral(" não disponível")));
        QVERIFY(!s.form1.stationBus().portOpen());
    }

    void refusedStepRetriesAndNeverOverlaps_data() {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("message");
        QTest::newRow("baud text not a number")
            << true << "abc"
            << "Não é permitido montar os parametros da Porta abc,N,8,1 Erro: 22";
        QTest::newRow("not a terminal")
            << false << "9600"
            << "Não é permitido montar os parametros da Porta 9600,N,8,1 Erro: 25";
        QTest::newRow("unsupported rate")
            << true << "12345"
            << "Não é permitido configurar os parametros da Porta12345,N,8,1 Erro: 22";
    }
    void refusedStepRetriesAndNeverOverlaps() {
        QFETCH(bool, terminal);
        QFETCH(QString, baud);
        QFETCH(QString, message);
        StationEnv env;
        Pty pty;
        const std::string notATerminal = (env.dir() + QStringLiteral("/arquivo")).toStdString();
        QFile(QString::fromStdString(notATerminal)).open(QIODevice::WriteOnly);
        Station s;
        s.usePort(terminal ? pty.path() : notATerminal, baud);
        bool openWhileShown = false;
        BoxWatcher watcher([&](QMessageBox*) {
            // Ticks keep coming under the box: none of them may start a second attempt.
            openWhileShown = s.form1.stationBus().portOpen();
            s.form1.openPortTimer().setInterval(10);
            QTest::qWait(150);
        });
        s.form1.TimerAbrePortaTimer();
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, message);
        QCOMPARE(watcher.maxOpenAtOnce(), 1);
        QVERIFY(openWhileShown);
        QVERIFY(!s.form1.stationBus().portOpen());
        const QString name = s.form2.portName();
        QCOMPARE(s.form1.statusText(2), name + QStringLiteral(" Fechada"));
        QVERIFY(!s.form1.controlTimer().enabled());
        QVERIFY(s.form1.openPortTimer().enabled());
        QCOMPARE(s.form1.openPortTimer().interval(), 5000);
    }

    void requestsOnTheWire_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("trail");
        QTest::newRow("1") << "1" << request({0x01, 0x03, 0, 0, 0, 6, 0xC5, 0xC8}) << "N°: 1";
        QTest::newRow("2") << "2" << request({0x02, 0x03, 0, 0, 0, 6, 0xC5, 0xFB}) << "N°: 2";
        QTest::newRow("300") << "300" << request({0x2C, 0x03, 0, 0, 0, 6, 0xC3, 0xB5}) << "N°: 44";
    }
    void requestsOnTheWire() {
        QFETCH(QString, address);
        QFETCH(QByteArray, frame);
        QFETCH(QString, trail);
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.TimerAbrePortaTimer();
        s.form2.addressEdit(1)->setText(address);
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received(), frame);
        QCOMPARE(s.form1.statusText(2), trail);
        QVERIFY(s.form1.stationBus().replyTimer(1).enabled());
        QVERIFY(s.form1.controlTimer().enabled());
        QCOMPARE(s.form1.controlTimer().interval(), 200);
        QCOMPARE(s.form1.stationBus().lastRequest(),
                 (modbus::LastRequest{static_cast<std::uint8_t>(frame[0]), 3, 0, 0, 0, 6}));
    }

    void cycleOverThreeStations() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.useStations(3);
        s.form1.setCyclePause(4385);
        s.form1.TimerAbrePortaTimer();
        const std::array<void (TForm1::*)(), 3> replyTicks{
            &TForm1::Timer1Timer, &TForm1::Timer2Timer, &TForm1::Timer3Timer};
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(s.form1.stationBus().stationIndex(), n);
            s.form1.TimerControleTimer();
            QCOMPARE(pty.received().size(), 8);
            (s.form1.*replyTicks[n - 1])();
            QVERIFY(!s.form1.stationBus().replyTimer(n).enabled());
            QCOMPARE(s.form1.stationBus().stationIndex(), n + 1);
            QVERIFY(waitForReply(s.form1.stationBus()));
        }
        QVERIFY(s.form1.statusText(2).startsWith(QStringLiteral("N°: 1")));
        QVERIFY(s.form1.statusText(2).contains(QStringLiteral(" | N°: 2")));
        QVERIFY(s.form1.statusText(2).contains(QStringLiteral(" | N°: 3")));
        // Panel 4 is hidden: the cycle ends and waits its pause.
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received(), QByteArray());
        QCOMPARE(s.form1.stationBus().stationIndex(), 1);
        QCOMPARE(s.form1.controlTimer().interval(), 4385);
        QVERIFY(s.form1.controlTimer().enabled());
    }

    void indexNineEndsTheCycle() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.setCyclePause(200);
        s.form1.TimerAbrePortaTimer();
        s.form1.stationBus().setStationIndex(8);
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received().size(), 8);
        s.form1.Timer8Timer();
        QCOMPARE(s.form1.stationBus().stationIndex(), 9);
        QVERIFY(waitForReply(s.form1.stationBus()));
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received(), QByteArray());
        QCOMPARE(s.form1.stationBus().stationIndex(), 1);
    }

    void hiddenFirstPanelSendsNothing() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.TimerAbrePortaTimer();
        s.form1.stationSettings().setPolled(1, false);
        s.form1.setCyclePause(0);
        for (int i = 0; i < 3; ++i)
            s.form1.TimerControleTimer();
        QCOMPARE(pty.received(), QByteArray());
        // A cycle pause of 0: the control timer is enabled but never ticks.
        QVERIFY(s.form1.controlTimer().enabled());
        QVERIFY(!s.form1.controlTimer().isTicking());
    }

    void badAddressStopsPolling() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.TimerAbrePortaTimer();
        s.form2.addressEdit(1)->setText(QStringLiteral("1a"));
        const QString before = s.form1.statusText(2);
        BoxWatcher watcher;
        QMetaObject::invokeMethod(&s.form1.controlTimer(), "timeout");
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'1a' is not a valid integer value"));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::Critical);
        QVERIFY(!s.form1.controlTimer().enabled());
        QVERIFY(!s.form1.stationBus().replyTimer(1).enabled());
        QCOMPARE(s.form1.statusText(2), before);
        QCOMPARE(pty.received(), QByteArray());
    }

    void indexSurvivesTheConfigurationWindow() {
        StationEnv env;
        Pty pty;
        Station s;
        s.usePort(pty.path());
        s.form1.TimerAbrePortaTimer();
        s.form1.stationBus().setStationIndex(3);
        QTimer::singleShot(30, &s.form2, [&] { s.form2.close(); });
        s.form1.N1Click();
        QCOMPARE(s.form1.stationBus().stationIndex(), 3);
        QVERIFY(!s.form1.stationBus().portOpen());
        // Closing the window starts the opening timer; its tick reopens and polling resumes.
        QVERIFY(s.form1.openPortTimer().enabled());
        s.form1.TimerAbrePortaTimer();
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received().at(0), char(3));
    }

    void realTimeAgainstTheSimulatedBus() {
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        const QString record = env.dir() + QStringLiteral("/record.csv");
        QProcess sim;
        startSimulator(sim, link, record, 3);

        QByteArray config = env.configBytes();
        QList<QByteArray> lines = config.split('\n');
        lines[0] = link.toUtf8() + "\r";
        lines[2] = "3\r";
        lines[27] = "2\r";
        lines[28] = "1385\r"; // 2 × 1000 − 3 × 205
        env.writeConfig(lines.join('\n'));

        QElapsedTimer clock; // the same monotonic clock as the simulator's record
        clock.start();
        const qint64 startMs = clock.msecsSinceReference();
        Station s;
        QTest::qWait(5600);
        sim.terminate();
        sim.waitForFinished();

        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<qint64> times;
        QList<int> addresses;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(';');
            if (fields.size() < 4)
                continue;
            times << fields[0].toLongLong();
            addresses << fields[2].toInt();
        }
        QVERIFY2(times.size() >= 6, qPrintable(QString::number(times.size())));
        QCOMPARE(addresses.mid(0, 6), (QList<int>{1, 2, 3, 1, 2, 3}));
        // The first request: the opening timer's second, then the control timer's 2000 ms.
        const qint64 first = times[0] - startMs;
        QVERIFY2(first >= 2900 && first <= 3600, qPrintable(QString::number(first)));
        for (int i : {1, 2, 4, 5}) {
            const qint64 spacing = times[i] - times[i - 1];
            QVERIFY2(spacing >= 190 && spacing <= 300, qPrintable(QString::number(spacing)));
        }
        // Station 3 to station 1: the end-of-cycle step, then the pause.
        const qint64 gap = times[3] - times[2];
        QVERIFY2(gap >= 200 + 1385 - 10 && gap <= 200 + 1385 + 150,
                 qPrintable(QString::number(gap)));
    }

    // Every box that a tick raises is left open for seconds while the timers keep running
    // under it: one box per failure, and the program goes on afterwards.
    void boxLeftOpenWhileTimersRun_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("pollsUnderTheBox");
        QTest::newRow("log folder removed") << "log"
                                            << "File not found" << true;
        QTest::newRow("icon file missing") << "icon"
                                           << "File not found" << true;
        QTest::newRow("address not a number") << "address"
                                              << "'2x' is not a valid integer value" << false;
        QTest::newRow("port missing") << "port"
                                      << "Porta Serial ttyNAOEXISTE9 não disponível (pode estar "
                                         "sendo usada por outro programa). Configure os "
                                         "paramentros da porta serial"
                                      << false;
        QTest::newRow("line settings refused")
            << "baud"
            << "Não é permitido montar os parametros da Porta abc,N,8,1 Erro: 22" << false;
    }
    void boxLeftOpenWhileTimersRun() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(bool, pollsUnderTheBox);
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        QProcess sim;
        startSimulator(sim, link, env.dir() + QStringLiteral("/record.csv"), 3);
        Station s;
        s.usePort(fault == "port" ? std::string("ttyNAOEXISTE9") : link.toStdString(),
                  fault == "baud" ? QStringLiteral("abc") : QStringLiteral("9600"));
        s.useStations(3);
        s.form1.setCyclePause(200);
        s.form1.controlTimer().setInterval(200);
        for (int station = 1; station <= 3; ++station)
            s.form2.logBox(station)->setChecked(fault == "log");
        if (fault == "log")
            QDir(env.documents() + QStringLiteral("/log_zareraziru")).removeRecursively();
        if (fault == "icon") {
            QFile::remove(env.dir() + QStringLiteral("/IMAGES"));
            QDir().mkpath(env.dir() + QStringLiteral("/IMAGES"));
            for (const char* icon : {"COM_OFF", "BAT_100", "BAT_75", "BAT_50", "BAT_25", "BAT_0",
                                     "SOUND_ON", "SOUND_OFF", "RF_ON", "RF_OFF"})
                QFile::copy(QStringLiteral(STATION_DIR "/IMAGES/%1.ICO").arg(icon),
                            env.dir() + QStringLiteral("/IMAGES/%1.ICO").arg(icon));
        }
        if (fault == "address")
            s.form2.addressEdit(2)->setText(QStringLiteral("2x"));

        QSignalSpy replies(&s.form1.stationBus().replyTimer(1), &toolkit::Timer::timeout);
        int repliesUnderTheBox = 0;
        BoxWatcher watcher([&](QMessageBox*) {
            const int before = int(replies.count());
            QTest::qWait(2600);
            repliesUnderTheBox = int(replies.count()) - before;
        });
        s.form1.openPortTimer().setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.boxes().empty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.openNow(), 0, 5000);
        QCOMPARE(watcher.boxes()[0].text, message);
        QCOMPARE(watcher.maxOpenAtOnce(), 1);
        if (pollsUnderTheBox)
            QVERIFY2(repliesUnderTheBox >= 3, qPrintable(QString::number(repliesUnderTheBox)));
        else
            QCOMPARE(repliesUnderTheBox, 0);
        // Alive afterwards, and polling where the failure lets it go on.
        const QString trail = s.form1.statusText(2);
        QTest::qWait(600);
        QCOMPARE(s.form1.statusText(2) != trail, pollsUnderTheBox);
        sim.terminate();
        sim.waitForFinished();
    }

    // "Controle → Diagnóstico" opens a window beside the main one; polling goes on, and the
    // journal has the program's start and, once it ends, its end.
    void diagnosticsWhilePolling() {
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        QProcess sim;
        startSimulator(sim, link, env.dir() + QStringLiteral("/record.csv"), 2);
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = link.toUtf8() + '\r';
        config[2] = "2\r";
        config[28] = "200\r";
        env.writeConfig(config.join('\n'));
        const QString journal = env.documents() + QStringLiteral("/log_zareraziru/") +
                                health::journal::fileName(QDate::currentDate());
        {
            StationWindows windows;
            QMenu* controle =
                windows.form1->menuBar()->findChild<QMenu*>(QStringLiteral("Controle1"));
            QStringList items;
            for (QAction* a : controle->actions())
                items << (a->isSeparator() ? QStringLiteral("-") : a->text());
            QCOMPARE(items,
                     (QStringList{"Configurações", "-", "Diagnóstico", "Histórico", "Alarmes"}));
            QTRY_VERIFY_WITH_TIMEOUT(
                windows.form1->statusText(2).contains(QStringLiteral("2 - OK")), 8000);
            controle->actions().at(2)->trigger();
            QVERIFY(windows.diagnostics->isVisible());
            QVERIFY(!QApplication::activeModalWidget());
            const QString trail = windows.form1->statusText(2);
            QTRY_VERIFY_WITH_TIMEOUT(windows.form1->statusText(2) != trail, 3000);
            QTableView* table = windows.diagnostics->stationTable();
            QCOMPARE(table->model()->rowCount(), 2);
            QCOMPARE(table->model()->index(1, 0).data().toString(), QStringLiteral("ANEMÔMETRO 2"));
            QCOMPARE(table->model()->index(1, 2).data().toString(), QStringLiteral("Respondendo"));
            QTRY_VERIFY_WITH_TIMEOUT(table->model()->index(0, 10).data().toString().toInt() >= 2,
                                     2500);
            QVERIFY(windows.diagnostics->journalTable()->model()->rowCount() >= 1);

            // "Histórico", beside them: today's readings of a station that is not logged.
            controle->actions().at(3)->trigger();
            QVERIFY(windows.history->isVisible());
            QVERIFY(!QApplication::activeModalWidget());
            QTRY_VERIFY_WITH_TIMEOUT(!windows.history->loading(), 5000);
            QCOMPARE(windows.history->stationBox()->currentText(), QStringLiteral("ANEMÔMETRO 1"));
            QVERIFY(windows.history->noteLabel()->text().contains(
                QStringLiteral("ANEMÔMETRO 1 não está sendo gravada")));
            QVERIFY(windows.history->summaryLabel()->text().contains(QStringLiteral("Leituras: ")));
            const QString trail2 = windows.form1->statusText(2);
            QTRY_VERIFY_WITH_TIMEOUT(windows.form1->statusText(2) != trail2, 3000);
        }
        QFile file(journal);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes.contains(";-;IN\xCD"
                                "CIO;;\r\n") &&
                     bytes.endsWith(";-;FIM;;\r\n"),
                 bytes.constData());
        sim.terminate();
        sim.waitForFinished();
    }

    void vanishedDeviceIsReopenedQuietly() {
        StationEnv env;
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        const QString record = env.dir() + QStringLiteral("/record.csv");
        QProcess sim;
        startSimulator(sim, link, record, 3);
        Station s;
        s.usePort(link.toStdString());
        s.useStations(3);
        s.form1.setCyclePause(200);
        s.form1.controlTimer().setInterval(200);
        BoxWatcher watcher;
        s.form1.TimerAbrePortaTimer();
        QTRY_VERIFY_WITH_TIMEOUT(s.form1.statusText(2).endsWith(QStringLiteral("3 - OK")), 3000);
        const auto looksFailed = [&](int station) {
            readings::StationPanel& panel = s.form1.panel(station);
            return iconOf(panel) == QStringLiteral("IMAGES/COM_OFF.ICO") &&
                   panel.preset1()->property("colourReference").toUInt() ==
                       readings::kColourSilver &&
                   panel.preset2()->property("colourReference").toUInt() == readings::kColourSilver;
        };
        std::array<QString, 3> speeds;
        for (int station = 1; station <= 3; ++station) {
            QVERIFY(!looksFailed(station));
            speeds[std::size_t(station - 1)] = s.form1.panel(station).speedLabel()->text();
        }

        ::kill(static_cast<pid_t>(sim.processId()), SIGUSR1); // the adapter is pulled out
        QElapsedTimer pulled;
        pulled.start();
        QTRY_COMPARE_WITH_TIMEOUT(s.form1.statusText(2), link + QStringLiteral(" Fechada"), 3000);
        // Within one poll cycle no panel shows its last reading as current any more; the
        // values stay, as after a failed reply.
        QVERIFY2(pulled.elapsed() < 1200, qPrintable(QString::number(pulled.elapsed())));
        for (int station = 1; station <= 3; ++station) {
            QVERIFY2(looksFailed(station), qPrintable(QString::number(station)));
            QCOMPARE(s.form1.panel(station).speedLabel()->text(), speeds[std::size_t(station - 1)]);
        }
        QVERIFY(!s.form1.stationBus().portOpen());
        QVERIFY(!s.form1.controlTimer().enabled());
        QTest::qWait(5500); // at least one quiet attempt while the device is away
        QCOMPARE(s.form1.statusText(2), link + QStringLiteral(" Fechada"));

        ::kill(static_cast<pid_t>(sim.processId()), SIGUSR2); // and plugged back
        QElapsedTimer back;
        back.start();
        QTRY_VERIFY_WITH_TIMEOUT(s.form1.statusText(2).endsWith(QStringLiteral(" - OK")), 8000);
        QVERIFY2(back.elapsed() < 6000 + 700, qPrintable(QString::number(back.elapsed())));
        // Each panel comes back with its own next good reply, within one cycle.
        for (int station = 1; station <= 3; ++station)
            QTRY_VERIFY_WITH_TIMEOUT(!looksFailed(station), 1500);
        QCOMPARE(watcher.boxes().size(), std::size_t(0));
        sim.terminate();
        sim.waitForFinished();
    }
};

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
