// anemosim seen from the station program's side: the real process, its real pseudo-terminal.
#include "sim_harness.h"

#include <csignal>

using namespace simtest;

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void answersItsStations_data();
    void answersItsStations();
    void silentToOtherAddresses();
    void unsupportedRequests_data();
    void unsupportedRequests();
    void faults_data();
    void faults();
    void lateReply();
    void framing_data();
    void framing();
    void recordAndLog();
    void scenarioUnitsAndFlags();
    void seedIsReproducible();
    void vanishesOnSignals();
    void vanishesOnSchedule();
    void portReopens();
    void stopsOnSignal_data();
    void stopsOnSignal();
    void help();
    void badArguments_data();
    void badArguments();
};

void TestSim::answersItsStations_data() {
    QTest::addColumn<int>("address");
    QTest::newRow("address 1") << 1;
    QTest::newRow("address 2") << 2;
    QTest::newRow("address 8") << 8;
}

void TestSim::answersItsStations() {
    QFETCH(int, address);
    RunningBus bus({});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    QVERIFY(fd >= 0);
    if (address == 1)
        QCOMPARE(request(1), QByteArray::fromHex("010300000006C5C8"));

    const QByteArray frame = request(address);
    QVERIFY(::write(fd, frame.constData(), 8) == 8);
    qint64 completeMs = -1;
    const QByteArray reply = readReply(fd, 1000, &completeMs);
    QVERIFY2(goodReply(reply, address), reply.toHex(' ').constData());
    QVERIFY2(completeMs >= 0 && completeMs < 50, QByteArray::number(completeMs).constData());

    const int status = reg(reply, 5);
    QCOMPARE(status & 0xFF40, 0);
    QCOMPARE(status & 0x03, (address - 1) % 3); // default units: m/s, km/h, kn, m/s, ...
    QVERIFY(reg(reply, 2) < 16);
    QVERIFY(reg(reply, 1) >= 330 && reg(reply, 1) <= 400);
}

void TestSim::silentToOtherAddresses() {
    RunningBus bus({QStringLiteral("--stations"), QStringLiteral("3")});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    for (int address : {4, 8, 0, 255})
        QVERIFY2(ask(fd, request(address), kSilenceWaitMs).isEmpty(),
                 QByteArray::number(address).constData());
    QVERIFY(goodReply(ask(fd, request(3)), 3));
}

void TestSim::unsupportedRequests_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("write register")
        << request(1, 6, 0, 5) << withCrc(QByteArray::fromHex("018601"));
    QTest::newRow("input registers") << request(2, 4) << withCrc(QByteArray::fromHex("028401"));
    QTest::newRow("seven registers")
        << request(1, 3, 0, 7) << withCrc(QByteArray::fromHex("018302"));
    QTest::newRow("register 6") << request(1, 3, 6, 1) << withCrc(QByteArray::fromHex("018302"));
}

void TestSim::unsupportedRequests() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    RunningBus bus({});
    QVERIFY(bus.started());
    QCOMPARE(ask(bus.openPort(), frame).toHex(' '), expected.toHex(' '));
}

void TestSim::faults_data() {
    QTest::addColumn<QString>("fault");
    for (const char* fault : {"silent", "badcrc", "wrongaddr", "exception", "truncated", "noise"})
        QTest::newRow(fault) << QString::fromLatin1(fault);
}

void TestSim::faults() {
    QFETCH(QString, fault);
    RunningBus bus({QStringLiteral("--fault"), QStringLiteral("2:%1=1").arg(fault)});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QByteArray reply = ask(fd, request(2), kSilenceWaitMs + 200);
        const QByteArray shown = reply.toHex(' ');
        QVERIFY2(!goodReply(reply, 2), shown.constData());
        if (fault == u"silent") {
            QVERIFY2(reply.isEmpty(), shown.constData());
        } else if (fault == u"badcrc") {
            QVERIFY2(reply.size() == 17 && at(reply, 0) == 2 && at(reply, 1) == 3 &&
                         !crcGood(reply),
                     shown.constData());
        } else if (fault == u"wrongaddr") {
            QVERIFY2(reply.size() == 17 && crcGood(reply) && at(reply, 0) != 2, shown.constData());
        } else if (fault == u"exception") {
            QVERIFY2(reply.size() == 5 && crcGood(reply) && at(reply, 0) == 2 &&
                         at(reply, 1) == 0x83,
                     shown.constData());
        } else if (fault == u"truncated") {
            QVERIFY2(reply.size() >= 1 && reply.size() < 17 && at(reply, 0) == 2,
                     shown.constData());
        } else if (fault == u"noise") {
            bool framed = false;
            for (int offset = 0; offset + 17 <= reply.size(); ++offset)
                framed = framed || goodReply(reply.mid(offset, 17), 2);
            QVERIFY2(reply.size() > 17 && reply.size() <= 25 && framed, shown.constData());
        }
    }
    QVERIFY2(goodReply(ask(fd, request(1)), 1), "the fault reached station 1");
}

