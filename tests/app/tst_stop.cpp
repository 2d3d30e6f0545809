// The real program stopped by the system (SIGTERM, SIGINT, SIGHUP) while it polls anemosim and
// publishes to a real mosquitto: it ends as "Sair" ends it, with nothing lost on the way.

#include "mqtt_broker.h"
#include "program_station.h"

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

// Per address, the speed and battery of every good reply anemosim served before `beforeMs`
// (its monotonic clock).
QMap<int, QStringList> served(const ProgramStation& station, qint64 beforeMs) {
    QFile file(station.path(QStringLiteral("record.csv")));
    file.open(QIODevice::ReadOnly);
    QMap<int, QStringList> readings;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() >= 10 && fields[3] == "good" && fields[0].toLongLong() < beforeMs)
            readings[fields[2].toInt()] << QString::fromLatin1(fields[4] + '/' + fields[5]);
    }
    return readings;
}

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
        ProgramStation station(2);
        station.write(QStringLiteral("anemometros.ini"),
                      "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) +
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
        const QMap<int, QStringList> before = served(station, signalledMs - 300);
        const QMap<int, QStringList> all = served(station, signalledMs + 1000);
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
            ProgramStation station(1);
            station.write(QStringLiteral("anemometros.ini"), ini);
            QVERIFY(station.start());
            QTRY_VERIFY_WITH_TIMEOUT(served(station, monotonicMs()).value(1).size() >= 2, 10000);
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
            ProgramStation station(1);
            station.write(QStringLiteral("anemometros.ini"), ini);
            QVERIFY(station.start());
            QTRY_VERIFY_WITH_TIMEOUT(served(station, monotonicMs()).value(1).size() >= 2, 10000);
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
            ProgramStation station(1);
            station.write(QStringLiteral("anemometros.ini"), "[mqtt]\nhost=127.0.0.1\nport=0\n");
            QVERIFY(station.start());
            // The box about the bad port stays open; polling goes on under it.
            QTRY_VERIFY_WITH_TIMEOUT(served(station, monotonicMs()).value(1).size() >= 3, 10000);
            station.signal(SIGHUP);
            QVERIFY(station.program.waitForFinished(3000));
            QCOMPARE(station.program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(station.program.exitCode(), 0);
            QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
        }
    }

    // A box raised while the windows are still being built (an index file too large to read)
    // does not hold up a stop: the service manager would wait its whole stop timeout. Its text
    // reaches standard error, and the program ends as "Sair" ends it.
    void stopUnderABoxOfTheStart() {
        ProgramStation station(1);
        QVERIFY(station.write(QStringLiteral("StatusLOG1.txt"), QByteArray(1024 * 1024 + 1, 'x')));
        QVERIFY(station.start());
        // The box stays open; nothing is polled while the windows wait for it.
        QTest::qWait(1500);
        QVERIFY(served(station, monotonicMs()).isEmpty());
        QElapsedTimer closing;
        closing.start();
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(station.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.program.exitCode(), 0);
        QVERIFY(QString::fromUtf8(station.program.readAllStandardError())
                    .contains(QStringLiteral("StatusLOG1.txt não pôde ser lido: é grande demais")));
        QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
    }
};

QTEST_GUILESS_MAIN(TestStop)
#include "tst_stop.moc"
