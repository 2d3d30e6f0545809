// The real program stopped by the system (SIGTERM, SIGINT, SIGHUP) while it polls anemosim and
// publishes to a real mosquitto: it ends as "Sair" ends it, with nothing lost on the way.

#include "mqtt_broker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A station folder whose configuration polls `count` stations of anemosim every second, with
// a home of its own, and the program started in it.
struct Station {
    QTemporaryDir home;
    QTemporaryDir work;
    QString link = work.filePath(QStringLiteral("ttySIM"));
    QString record = work.filePath(QStringLiteral("record.csv"));
    QProcess sim;
    QProcess program;

    Station(int count, const QByteArray& ini) {
        QByteArray config = link.toUtf8() + "\r\n9600\r\n" + QByteArray::number(count) + "\r\n";
        for (int n = 1; n <= 8; ++n)
            config += "EST " + QByteArray::number(n) + "\r\n" + QByteArray::number(n) + "\r\n";
        for (int n = 1; n <= 8; ++n)
            config += "FALSE\r\n";
        config += "1\r\n200\r\n";
        write(QStringLiteral("ConfigALL.txt"), config);
        write(QStringLiteral("anemometros.ini"), ini);
        QFile::link(QStringLiteral(STATION_DIR "/IMAGES"), work.filePath(QStringLiteral("IMAGES")));
        sim.start(QStringLiteral(ANEMOSIM_PATH),
                  {"--link", link, "--stations", QString::number(count), "--seed", "5", "--log",
                   "/dev/null", "--record", record});
        sim.waitForStarted();
        for (int waited = 0; !QFile::exists(link) && waited < 5000; waited += 20)
            QTest::qWait(20);
    }
    ~Station() {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
        sim.terminate();
        sim.waitForFinished();
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(work.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
    bool start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.start(QStringLiteral(ANEMOMETROS_PATH), {});
        return program.waitForStarted();
    }
    void signal(int number) { ::kill(pid_t(program.processId()), number); }
    // The lines of the day's event journal.
    QStringList journal() const {
        const QDir folder(home.filePath(QStringLiteral("Documents/log_zareraziru")));
        QStringList lines;
        for (const QString& name :
             folder.entryList({QStringLiteral("Eventos *.txt")}, QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::ReadOnly);
            lines += QString::fromLatin1(file.readAll())
                         .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        }
        return lines;
    }
    // Per address, the speed and battery of every good reply anemosim served before `beforeMs`
    // (its monotonic clock).
    QMap<int, QStringList> served(qint64 beforeMs) const {
        QFile file(record);
        file.open(QIODevice::ReadOnly);
        QMap<int, QStringList> readings;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(';');
            if (fields.size() >= 10 && fields[3] == "good" && fields[0].toLongLong() < beforeMs)
                readings[fields[2].toInt()] << QString::fromLatin1(fields[4] + '/' + fields[5]);
        }
        return readings;
    }
};

QString readingOf(const QString& payload) {
    const QJsonObject state = QJsonDocument::fromJson(payload.toUtf8()).object();
    return QStringLiteral("%1/%2")
        .arg(qRound(state.value(QStringLiteral("speed")).toDouble() * 10))
        .arg(qRound(state.value(QStringLiteral("battery")).toDouble() * 100));
}

// A broker that never answers: connections beyond the first wait for ever in their handshake.
struct SilentBroker {
    int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;

    SilentBroker() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(listening, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listening, 0);
        ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), size);
    }
    ~SilentBroker() {
        ::close(filler);
        ::close(listening);
    }
};

} // namespace

