// The station bus with no window at all: the test plays the settings and the view, and listens
// to the poll outcomes, against anemosim on a real pseudo-terminal.

#include "bus/station_bus.h"
#include "toolkit/failure.h"
#include "toolkit/timer.h"

#include "bus_bench.h"

class TestBus : public QObject {
    Q_OBJECT

private slots:
    void oneCycleInTheSpecifiedOrder() {
        Simulator sim({"--stations", "3"});
        Bench b(sim.link);
        b.windows.showFirst(3);
        b.windows.settings.setCyclePauseMs(4385);
        b.stations.openingTick();
        QCOMPARE(b.stations.portState(), bus::PortState::Open);
        QCOMPARE(b.windows.text, sim.link + QStringLiteral(" Aberta"));
        QVERIFY(b.stations.controlTimer().enabled());
        QCOMPARE(b.stations.controlTimer().interval(), 2000);
        QCOMPARE(b.stations.replyTimer(1).interval(), 150);
        QCOMPARE(b.stations.replyTimer(2).interval(), 100);
        QVERIFY(!b.stations.openingTimer().enabled());

        for (int station = 1; station <= 3; ++station) {
            QCOMPARE(b.stations.stationIndex(), station);
            b.stations.controlTick();
            // The request is out and its trail written before the reply timer runs.
            QVERIFY(b.stations.replyTimer(station).enabled());
            QCOMPARE(b.stations.controlTimer().interval(), bus::StationBus::kPollStepMs);
            QCOMPARE(b.stations.lastRequest()[0], station);
            b.stations.controlTimer().setEnabled(false);
            QTest::qWait(b.stations.replyTimer(station).interval());
            b.stations.replyTick(station);
            QVERIFY(!b.stations.replyTimer(station).enabled());
            QCOMPARE(b.stations.stationIndex(), station + 1);
            QVERIFY(waitForReply(b.stations));
            const bus::PollOutcome& outcome = b.windows.outcomes.back();
            QCOMPARE(outcome.station, station);
            QCOMPARE(outcome.address, station);
            QCOMPARE(outcome.kind, modbus::ReplyKind::Good);
            QCOMPARE(outcome.reply.size(), std::size_t(modbus::kReplyBytes));
            QCOMPARE(*outcome.values, modbus::decodeReply(outcome.reply));
            QVERIFY(outcome.requestWrittenMs > 0);
            QVERIFY(outcome.replyReadMs - outcome.requestWrittenMs >= 100);
        }
        QCOMPARE(b.windows.text, QStringLiteral("N°: 1 | N°: 2 | N°: 3"));
        // Station 4 is not shown: the cycle ends and waits its pause.
        b.stations.controlTick();
        QCOMPARE(b.stations.stationIndex(), 1);
        QCOMPARE(b.stations.controlTimer().interval(), 4385);
        QVERIFY(b.stations.controlTimer().enabled());
        QCOMPARE(b.windows.outcomes.size(), std::size_t(3));
    }