void TestSim::lateReply() {
    RunningBus bus({QStringLiteral("--fault"), QStringLiteral("1:late=1"),
                    QStringLiteral("--late-ms"), QStringLiteral("400")});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(ask(fd, request(1), 200).isEmpty());
    const QByteArray reply = readReply(fd, 2000);
    QVERIFY2(goodReply(reply, 1), reply.toHex(' ').constData());
    QVERIFY(clock.elapsed() >= 380);
}

void TestSim::framing_data() {
    const QByteArray first = request(1);
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("replies");
    QTest::newRow("split, 5 ms gap") << QList<QByteArray>{first.left(3), first.mid(3)} << 5 << 1;
    QTest::newRow("garbage before")
        << QList<QByteArray>{"\xAA\x55\x00\xFF\x01\x03" + first} << 0 << 1;
    QTest::newRow("stale half request, pause")
        << QList<QByteArray>{first.left(5), first} << 100 << 1;
    // Without the pause the FB would complete the stale request to station 2.
    QTest::newRow("stale bytes forgotten")
        << QList<QByteArray>{request(2).left(7), "\xFB" + first} << 100 << 1;
    QTest::newRow("two requests at once") << QList<QByteArray>{first + request(2)} << 0 << 2;
    QTest::newRow("bad crc only") << QList<QByteArray>{first.left(7) + '\x00'} << 0 << 0;
}

void TestSim::framing() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, gapMs);
    QFETCH(int, replies);
    RunningBus bus({});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    for (const QByteArray& chunk : chunks) {
        QVERIFY(::write(fd, chunk.constData(), static_cast<size_t>(chunk.size())) == chunk.size());
        if (gapMs > 0)
            ::usleep(static_cast<useconds_t>(gapMs * 1000));
    }
    const QByteArray reply = readReply(fd, kSilenceWaitMs + 200);
    QCOMPARE(reply.size(), 17 * replies);
    for (int i = 0; i < replies; ++i)
        QVERIFY(goodReply(reply.mid(17 * i, 17), i + 1));
}

void TestSim::recordAndLog() {
    QTemporaryDir folder;
    const QString recordPath = folder.filePath(QStringLiteral("record.csv"));
    const QString logPath = folder.filePath(QStringLiteral("log.txt"));
    RunningBus bus({QStringLiteral("--stations"), QStringLiteral("3"), QStringLiteral("--fault"),
                    QStringLiteral("2:badcrc=1"), QStringLiteral("--record"), recordPath,
                    QStringLiteral("--log"), logPath});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    const QByteArray good = ask(fd, request(1));
    QVERIFY(goodReply(good, 1));
    ask(fd, request(2));
    ask(fd, request(9), kSilenceWaitMs);
    ask(fd, request(3, 6, 0, 1));

    QFile record(recordPath);
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = record.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    const QList<QByteArray> outcomes{"good", "badcrc", "silent", "exception"};
    const QList<QByteArray> addresses{"1", "2", "9", "3"};
    qint64 previousMs = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(';');
        QCOMPARE(fields.size(), 10);
        QVERIFY(fields[0].toLongLong() >= previousMs);
        previousMs = fields[0].toLongLong();
        QVERIFY(QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODateWithMs).isValid());
        QCOMPARE(fields[2], addresses[i]);
        QCOMPARE(fields[3], outcomes[i]);
    }
    // The good line holds exactly the registers that went out on the wire.
    const QList<QByteArray> goodFields = lines[0].split(';');
    for (int index = 0; index < 6; ++index)
        QCOMPARE(goodFields[4 + index].toInt(), reg(good, index));
    QVERIFY(!lines[1].split(';')[4].isEmpty());
    QVERIFY(lines[2].split(';')[4].isEmpty());

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY2(text.contains(u"estação 1: pedido recebido, resposta enviada (vel "),
             qPrintable(text));
    QVERIFY(text.contains(u"estação 2: pedido recebido, falha simulada: CRC errado"));
    QVERIFY(text.contains(u"endereço 9: pedido recebido"));
}

void TestSim::scenarioUnitsAndFlags() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("cenario.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# tres estacoes\n[bus]\naddresses = 10,20,30\n\n[station 1]\nunit=kn\n"
               "preset1=12,5\npreset2=30\n[station 2]\nunit=none\nmean=20\n"
               "[station 3]\nunit=km/h\nsilent=1\n");
    file.close();
    RunningBus bus({QStringLiteral("--scenario"), path});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    QVERIFY(ask(fd, request(1), kSilenceWaitMs).isEmpty());
    QVERIFY(ask(fd, request(30), kSilenceWaitMs).isEmpty());
    for (int round = 0; round < 15; ++round) {
        for (auto [address, unit] : {std::pair{10, 2}, std::pair{20, 3}}) {
            const QByteArray reply = ask(fd, request(address));
            QVERIFY2(goodReply(reply, address), reply.toHex(' ').constData());
            const int status = reg(reply, 5);
            const int speed = reg(reply, 0);
            namespace bits = modbus::status;
            QCOMPARE(status & 0xFF40, 0);
            QCOMPARE(status & bits::kUnitCodeMask, unit);
            QCOMPARE(bool(status & bits::kPreset1Alarm), speed > reg(reply, 3));
            QCOMPARE(bool(status & bits::kPreset2Alarm), speed > reg(reply, 4));
            QCOMPARE(bool(status & bits::kSoundAlarm),
                     bool(status & (bits::kPreset1Alarm | bits::kPreset2Alarm)));
            if (address == 10)
                QCOMPARE(reg(reply, 3), 125);
        }
        QTest::qWait(60);
    }
}