class TestStop : public QObject {
    Q_OBJECT

private slots:
    void endsAsSairDoes_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // Every good reply served before the signal reaches the broker exactly once (the ones
    // gathered for the next write too), "offline" is the program's own goodbye, not its last
    // will, and the journal ends with FIM.
    void endsAsSairDoes() {
        QFETCH(int, signal);
        MqttBroker broker(QStringLiteral("allow_anonymous true\nlog_type all\n"));
        const QString brokerLog = broker.path(QStringLiteral("mosquitto.log"));
        {
            QFile conf(broker.path(QStringLiteral("mosquitto.conf")));
            conf.open(QIODevice::Append);
            conf.write("log_dest file " + brokerLog.toUtf8() + '\n');
        }
        QVERIFY(broker.start());
        MqttSubscriber subscriber(broker, QStringLiteral("obra/#"));
        Station station(2, "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) +
                               "\nprefix=obra\nclient_id=estacao-teste\n");
        QVERIFY(station.start());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.on(QStringLiteral("obra/2/state")).size() >= 3, 15000);
        // Part of the way into the next gathering of about a second.
        QTest::qWait(400);
        const qint64 signalledMs = monotonicMs();
        QElapsedTimer closing;
        closing.start();
        station.signal(signal);
        QVERIFY(station.program.waitForFinished(5000));
        QVERIFY(closing.elapsed() < 2000);
        QCOMPARE(station.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.program.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(subscriber.last(QStringLiteral("obra/status")),
                                  QStringLiteral("offline"), 3000);
        // A reply served in the last moment before the signal may still have been awaited:
        // a poll the program's end cut short is no reading.
        const QMap<int, QStringList> before = station.served(signalledMs - 300);
        const QMap<int, QStringList> all = station.served(signalledMs + 1000);
        for (int n = 1; n <= 2; ++n) {
            QStringList published;
            for (const MqttSubscriber::Message& message :
                 subscriber.on(QStringLiteral("obra/%1/state").arg(n)))
                published << readingOf(message.payload);
            QVERIFY2(published.size() >= before[n].size(), qPrintable(QString::number(n)));
            QCOMPARE(published.mid(0, before[n].size()), before[n]);
            QCOMPARE(published, all[n].mid(0, published.size()));
        }

        QFile log(brokerLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(QStringLiteral("Client estacao-teste disconnected.")),
                 qPrintable(text.right(600)));
        QVERIFY(!text.contains(QStringLiteral("estacao-teste closed its connection")));
        QVERIFY(!text.contains(QStringLiteral("Socket error on client estacao-teste")));
        QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
    }

    // With the broker silent the program still ends within 2 s; a second signal while it
    // closes ends it at once. Under a box left open (a bad setting) it ends as well.
    void brokerAwayAndSecondSignal() {
        SilentBroker silent;
        const QByteArray ini =
            "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(silent.port) + '\n';
        {
            Station station(1, ini);
            QVERIFY(station.start());
            QTRY_VERIFY_WITH_TIMEOUT(station.served(monotonicMs()).value(1).size() >= 2, 10000);
            QElapsedTimer closing;
            closing.start();
            station.signal(SIGTERM);
            QVERIFY(station.program.waitForFinished(5000));
            qInfo() << "closed in" << closing.elapsed() << "ms";
            QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
            QCOMPARE(station.program.exitCode(), 0);
            QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
        }
        {
            Station station(1, ini);
            QVERIFY(station.start());
            QTRY_VERIFY_WITH_TIMEOUT(station.served(monotonicMs()).value(1).size() >= 2, 10000);
            station.signal(SIGTERM);
            QTest::qWait(150);
            QElapsedTimer killed;
            killed.start();
            station.signal(SIGTERM);
            QVERIFY(station.program.waitForFinished(5000));
            QVERIFY2(killed.elapsed() < 500, qPrintable(QString::number(killed.elapsed())));
            QCOMPARE(station.program.exitStatus(), QProcess::CrashExit);
        }
        {
            Station station(1, "[mqtt]\nhost=127.0.0.1\nport=0\n");
            QVERIFY(station.start());
            // The box about the bad port stays open; polling goes on under it.
            QTRY_VERIFY_WITH_TIMEOUT(station.served(monotonicMs()).value(1).size() >= 3, 10000);
            station.signal(SIGHUP);
            QVERIFY(station.program.waitForFinished(3000));
            QCOMPARE(station.program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(station.program.exitCode(), 0);
            QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
        }
    }
};

QTEST_GUILESS_MAIN(TestStop)
#include "tst_stop.moc"
