// Publishing to a real Mosquitto broker on loopback, from the real station bus against
// anemosim on a pseudo-terminal, and from the whole program: what a subscriber gets, retained
// and live, with the broker away, behind a password and behind TLS.

#include "health/health_monitor.h"
#include "publish/mqtt_client.h"
#include "publish/publisher.h"

#include "mqtt_broker.h"
#include "named_stations.h"
#include "program_station.h"
#include "simulated_bus.h"
#include "test_certificates.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <algorithm>
#include <csignal>

namespace {

// Every outcome, as the publisher saw it (it is told after the publisher).
struct Recorder : bus::OutcomeListener {
    std::vector<bus::PollOutcome> outcomes;
    void pollFinished(const bus::PollOutcome& outcome) override { outcomes.push_back(outcome); }

    std::optional<modbus::StationValues> lastGood(int station) const {
        for (auto it = outcomes.rbegin(); it != outcomes.rend(); ++it) {
            if (it->station == station && it->good())
                return it->values;
        }
        return std::nullopt;
    }
};

publish::MqttSettings settingsFor(const MqttBroker& broker) {
    publish::MqttSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.port();
    settings.prefix = QStringLiteral("teste");
    settings.clientId = QStringLiteral("anemometros-teste");
    return settings;
}

// The bus, a recorder, and health and the publisher following it as the program's do.
struct Rig {
    SimulatedBus bus;
    Recorder recorder;
    NamedStations stations; // all eight count as polled: none cleared
    QTemporaryDir journal;
    health::HealthMonitor monitor{{
        .settings = stations,
        .logFolder = [this] { return journal.path(); },
        .nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); },
    }};
    publish::Publisher publisher;

    Rig(int count, const QString& scenario, const publish::MqttSettings& settings)
        : bus(count, scenario), publisher(settings, {.settings = stations, .health = monitor}) {
        bus.stations.addWatcher(recorder);
        bus.feed.addWatcher(monitor);
        bus.feed.addWatcher(publisher);
    }
    bool start() {
        publisher.start();
        return bus.start();
    }
};

QJsonObject json(const QString& payload) {
    return QJsonDocument::fromJson(payload.toUtf8()).object();
}

int median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : int(values[values.size() / 2]);
}

} // namespace