void TestSim::seedIsReproducible() {
    const auto presets = [](const QString& seed) {
        RunningBus bus({QStringLiteral("--seed"), seed});
        const int fd = bus.openPort();
        QList<int> values;
        for (int address = 1; address <= 8; ++address) {
            const QByteArray reply = ask(fd, request(address));
            values << reg(reply, 3) << reg(reply, 4);
        }
        return values;
    };
    const QList<int> first = presets(QStringLiteral("42"));
    QCOMPARE(first.size(), 16);
    QCOMPARE(presets(QStringLiteral("42")), first);
    QVERIFY(presets(QStringLiteral("43")) != first);
}

void TestSim::vanishesOnSignals() {
    RunningBus bus({});
    QVERIFY(bus.started());
    const int fd = bus.openPort();
    QVERIFY(goodReply(ask(fd, request(1)), 1));

    ::kill(static_cast<pid_t>(bus.process.processId()), SIGUSR1);
    QVERIFY(waitFor([&] { return !bus.linkExists(); }));
    pollfd port{fd, POLLIN, 0};
    QVERIFY(::poll(&port, 1, 2000) > 0);
    QVERIFY(port.revents & (POLLHUP | POLLERR));

    ::kill(static_cast<pid_t>(bus.process.processId()), SIGUSR2);
    QVERIFY(waitFor([&] { return bus.linkExists(); }));
    const int reopened = bus.openPort();
    QVERIFY(reopened >= 0);
    QVERIFY(goodReply(ask(reopened, request(8)), 8));
}

void TestSim::vanishesOnSchedule() {
    RunningBus bus({QStringLiteral("--vanish-after"), QStringLiteral("0.5"),
                    QStringLiteral("--vanish-for"), QStringLiteral("1")});
    QVERIFY(bus.started());
    QVERIFY(waitFor([&] { return !bus.linkExists(); }));
    QVERIFY(waitFor([&] { return bus.linkExists(); }));
    QVERIFY(goodReply(ask(bus.openPort(), request(1)), 1));
    bus.collectOutput();
    QVERIFY(QString::fromUtf8(bus.output).contains(u"adaptador retirado"));
}

void TestSim::portReopens() {
    RunningBus bus({});
    QVERIFY(bus.started());
    for (int round = 0; round < 10; ++round) {
        const int fd = bus.openPort();
        QVERIFY(goodReply(ask(fd, request(1)), 1));
        ::close(fd);
        bus.fds.pop_back();
    }
}

void TestSim::stopsOnSignal_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSim::stopsOnSignal() {
    QFETCH(int, signal);
    RunningBus bus({});
    QVERIFY(bus.started());
    QVERIFY(bus.linkExists());
    ::kill(static_cast<pid_t>(bus.process.processId()), signal);
    QVERIFY(bus.process.waitForFinished(5000));
    QCOMPARE(bus.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bus.process.exitCode(), 0);
    QVERIFY(!bus.linkExists());
}

void TestSim::help() {
    QProcess process;
    process.start(QStringLiteral(ANEMOSIM_PATH), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* option : {"--link", "--stations", "--addresses", "--seed", "--scenario",
                               "--fault", "--late-ms", "--fast-battery", "--vanish-after",
                               "--vanish-for", "--log", "--record", "[station N]", "Uso:"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
}

void TestSim::badArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--link", "L", "--colour"};
    QTest::newRow("no link") << QStringList{"--stations", "2"};
    QTest::newRow("missing value") << QStringList{"--link", "L", "--stations"};
    QTest::newRow("nine stations") << QStringList{"--link", "L", "--stations", "9"};
    QTest::newRow("zero stations") << QStringList{"--link", "L", "--stations", "0"};
    QTest::newRow("repeated address") << QStringList{"--link", "L", "--addresses", "1,1"};
    QTest::newRow("unknown fault") << QStringList{"--link", "L", "--fault", "1:smoke=1"};
    QTest::newRow("odds above 1") << QStringList{"--link", "L", "--fault", "1:silent=2"};
    QTest::newRow("absent station")
        << QStringList{"--link", "L", "--stations", "2", "--fault", "3:silent=1"};
    QTest::newRow("missing scenario") << QStringList{"--link", "L", "--scenario", "/nonexistent"};
    QTest::newRow("stray argument") << QStringList{"--link", "L", "extra"};
}

void TestSim::badArguments() {
    QFETCH(QStringList, arguments);
    QTemporaryDir folder;
    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.start(QStringLiteral(ANEMOSIM_PATH), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().startsWith("anemosim: "));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("L"))));
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
