// The read of a reply waits in the message loop, never on the thread of the windows, and the
// wire keeps its timing: the bus against anemosim and plain pseudo-terminals.

#include "bus/bus_scan.h"
#include "bus/station_bus.h"
#include "modbus/rtu.h"
#include "toolkit/failure.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "bus_bench.h"
#include "pty_pair.h"
#include "simulated_bus.h"

#include <QSignalSpy>
#include <QTimer>

#include <algorithm>

namespace {

// The times of the first `count` requests in anemosim's record (CLOCK_MONOTONIC ms).
QList<qint64> requestTimes(const QString& record, int count) {
    QFile file(record);
    QList<qint64> times;
    if (!file.open(QIODevice::ReadOnly))
        return times;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() >= 4 && times.size() < count)
            times << fields[0].toLongLong();
    }
    return times;
}

struct Counting : bus::OutcomeListener {
    int heard = 0;
    void pollFinished(const bus::PollOutcome&) override { ++heard; }
};

struct Failing : Counting {
    void pollFinished(const bus::PollOutcome& outcome) override {
        Counting::pollFinished(outcome);
        throw toolkit::Failure(QStringLiteral("File not found"));
    }
};

int recordedRequests(const QString& record) {
    QFile file(record);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
}

} // namespace

class TestBusReads : public QObject {
    Q_OBJECT

private slots:
    // While the reply is awaited the message loop runs: a timer due at once is served at once,
    // and a 5 ms timer keeps its pace. The read itself still lasts as long as the blocking
    // read did: 256 ms for a silent station, 40 ms after a reply that is already waiting.
    void readWaitsInTheMessageLoop_data() {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("shortestMs");
        QTest::addColumn<int>("longestMs");
        QTest::newRow("silent station") << true << 250 << 256 + 150;
        QTest::newRow("reply waiting") << false << 35 << 40 + 100;
    }
    void readWaitsInTheMessageLoop() {
        QFETCH(bool, silent);
        QFETCH(int, shortestMs);
        QFETCH(int, longestMs);
        QStringList options{"--stations", "2"};
        if (silent)
            options << "--fault"
                    << "2:silent=1";
        Simulator sim(options);
        Bench b(sim.link);
        b.stations.openingTick();
        b.stations.setStationIndex(2);
        b.stations.controlTick();
        b.stations.controlTimer().setEnabled(false);
        QTest::qWait(100);

        QElapsedTimer clock;
        qint64 servedMs = -1;
        bool pendingWhenServed = false;
        QTimer::singleShot(0, [&] {
            servedMs = clock.elapsed();
            pendingWhenServed = b.stations.replyPending();
        });
        qint64 lastBeat = 0;
        qint64 longestGap = 0;
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - lastBeat);
            lastBeat = clock.elapsed();
        });
        const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
        clock.start();
        beat.start(5);
        b.stations.replyTick(2);
        const qint64 tickMs = clock.elapsed();
        QVERIFY(b.stations.replyPending());
        QVERIFY(waitForReply(b.stations));
        beat.stop();

        QVERIFY2(tickMs < 30, qPrintable(QString::number(tickMs)));
        QVERIFY2(servedMs >= 0 && servedMs < 60, qPrintable(QString::number(servedMs)));
        QVERIFY(pendingWhenServed);
        QVERIFY2(longestGap < 60, qPrintable(QString::number(longestGap)));
        QCOMPARE(b.windows.outcomes.size(), std::size_t(1));
        const bus::PollOutcome& outcome = b.windows.outcomes.back();
        QCOMPARE(outcome.kind, silent ? modbus::ReplyKind::NoReply : modbus::ReplyKind::Good);
        const qint64 readMs = outcome.replyReadMs - startMs;
        QVERIFY2(readMs >= shortestMs && readMs <= longestMs, qPrintable(QString::number(readMs)));
        QVERIFY(!outcome.cutShort && !outcome.portLost);
    }

    // The control tick that falls due during a silent station's read goes out when the read
    // ends, as behind the blocking read: the next request leaves 100 + 256 ms after a silent
    // station's (150 + 256 ms after station 1's), 200 ms after an answered one's. Measured
    // where the stations are: in anemosim's record of the requests it received.
    void controlTickWaitsForTheRead_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QList<int>>("spacingsMs");
        QTest::newRow("every station answers") << "" << QList<int>{200, 200, 400};
        QTest::newRow("station 2 silent") << "[station 2]\nsilent=1\n" << QList<int>{200, 356, 400};
        QTest::newRow("station 1 silent") << "[station 1]\nsilent=1\n" << QList<int>{406, 200, 400};
    }
    void controlTickWaitsForTheRead() {
        QFETCH(QString, scenario);
        QFETCH(QList<int>, spacingsMs);
        SimulatedBus bus(3, scenario);
        QVERIFY(bus.start());
        const QString record = bus.folder.filePath(QStringLiteral("record.csv"));
        // Three requests and the first of the next cycle.
        QTRY_VERIFY_WITH_TIMEOUT(recordedRequests(record) >= 4, 5000);
        const QList<qint64> times = requestTimes(record, 4);
        QCOMPARE(times.size(), 4);
        for (int i = 0; i < 3; ++i) {
            const qint64 spacing = times[i + 1] - times[i];
            const QString text = QStringLiteral("request %1 to %2: %3 ms").arg(i + 1).arg(i + 2);
            QVERIFY2(spacing >= spacingsMs[i] - 15 && spacing <= spacingsMs[i] + 100,
                     qPrintable(text.arg(spacing)));
        }
    }

    // The operator's command while a reply is awaited ends the read at once with what has
    // come: a whole good reply is an ordinary poll, anything else is cut short.
    void operatorCommandEndsTheRead_data() {
        QTest::addColumn<bool>("configuration");
        QTest::addColumn<int>("replyBytes");
        QTest::addColumn<modbus::ReplyKind>("kind");
        QTest::addColumn<bool>("cutShort");
        for (const bool configuration : {true, false}) {
            const char* command = configuration ? "configuration window" : "program closing";
            QTest::addRow("%s, whole reply", command)
                << configuration << modbus::kReplyBytes << modbus::ReplyKind::Good << false;
            QTest::addRow("%s, 9 bytes", command)
                << configuration << 9 << modbus::ReplyKind::TooShort << true;
            QTest::addRow("%s, nothing", command)
                << configuration << 0 << modbus::ReplyKind::NoReply << true;
        }
    }
    void operatorCommandEndsTheRead() {
        QFETCH(bool, configuration);
        QFETCH(int, replyBytes);
        QFETCH(modbus::ReplyKind, kind);
        QFETCH(bool, cutShort);
        Pty pty;
        Bench b(QString::fromStdString(pty.path()));
        b.stations.openingTick();
        b.stations.controlTick();
        b.stations.controlTimer().setEnabled(false);
        QCOMPARE(pty.received().size(), modbus::kRequestBytes);
        const modbus::Bytes reply =
            modbus::encodeReply(1, modbus::StationValues{54, 382, 1, 80, 120, 0x84});
        pty.send(QByteArray(reinterpret_cast<const char*>(reply.data()), replyBytes));
        QTest::qWait(20);
        b.stations.replyTick(1);
        QVERIFY(b.stations.replyPending());
        b.windows.events.clear();

        if (configuration)
            b.stations.stopForConfiguration();
        else
            b.stations.close();
        QVERIFY(!b.stations.replyPending());
        QVERIFY(!b.stations.portOpen());
        QCOMPARE(b.windows.outcomes.size(), std::size_t(1));
        const bus::PollOutcome& outcome = b.windows.outcomes.back();
        QCOMPARE(outcome.station, 1);
        QCOMPARE(outcome.kind, kind);
        QCOMPARE(outcome.reply.size(), std::size_t(replyBytes));
        QCOMPARE(outcome.cutShort, cutShort);
        QVERIFY(!outcome.portLost);
        // The reply counts ahead of the closed port.
        QCOMPARE(b.windows.events, configuration ? (QStringList{"outcome 1", "port closed"})
                                                 : QStringList{"outcome 1"});
        QCOMPARE(b.stations.portState(),
                 configuration ? bus::PortState::ClosedForConfiguration : bus::PortState::Open);
        // Told once: nothing more comes when the read's time is over.
        QTest::qWait(300);
        QCOMPARE(b.windows.outcomes.size(), std::size_t(1));
    }

    // The adapter pulled out while a silent station's reply is awaited: the read ends as soon
    // as the line hangs up, and the windows hear of it before the outcome.
    void deviceLostDuringTheRead() {
        Simulator sim({"--stations", "1", "--fault", "1:silent=1"});
        Bench b(sim.link);
        b.windows.showFirst(1);
        b.stations.openingTick();
        b.stations.controlTick();
        b.stations.controlTimer().setEnabled(false);
        QTest::qWait(150);
        b.windows.events.clear();
        const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
        b.stations.replyTick(1);
        QTest::qWait(30);
        QVERIFY(b.stations.replyPending());
        sim.signal(SIGUSR1);
        QVERIFY(waitForReply(b.stations));
        const bus::PollOutcome& lost = b.windows.outcomes.back();
        QVERIFY2(lost.replyReadMs - startMs < 200,
                 qPrintable(QString::number(lost.replyReadMs - startMs)));
        QVERIFY(lost.portLost);
        QVERIFY(!lost.cutShort);
        QCOMPARE(lost.kind, modbus::ReplyKind::NoReply);
        QCOMPARE(b.stations.portState(), bus::PortState::Lost);
        QVERIFY(!b.stations.portOpen());
        QCOMPARE(b.windows.events, (QStringList{"port closed", "text " + sim.link + " Fechada",
                                                "port lost", "outcome 1"}));
        QVERIFY(b.windows.messages.isEmpty());
        QVERIFY(!b.stations.controlTimer().enabled());
        QVERIFY(b.stations.openingTimer().enabled());
        QCOMPARE(b.stations.openingTimer().interval(), bus::StationBus::kRetryMs);
    }

    // A listener's failure goes to the standard error report and the listeners after it do
    // not hear of that poll. The box is left open: the control tick held during the read
    // comes under it, and the next request goes out.
    void failingListenerGoesToTheErrorReport() {
        Pty pty;
        Bench b(QString::fromStdString(pty.path()));
        Failing failing;
        Counting after;
        b.stations.addListener(failing);
        b.stations.addListener(after);
        QObject::connect(&b.stations.controlTimer(), &toolkit::Timer::timeout,
                         [&] { b.stations.controlTick(); });
        b.stations.openingTick();
        b.stations.controlTick();
        QCOMPARE(pty.received().at(0), char(1));
        QByteArray underTheBox;
        BoxWatcher watcher([&](QMessageBox*) {
            QTest::qWait(300);
            underTheBox = pty.received();
        });
        QTest::qWait(100);
        b.stations.replyTick(1);
        QVERIFY(waitForReply(b.stations));
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("File not found"));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(b.windows.outcomes.size(), std::size_t(1));
        QCOMPARE(failing.heard, 1);
        QCOMPARE(after.heard, 0);
        QVERIFY2(underTheBox.size() >= modbus::kRequestBytes, underTheBox.toHex().constData());
        QCOMPARE(underTheBox.at(0), char(2));
    }

    // The bus search asks and returns at once; the answer comes when the reply has, or when
    // the station's reply time is over. Closing the port ends a question unanswered.
    void scanAnswersThroughTheMessageLoop() {
        Simulator sim({"--addresses", "17"});
        bus::BusScan scan;
        QVERIFY(scan.open(sim.link.toStdString(), "9600,N,8,1").ok);
        QSignalSpy answers(&scan, &bus::BusScan::answered);
        for (const int address : {16, 17}) {
            QElapsedTimer clock;
            clock.start();
            scan.ask(static_cast<std::uint8_t>(address));
            QVERIFY2(clock.elapsed() < 30, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(scan.asking());
            QVERIFY(answers.wait(1000));
            const auto station = answers.last().at(1).value<std::optional<bus::BusScan::Found>>();
            QCOMPARE(answers.last().at(0).toInt(), address);
            QCOMPARE(station.has_value(), address == 17);
            if (address == 16)
                QVERIFY2(clock.elapsed() >= 145 && clock.elapsed() < 300,
                         qPrintable(QString::number(clock.elapsed())));
        }
        QCOMPARE(answers.last().at(1).value<std::optional<bus::BusScan::Found>>()->address, 17);

        scan.ask(17);
        scan.close();
        QVERIFY(!scan.asking());
        QVERIFY(!answers.wait(400));
        QCOMPARE(answers.size(), 2);
    }
};

QTEST_MAIN(TestBusReads)
#include "tst_bus_reads.moc"