class TestMqtt : public QObject {
    Q_OBJECT

private slots:
    // Four units, a speed and a preset past five digits, a calm with no direction: what a
    // subscriber that comes after the readings finds retained is each station's last one.
    void retainedStateOfEveryKind() {
        MqttBroker broker;
        QVERIFY(broker.start());
        publish::MqttSettings settings = settingsFor(broker);
        settings.discovery = true;
        Rig rig(4,
                QStringLiteral("[station 1]\nunit=m/s\nmean=1500\n"
                               "[station 2]\nunit=km/h\npreset1=1500\n"
                               "[station 3]\nunit=kn\nmean=0\n"
                               "[station 4]\nunit=none\n"),
                settings);
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.connected(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.recorder.outcomes.size() >= 12, 10000);
        rig.bus.stations.stopForConfiguration(); // no more polls
        // The last readings gathered are written 2 s after the first of them when none follow.
        QTest::qWait(2 * publish::MqttClient::kGatherMs + 300);

        MqttSubscriber late(broker, QStringLiteral("teste/#"));
        QTRY_COMPARE_WITH_TIMEOUT(late.on(QStringLiteral("teste/4/state")).size(), 1, 5000);
        QCOMPARE(late.last(QStringLiteral("teste/status")), QStringLiteral("online"));
        const QStringList units{"m/s", "km/h", "kn", ""};
        for (int station = 1; station <= 4; ++station) {
            const auto messages = late.on(QStringLiteral("teste/%1/state").arg(station));
            QCOMPARE(messages.size(), 1);
            QVERIFY(messages[0].retained);
            QCOMPARE(late.last(QStringLiteral("teste/%1/availability").arg(station)),
                     QStringLiteral("online"));
            const QJsonObject state = json(messages[0].payload);
            const modbus::StationValues values = *rig.recorder.lastGood(station);
            QCOMPARE(state.value(u"station").toInt(), station);
            QCOMPARE(state.value(u"name").toString(), QStringLiteral("EST %1").arg(station));
            QCOMPARE(state.value(u"unit").toString(), units[station - 1]);
            QCOMPARE(state.value(u"battery").toDouble(), values.battery / 100.0);
            // Tenths past four digits: null, with <field>_over_limit.
            for (const auto& [field, tenths] : {std::pair{u"speed", values.speed},
                                                {u"preset1", values.preset1},
                                                {u"preset2", values.preset2}}) {
                const QString over = QString::fromUtf16(field) + QStringLiteral("_over_limit");
                if (tenths >= 10000) {
                    QVERIFY(state.value(field).isNull());
                    QCOMPARE(state.value(over).toBool(), true);
                } else {
                    QCOMPARE(state.value(field).toDouble(), tenths / 10.0);
                    QVERIFY(!state.contains(over));
                }
            }
        }
        const QJsonObject overSpeed = json(late.last(QStringLiteral("teste/1/state")));
        QVERIFY(overSpeed.value(u"speed").isNull());
        QCOMPARE(overSpeed.value(u"speed_over_limit").toBool(), true);
        const QJsonObject overPreset = json(late.last(QStringLiteral("teste/2/state")));
        QVERIFY(overPreset.value(u"preset1").isNull());
        QCOMPARE(overPreset.value(u"preset1_over_limit").toBool(), true);
        QVERIFY(json(late.last(QStringLiteral("teste/3/state"))).value(u"direction").isNull());
        // Home Assistant finds each station's values, retained, in the station's unit.
        MqttSubscriber discovery(broker, QStringLiteral("homeassistant/#"));
        QTRY_COMPARE_WITH_TIMEOUT(discovery.messages().size(), 4 * 5, 5000);
        const QJsonObject speed = json(discovery.last(
            QStringLiteral("homeassistant/sensor/anemometros-teste_2_speed/config")));
        QCOMPARE(speed.value(u"state_topic").toString(), QStringLiteral("teste/2/state"));
        QCOMPARE(speed.value(u"unit_of_measurement").toString(), QStringLiteral("km/h"));
        QCOMPARE(speed.value(u"name").toString(), QStringLiteral("EST 2 velocidade"));
        // A normal end: offline on the status topic.
        rig.publisher.stop();
        QTRY_COMPARE_WITH_TIMEOUT(late.last(QStringLiteral("teste/status")),
                                  QStringLiteral("offline"), 5000);
    }