    void eachFaultIsItsOwnKind_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<modbus::ReplyKind>("kind");
        QTest::newRow("none") << "" << modbus::ReplyKind::Good;
        QTest::newRow("silent") << "silent" << modbus::ReplyKind::NoReply;
        QTest::newRow("bad CRC") << "badcrc" << modbus::ReplyKind::BadCrc;
        QTest::newRow("wrong address") << "wrongaddr" << modbus::ReplyKind::WrongAddress;
        QTest::newRow("exception") << "exception" << modbus::ReplyKind::WrongFunction;
        QTest::newRow("truncated") << "truncated" << modbus::ReplyKind::TooShort;
        QTest::newRow("late") << "late" << modbus::ReplyKind::NoReply;
    }
    void eachFaultIsItsOwnKind() {
        QFETCH(QString, fault);
        QFETCH(modbus::ReplyKind, kind);
        QStringList options{"--stations", "1"};
        if (!fault.isEmpty())
            options << "--fault" << QStringLiteral("1:%1=1").arg(fault);
        // Later than the reply wait and the whole read after it.
        options << "--late-ms"
                << "600";
        Simulator sim(options);
        Bench b(sim.link);
        b.stations.openingTick();
        // A late reply would be read by the next poll, as the station's own port does.
        const int polls = fault == "late" ? 1 : 3;
        for (int poll = 0; poll < polls; ++poll) {
            b.stations.setStationIndex(1);
            const bus::PollOutcome& outcome = b.poll();
            QCOMPARE(outcome.kind, kind);
            QCOMPARE(outcome.values.has_value(), kind == modbus::ReplyKind::Good);
            QCOMPARE(outcome.reply.empty(), kind == modbus::ReplyKind::NoReply);
            QVERIFY(!outcome.portLost);
        }
    }

    void openingFailures() {
        QTemporaryDir folder;
        Bench missing(QStringLiteral("ttyNAOEXISTE9"));
        missing.stations.openingTimer().setEnabled(true);
        missing.stations.openingTick();
        QCOMPARE(missing.stations.portState(), bus::PortState::WaitingForUser);
        QVERIFY(!missing.stations.openingTimer().enabled());
        QCOMPARE(missing.stations.openingTimer().interval(), bus::StationBus::kRetryMs);
        QCOMPARE(missing.windows.messages.size(), 1);
        QCOMPARE(missing.windows.text, QStringLiteral("ttyNAOEXISTE9 Fechada"));

        // A refused line setting: the message shows while the port is still open, and no
        // tick of the opening timer may start a second attempt meanwhile.
        Simulator sim({"--stations", "1"});
        struct Refusing : FakeWindows {
            bus::StationBus* stations = nullptr;
            bus::PortState stateDuringMessage{};
            bool openDuringMessage = false;
            void showPortMessage(const QString& message) override {
                stateDuringMessage = stations->portState();
                openDuringMessage = stations->portOpen();
                stations->openingTick(); // a tick under the box
                FakeWindows::showPortMessage(message);
            }
        } windows;
        windows.settings.setPortName(sim.link);
        windows.settings.setBaudText(QStringLiteral("abc"));
        bus::StationBus stations(windows.settings, windows, nullptr);
        windows.stations = &stations;
        stations.openingTick();
        QCOMPARE(windows.messages.size(), 1);
        QCOMPARE(windows.stateDuringMessage, bus::PortState::ReportingOpenFailure);
        QVERIFY(windows.openDuringMessage);
        QVERIFY(!stations.portOpen());
        QCOMPARE(stations.portState(), bus::PortState::WaitingToOpen);
        QVERIFY(stations.openingTimer().enabled());
        QCOMPARE(stations.openingTimer().interval(), bus::StationBus::kRetryMs);
    }

    void lostDeviceAndItsReturn() {
        Simulator sim({"--stations", "2"});
        Bench b(sim.link);
        b.windows.showFirst(2);
        b.stations.openingTick();
        QCOMPARE(b.poll().kind, modbus::ReplyKind::Good);

        sim.signal(SIGUSR1); // the adapter is pulled out
        QTest::qWait(300);
        b.stations.controlTick();
        b.stations.controlTimer().setEnabled(false);
        b.windows.events.clear();
        QTest::qWait(100);
        b.stations.replyTick(2);
        QVERIFY(waitForReply(b.stations));
        const bus::PollOutcome& lost = b.windows.outcomes.back();
        QVERIFY(lost.portLost);
        QCOMPARE(lost.kind, modbus::ReplyKind::NoReply);
        QCOMPARE(b.stations.portState(), bus::PortState::Lost);
        QVERIFY(!b.stations.portOpen());
        // The windows hear of it before the outcome, and no message is shown.
        QCOMPARE(b.windows.events, (QStringList{"port closed", "text " + sim.link + " Fechada",
                                                "port lost", "outcome 2"}));
        QVERIFY(b.windows.messages.isEmpty());
        QVERIFY(b.stations.openingTimer().enabled());
        QCOMPARE(b.stations.openingTimer().interval(), bus::StationBus::kRetryMs);

        b.stations.openingTick(); // still away: quietly
        QCOMPARE(b.stations.portState(), bus::PortState::Lost);
        QVERIFY(b.windows.messages.isEmpty());

        sim.signal(SIGUSR2); // and plugged back
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sim.link), 3000);
        b.stations.openingTick();
        QCOMPARE(b.stations.portState(), bus::PortState::Open);
        // Polling goes on with the station after the one last handled.
        QCOMPARE(b.stations.stationIndex(), 3);
        b.stations.controlTick(); // end of the cycle
        QCOMPARE(b.poll().kind, modbus::ReplyKind::Good);
        QCOMPARE(b.windows.outcomes.back().station, 1);
    }

    // A stable name is opened again at each attempt: it leads to the adapter when it is back,
    // even under another device name.
    void stableNameComesBackWithTheAdapter() {
        Simulator sim({"--stations", "1"});
        QTemporaryDir dev;
        QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
        const QString byId =
            dev.filePath(QStringLiteral("serial/by-id/usb-FTDI_A50285BI-if00-port0"));
        const auto plugIn = [&](const QString& device) {
            QVERIFY(QFile::link(sim.link, dev.filePath(device)));
            QVERIFY(QFile::link(QStringLiteral("../../") + device, byId));
        };
        plugIn(QStringLiteral("ttyUSB0"));
        Bench b(byId);
        b.windows.showFirst(1);
        b.stations.openingTick();
        QCOMPARE(b.windows.text, byId + QStringLiteral(" Aberta"));
        QCOMPARE(b.poll().kind, modbus::ReplyKind::Good);

        sim.signal(SIGUSR1); // pulled out; udev takes its links away
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(sim.link), 3000);
        QVERIFY(QFile::remove(byId) && QFile::remove(dev.filePath(QStringLiteral("ttyUSB0"))));
        b.stations.controlTick();
        b.stations.controlTimer().setEnabled(false);
        QTest::qWait(b.stations.replyTimer(1).interval());
        b.stations.replyTick(1);
        QVERIFY(waitForReply(b.stations));
        QCOMPARE(b.stations.portState(), bus::PortState::Lost);
        b.stations.openingTick();
        QCOMPARE(b.stations.portState(), bus::PortState::Lost);
        QCOMPARE(b.windows.text, byId + QStringLiteral(" Fechada"));

        sim.signal(SIGUSR2); // plugged back in, and found as ttyUSB1 this time
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sim.link), 3000);
        plugIn(QStringLiteral("ttyUSB1"));
        b.stations.openingTick();
        QCOMPARE(b.stations.portState(), bus::PortState::Open);
        QCOMPARE(b.windows.text, byId + QStringLiteral(" Aberta"));
        QVERIFY(b.windows.messages.isEmpty());
        b.stations.controlTick(); // end of the cycle
        QCOMPARE(b.poll().kind, modbus::ReplyKind::Good);
    }

    void indexSurvivesTheConfigurationWindow() {
        Simulator sim({"--stations", "3"});
        Bench b(sim.link);
        b.stations.openingTick();
        b.stations.setStationIndex(3);
        b.stations.controlTimer().setEnabled(true);
        b.stations.stopForConfiguration();
        QCOMPARE(b.stations.portState(), bus::PortState::ClosedForConfiguration);
        QVERIFY(!b.stations.portOpen());
        QVERIFY(!b.stations.controlTimer().enabled());
        QVERIFY(!b.stations.openingTimer().enabled());
        // Closing the configuration window starts the opening timer; its tick reopens.
        b.stations.openingTimer().setEnabled(true);
        b.stations.openingTick();
        QCOMPARE(b.stations.portState(), bus::PortState::Open);
        QCOMPARE(b.stations.stationIndex(), 3);
        QCOMPARE(b.poll().station, 3);
    }

    void badAddressStopsPollingBeforeAnythingIsSent() {
        Simulator sim({"--stations", "2"});
        Bench b(sim.link);
        b.stations.openingTick();
        b.windows.settings.setAddressText(1, QStringLiteral("1a"));
        b.windows.text = QStringLiteral("antes");
        try {
            b.stations.controlTick();
            QFAIL("the conversion must fail");
        } catch (const toolkit::Failure& failure) {
            QCOMPARE(failure.text(), QStringLiteral("'1a' is not a valid integer value"));
        }
        QVERIFY(!b.stations.controlTimer().enabled());
        QVERIFY(!b.stations.replyTimer(1).enabled());
        QCOMPARE(b.windows.text, QStringLiteral("antes"));
    }
};

QTEST_GUILESS_MAIN(TestBus)
#include "tst_bus.moc"