    // Polls cut short by the configuration window, three in a row, are not the station's
    // failures: it stays online.
    void cutShortPollsKeepTheStationOnline() {
        MqttBroker broker;
        QVERIFY(broker.start());
        MqttSubscriber live(broker, QStringLiteral("teste/1/availability"));
        Rig rig(1, QString(), settingsFor(broker));
        QVERIFY(rig.start());
        QTRY_COMPARE_WITH_TIMEOUT(live.last(QStringLiteral("teste/1/availability")),
                                  QStringLiteral("online"), 5000);
        QVERIFY(rig.bus.cutShortPolls(3));
        const std::size_t before = rig.recorder.outcomes.size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.recorder.outcomes.size() >= before + 2, 5000);
        QCOMPARE(std::count_if(rig.recorder.outcomes.begin(), rig.recorder.outcomes.end(),
                               [](const bus::PollOutcome& outcome) { return outcome.cutShort; }),
                 3);
        QTest::qWait(300);
        QCOMPARE(live.messages().size(), 1);
    }

    // A station away 3 s of every 7: offline with its third failed poll in a row, published
    // once, and online again with its first good reading.
    void availabilityAfterThreeFailures() {
        MqttBroker broker;
        QVERIFY(broker.start());
        MqttSubscriber live(broker, QStringLiteral("teste/#"));
        QTest::qWait(300);
        Rig rig(1, QStringLiteral("[station 1]\nschedule=4/3\n"), settingsFor(broker));
        QVERIFY(rig.start());
        const QString topic = QStringLiteral("teste/1/availability");
        // Until the reading that brought it back has come too (readings are gathered for up
        // to a second, availability is written at once but never ahead of them).
        QTRY_VERIFY_WITH_TIMEOUT(
            live.on(topic).size() >= 3 && live.messages().last().topic != topic, 20000);
        const auto changes = live.on(topic);
        QCOMPARE(changes[0].payload, QStringLiteral("online"));
        QCOMPARE(changes[1].payload, QStringLiteral("offline"));
        QCOMPARE(changes[2].payload, QStringLiteral("online"));

        const auto& outcomes = rig.recorder.outcomes;
        std::size_t failure = 0;
        while (outcomes[failure].good())
            ++failure;
        for (std::size_t i = failure; i < failure + 3; ++i)
            QVERIFY(!outcomes[i].good());
        // Every reading before the third failure reached the subscriber first; none after it
        // until the station answered again.
        const auto all = live.messages();
        const auto offline = std::find_if(all.begin(), all.end(), [&](const auto& m) {
            return m.topic == topic && m.payload == u"offline";
        });
        const auto statesBefore = std::count_if(
            all.begin(), offline, [](const auto& m) { return m.topic.endsWith(u"/state"); });
        QCOMPARE(qsizetype(statesBefore), qsizetype(failure));
        // It left with the third failure: after that poll had been read, before the fourth.
        QVERIFY(offline->receivedMs >= outcomes[failure + 2].replyReadMs);
        QVERIFY(outcomes.size() > failure + 3);
        QVERIFY(offline->receivedMs < outcomes[failure + 3].replyReadMs);
        QVERIFY(all.end() - offline >= 3);
        QCOMPARE((offline + 1)->topic, topic);
        QCOMPARE((offline + 2)->topic, QStringLiteral("teste/1/state"));

        // The counts of the last hour, as the monitor has them (the minute's timer does this).
        rig.bus.stations.stopForConfiguration(); // no more polls
        rig.publisher.publishHealth();
        // A poll the configuration window cut short is no failure of the station.
        const int polls = int(std::count_if(outcomes.begin(), outcomes.end(),
                                            [](const auto& o) { return !o.cutShort; }));
        const int failures = int(std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) {
            return !o.good() && !o.cutShort;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("teste/1/health")).isEmpty(), 5000);
        const QJsonObject counts = json(live.last(QStringLiteral("teste/1/health")));
        QCOMPARE(counts.value(u"polls").toInt(), polls);
        QCOMPARE(counts.value(u"no_reply").toInt(), failures);
        QCOMPARE(counts.value(u"good").toInt(), polls - failures);
    }

    // The broker away for 20 s: the polls keep their 200 ms spacing, only the latest reading of
    // each station waits, and within 30 s of the broker's return every retained state is
    // current again.
    void brokerAwayTwentySeconds() {
        MqttBroker broker;
        QVERIFY(broker.start());
        Rig rig(8, QString(), settingsFor(broker));
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.connected(), 5000);
        QTest::qWait(2000);
        broker.stop();
        const qint64 awayMs = QDateTime::currentMSecsSinceEpoch();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.publisher.connected(), 5000);
        QVERIFY(rig.publisher.stateText().startsWith(
            QStringLiteral("MQTT: sem conexão com 127.0.0.1:")));
        QTest::qWait(int(20000 - (QDateTime::currentMSecsSinceEpoch() - awayMs)));
        QVERIFY(broker.start());
        const qint64 backMs = QDateTime::currentMSecsSinceEpoch();
        MqttSubscriber late(broker, QStringLiteral("teste/#"));
        const auto current = [&] {
            for (int station = 1; station <= kStations; ++station) {
                const QJsonObject state =
                    json(late.last(QStringLiteral("teste/%1/state").arg(station)));
                const QDateTime time =
                    QDateTime::fromString(state.value(u"time").toString(), Qt::ISODate);
                if (!time.isValid() || time.toMSecsSinceEpoch() < backMs / 1000 * 1000)
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(current(), 30000);
        QCOMPARE(late.last(QStringLiteral("teste/status")), QStringLiteral("online"));
        QVERIFY(rig.publisher.droppedStates() > 8 * 5);

        std::vector<qint64> spacing;
        const auto& outcomes = rig.recorder.outcomes;
        for (std::size_t i = 1; i < outcomes.size(); ++i) {
            if (outcomes[i - 1].requestWrittenMs >= awayMs &&
                outcomes[i].requestWrittenMs <= backMs)
                spacing.push_back(outcomes[i].requestWrittenMs - outcomes[i - 1].requestWrittenMs);
        }
        QVERIFY(spacing.size() > 80);
        // Polling goes on at its pace while the broker is away. The exact spacing is
        // bench/timing's to measure: on a loaded machine the median here drifts to 207 ms, while
        // an attempt that held up the window thread would add a second.
        QVERIFY2(median(spacing) >= 200 && median(spacing) <= 215,
                 qPrintable(QString::number(median(spacing))));
        QVERIFY(*std::max_element(spacing.begin(), spacing.end()) < 600);
    }

    // Behind a password, the whole program: the broker takes it; killed, the broker publishes
    // its last will; the password is never printed.
    void lastWillOfTheKilledProgram() {
        // The broker's password file, made by mosquitto_passwd.
        QTemporaryDir brokerFiles;
        const QString passwords = brokerFiles.filePath(QStringLiteral("passwd"));
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                   {"-b", "-c", passwords, "cais", "s3nh@-secreta"}),
                 0);
        MqttBroker secured(
            QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords));
        QVERIFY(secured.start());
        MqttSubscriber live(secured, QStringLiteral("porto/#"),
                            {"-u", "cais", "-P", "s3nh@-secreta"});

        ProgramStation station(2, "385");
        QVERIFY(station.write(QStringLiteral("senha"), "s3nh@-secreta\n"));
        QVERIFY(QFile::setPermissions(station.path(QStringLiteral("senha")),
                                      QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(station.write(
            QStringLiteral("anemometros.ini"),
            QStringLiteral("[mqtt]\nhost=127.0.0.1\nport=%1\nprefix=porto\nusername=cais\n"
                           "password_file=%2\nkeepalive=5\n")
                .arg(secured.port())
                .arg(station.path(QStringLiteral("senha")))
                .toUtf8()));
        QVERIFY(station.start());
        QProcess& program = station.program;
        QTRY_COMPARE_WITH_TIMEOUT(live.last(QStringLiteral("porto/status")),
                                  QStringLiteral("online"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("porto/2/state")).isEmpty(), 10000);
        QCOMPARE(json(live.last(QStringLiteral("porto/2/state"))).value(u"name").toString(),
                 QStringLiteral("EST 2"));
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(live.last(QStringLiteral("porto/status")),
                                  QStringLiteral("offline"), 10000);
        const QByteArray printed = program.readAllStandardError() + program.readAllStandardOutput();
        QVERIFY(printed.contains("MQTT 127.0.0.1"));
        QVERIFY(!printed.contains("s3nh"));
    }

    // TLS with a CA the test made: published; with another CA the broker is not trusted and
    // nothing is published.
    void tlsWithTheTestsOwnCa() {
        QTemporaryDir certificates;
        QVERIFY(makeCertificates(certificates.path(), QStringLiteral("ca")));
        const QString folder = certificates.path();
        QVERIFY(runOpenSsl({"req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", "outra.key",
                            "-out", "outra.crt", "-days", "2", "-subj", "/CN=outra"},
                           folder));
        MqttBroker broker(QStringLiteral("allow_anonymous true\ncafile %1/ca.crt\n"
                                         "certfile %1/server.crt\nkeyfile %1/server.key\n")
                              .arg(folder));
        QVERIFY(broker.start());
        MqttSubscriber live(broker, QStringLiteral("teste/#"),
                            {"--cafile", folder + QStringLiteral("/ca.crt")});

        publish::MqttSettings wrong = settingsFor(broker);
        wrong.tlsCa = folder + QStringLiteral("/outra.crt");
        wrong.clientId = QStringLiteral("anemometros-outra");
        Rig untrusted(1, QString(), wrong);
        QVERIFY(untrusted.start());

        publish::MqttSettings settings = settingsFor(broker);
        settings.tlsCa = folder + QStringLiteral("/ca.crt");
        Rig rig(1, QString(), settings);
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("teste/1/availability")).isEmpty(),
                                 10000);
        QTRY_VERIFY_WITH_TIMEOUT(untrusted.recorder.outcomes.size() >= 5, 10000);
        QVERIFY(!untrusted.publisher.connected());
        QVERIFY(untrusted.publisher.stateText().startsWith(QStringLiteral("MQTT: ")));
        QVERIFY(!untrusted.publisher.stateText().startsWith(QStringLiteral("MQTT: conectado")));
    }
};

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
