// The alarm list on the broker: the payload of each station's alarms, and on a real Mosquitto
// broker the retained topics as the list changes, their clearing, and acknowledgements asked
// through the broker, carried out or refused.

#include "alarms/alarm_book.h"
#include "health/health_monitor.h"
#include "publish/payloads.h"
#include "publish/publisher.h"

#include "mqtt_broker.h"
#include "named_stations.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTimeZone>

using alarms::AlarmBook;
using alarms::Kind;
using alarms::State;

namespace {

// 14:30:05 on 8 December 2026, three hours behind UTC (the test's local time).
const qint64 kT0 =
    QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5), QTimeZone(-3 * 3600)).toMSecsSinceEpoch();
constexpr qint64 kMinute = 60'000;

using Scenario = void (*)(AlarmBook&);

QJsonObject parsed(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

// The payload of a station's alarms topic, as a subscriber reads it.
QByteArray listOf(int station, const QByteArray& name, const QByteArray& alarms) {
    return "{\"station\": " + QByteArray::number(station) + ", \"name\": \"" + name +
           "\", \"alarms\": [" + alarms + "]}";
}

bool publishAs(const MqttBroker& broker, const QString& topic, const QByteArray& payload,
               const QStringList& extra = {}) {
    return QProcess::execute(QStringLiteral("mosquitto_pub"),
                             QStringList{"-h", "127.0.0.1", "-p", QString::number(broker.port()),
                                         "-q", "1", "-t", topic, "-m", QString::fromUtf8(payload)} +
                                 extra) == 0;
}

// Retained topics a subscriber coming now finds, with their payloads.
QMap<QString, QString> retained(const MqttBroker& broker) {
    MqttSubscriber late(broker, QStringLiteral("#"));
    QTest::qWait(1000);
    QMap<QString, QString> found;
    for (const MqttSubscriber::Message& message : late.messages()) {
        if (message.retained)
            found.insert(message.topic, message.payload);
    }
    return found;
}

// A publisher of three polled stations with their alarms, on a broker of its own, on a clock
// the test moves.
struct Rig {
    MqttBroker broker;
    NamedStations stations{3};
    qint64 nowMs = kT0;
    health::HealthMonitor monitor{{.settings = stations,
                                   .logFolder = [] { return QString(); },
                                   .nowMs = [this] { return nowMs; }}};
    AlarmBook book;
    std::optional<publish::Publisher> publisher;

    bool start(bool remoteAck) { return broker.start() && startPublisher(remoteAck); }
    bool startPublisher(bool remoteAck) {
        stations.setPortName(QStringLiteral("ttyUSB0"));
        publish::MqttSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port();
        settings.prefix = QStringLiteral("teste");
        settings.clientId = QStringLiteral("cais-1");
        settings.discovery = true;
        settings.remoteAck = remoteAck;
        publisher.emplace(settings, publish::Publisher::Stations{
                                        .settings = stations, .health = monitor, .alarms = &book});
        publisher->start();
        return QTest::qWaitFor([this] { return publisher->connected(); }, 5000);
    }
};

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestMqttAlarms : public QObject {
    Q_OBJECT

private slots:
    // Each field as a remote reader gets it: states in the list's words, times with their
    // offset, null where there is nothing, the peak with its unit, only the station's entries.
    void payloadOfEachState_data() {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<int>("station");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("preset 2 ativo")
            << Scenario([](AlarmBook& book) {
                   book.setActive(3, Kind::Preset2, true, kT0, 48.0, QStringLiteral("km/h"));
                   book.setActive(3, Kind::Preset2, true, kT0 + 1000, 52.3, QStringLiteral("km/h"));
               })
            << 3 << QByteArray("CAIS 1")
            << listOf(3, "CAIS 1",
                      "{\"alarm\": \"PRESET 2\", \"priority\": \"alta\", \"state\": \"ATIVO\", "
                      "\"since\": \"2026-12-08T14:30:05-03:00\", \"peak\": 52.3, \"unit\": "
                      "\"km/h\", \"acknowledged_by\": null, \"acknowledged_at\": null, "
                      "\"shelved_until\": null, \"repetitions\": 0}");
        QTest::newRow("normalizado e voltou; reconhecido, mais novo, primeiro")
            << Scenario([](AlarmBook& book) {
                   book.setActive(2, Kind::Preset2, true, kT0, 30.0, QStringLiteral("kn"));
                   book.setActive(2, Kind::Preset2, false, kT0 + kMinute);
                   book.setActive(2, Kind::Preset2, true, kT0 + kMinute, 31.5,
                                  QStringLiteral("kn"));
                   book.setActive(2, Kind::Preset2, false, kT0 + kMinute);
                   book.setActive(2, Kind::Preset1, true, kT0 + kMinute, 9.5, QStringLiteral("kn"));
                   book.acknowledge({{2, Kind::Preset1}}, QStringLiteral("maria"), kT0 + kMinute);
               })
            << 2 << QByteArray("TORRE")
            << listOf(
                   2, "TORRE",
                   "{\"alarm\": \"PRESET 1\", \"priority\": \"média\", \"state\": "
                   "\"RECONHECIDO\", \"since\": \"2026-12-08T14:31:05-03:00\", \"peak\": 9.5, "
                   "\"unit\": \"kn\", \"acknowledged_by\": \"maria\", \"acknowledged_at\": "
                   "\"2026-12-08T14:31:05-03:00\", \"shelved_until\": null, \"repetitions\": 0}, "
                   "{\"alarm\": \"PRESET 2\", \"priority\": \"alta\", \"state\": "
                   "\"NORMALIZADO\", \"since\": \"2026-12-08T14:30:05-03:00\", \"peak\": "
                   "31.5, \"unit\": \"kn\", \"acknowledged_by\": null, \"acknowledged_at\": "
                   "null, \"shelved_until\": null, \"repetitions\": 1}");
        QTest::newRow("suprimido: a hora inteira em shelved_until")
            << Scenario([](AlarmBook& book) {
                   book.setActive(1, Kind::NoAnswer, true, kT0);
                   book.shelve({1, Kind::NoAnswer}, AlarmBook::kShelve8HoursMs,
                               QStringLiteral("ze"), kT0 + 10 * kMinute);
               })
            << 1 << QByteArray("EST 1")
            << listOf(1, "EST 1",
                      "{\"alarm\": \"SEM RESPOSTA\", \"priority\": \"alta\", \"state\": "
                      "\"SUPRIMIDO\", \"since\": \"2026-12-08T14:30:05-03:00\", \"peak\": null, "
                      "\"unit\": null, \"acknowledged_by\": null, \"acknowledged_at\": null, "
                      "\"shelved_until\": \"2026-12-08T22:40:05-03:00\", \"repetitions\": 0}");
        QTest::newRow("a porta, estação 0")
            << Scenario([](AlarmBook& book) {
                   book.setActive(0, Kind::PortClosed, true, kT0);
                   book.setActive(1, Kind::BatteryLow, true, kT0);
               })
            << 0 << QByteArray("ttyUSB0")
            << listOf(0, "ttyUSB0",
                      "{\"alarm\": \"PORTA FECHADA\", \"priority\": \"alta\", \"state\": "
                      "\"ATIVO\", \"since\": \"2026-12-08T14:30:05-03:00\", \"peak\": null, "
                      "\"unit\": null, \"acknowledged_by\": null, \"acknowledged_at\": null, "
                      "\"shelved_until\": null, \"repetitions\": 0}");
        QTest::newRow("só alarmes de outras estações: lista vazia")
            << Scenario([](AlarmBook& book) {
                   book.setActive(4, Kind::LogFailed, true, kT0);
                   book.setActive(0, Kind::PortClosed, true, kT0);
               })
            << 5 << QByteArray("CAIS \\\"B\\\" Á")
            << QByteArray("{\"station\": 5, \"name\": \"CAIS \\\"B\\\" Á\", \"alarms\": []}");
    }
    void payloadOfEachState() {
        QFETCH(Scenario, scenario);
        QFETCH(int, station);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, expected);
        AlarmBook book;
        scenario(book);
        const QJsonObject want = parsed(expected);
        QVERIFY2(!want.isEmpty(), expected.constData());
        const QByteArray payload =
            publish::alarmsPayload(station, want.value(u"name").toString(), book.entries());
        QCOMPARE(parsed(payload), want);
        QVERIFY2(!payload.contains('\n') && !payload.contains(": "), payload.constData());
        QCOMPARE(publish::alarmsTopic(QStringLiteral("porto/cais"), station),
                 station == 0 ? QStringLiteral("porto/cais/alarms")
                              : QStringLiteral("porto/cais/%1/alarms").arg(station));
    }

    // Retained, sent again when the list changes and only then, an empty list once normal;
    // the topics of a station no longer polled and of one left from an earlier run are cleared,
    // discovery included.
    void listsRetainedUpdatedAndCleared() {
        Rig rig;
        const QString leftover5 = QStringLiteral("teste/5/alarms");
        const QString discovery2 =
            QStringLiteral("homeassistant/binary_sensor/cais-1_2_alarm_unacknowledged/config");
        const QString discovery3 =
            QStringLiteral("homeassistant/binary_sensor/cais-1_3_alarm_unacknowledged/config");
        QVERIFY(rig.broker.start());
        QVERIFY(publishAs(rig.broker, leftover5, "antigo", {"-r"}));
        rig.book.setActive(2, Kind::Preset2, true, kT0, 52.3, QStringLiteral("km/h"));
        MqttSubscriber live(rig.broker, QStringLiteral("teste/#"));
        QVERIFY(rig.startPublisher(false));

        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("teste/alarms")).isEmpty(), 5000);
        QMap<QString, QString> now = retained(rig.broker);
        QCOMPARE(parsed(now.value(QStringLiteral("teste/alarms")).toUtf8()),
                 parsed(R"({"station": 0, "name": "ttyUSB0", "alarms": []})"));
        QCOMPARE(parsed(now.value(QStringLiteral("teste/1/alarms")).toUtf8()),
                 parsed(R"({"station": 1, "name": "EST 1", "alarms": []})"));
        const QJsonArray list2 =
            parsed(now.value(QStringLiteral("teste/2/alarms")).toUtf8()).value(u"alarms").toArray();
        QCOMPARE(list2.size(), 1);
        QCOMPARE(list2[0].toObject().value(u"state").toString(), QStringLiteral("ATIVO"));
        QVERIFY(!now.contains(leftover5));
        QVERIFY(!now.contains(QStringLiteral("teste/4/alarms")));
        QCOMPARE(parsed(now.value(discovery2).toUtf8()).value(u"state_topic").toString(),
                 QStringLiteral("teste/2/alarms"));

        // Acknowledged here: station 2's list again, the others left alone.
        const qsizetype sentTo1 = live.on(QStringLiteral("teste/1/alarms")).size();
        rig.book.acknowledge({{2, Kind::Preset2}}, QStringLiteral("maria"), kT0 + kMinute);
        QTRY_VERIFY(live.last(QStringLiteral("teste/2/alarms")).contains(u"RECONHECIDO"));
        // A change of the horn alone changes no list.
        rig.book.setActive(1, Kind::Preset1, true, kT0 + kMinute);
        rig.book.silence(QStringLiteral("maria"));
        rig.book.setActive(1, Kind::Preset1, false, kT0 + 2 * kMinute);
        rig.book.acknowledge({{1, Kind::Preset1}}, QStringLiteral("maria"), kT0 + 2 * kMinute);
        rig.book.setActive(2, Kind::Preset2, false, kT0 + 2 * kMinute);
        QTRY_COMPARE(parsed(live.last(QStringLiteral("teste/2/alarms")).toUtf8()),
                     parsed(R"({"station": 2, "name": "EST 2", "alarms": []})"));
        QTest::qWait(300);
        // Station 1: came, normalized, acknowledged away: three lists, the silence none.
        QCOMPARE(live.on(QStringLiteral("teste/1/alarms")).size(), sentTo1 + 3);

        rig.stations.setPolled(3, false);
        rig.publisher->stationsChanged();
        QTRY_VERIFY(!live.on(QStringLiteral("teste/3/alarms")).isEmpty() &&
                    live.on(QStringLiteral("teste/3/alarms")).last().payload.isEmpty());
        now = retained(rig.broker);
        QVERIFY(!now.contains(QStringLiteral("teste/3/alarms")));
        QVERIFY(!now.contains(discovery3));
        QVERIFY(now.contains(discovery2));
        QVERIFY(now.contains(QStringLiteral("teste/2/alarms")));
    }

    // A broker that went away and came back empty gets every list again, the change made
    // meanwhile included, and acknowledgements are listened to again.
    void listsAndAcknowledgementsAfterTheBrokerCameBack() {
        Rig rig;
        QVERIFY(rig.start(true));
        rig.broker.stop();
        QTRY_VERIFY(!rig.publisher->connected());
        rig.book.setActive(1, Kind::Preset2, true, kT0, 20.0, QStringLiteral("m/s"));
        QVERIFY(rig.broker.start());
        MqttSubscriber live(rig.broker, QStringLiteral("teste/#"));
        QTRY_VERIFY_WITH_TIMEOUT(live.last(QStringLiteral("teste/1/alarms")).contains(u"ATIVO"),
                                 10000);
        QVERIFY(!live.last(QStringLiteral("teste/alarms")).isEmpty());
        QVERIFY(
            publishAs(rig.broker, QStringLiteral("teste/1/ack"), R"({"alarm": "*", "by": "ana"})"));
        QTRY_VERIFY(live.last(QStringLiteral("teste/1/alarms")).contains(u"RECONHECIDO"));
        QCOMPARE(rig.book.find({1, Kind::Preset2})->acknowledgedBy, QStringLiteral("ana (remoto)"));
    }

    // An acknowledgement through the broker is carried out only with reconhecer_remoto on, as
    // "nome (remoto)"; anything else is counted and leaves the list as it was, and the next good
    // message is still carried out.
    void remoteAcknowledgement_data() {
        QTest::addColumn<bool>("remoteAck");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("retain");
        QTest::addColumn<QString>("outcome"); // "aceito", "ignorado", "malformado"
        const QByteArray preset2 = R"({"alarm": "PRESET 2", "by": "joão"})";
        QTest::newRow("aceito") << true << "teste/2/ack" << preset2 << false << "aceito";
        QTest::newRow("aceito, todos da estação")
            << true << "teste/2/ack" << QByteArray(R"({"alarm": "*", "by": "joão"})") << false
            << "aceito";
        QTest::newRow("desligado") << false << "teste/2/ack" << preset2 << false << "ignorado";
        QTest::newRow("não é JSON")
            << true << "teste/2/ack" << QByteArray("PRESET 2") << false << "malformado";
        QTest::newRow("sem by") << true << "teste/2/ack" << QByteArray(R"({"alarm": "PRESET 2"})")
                                << false << "malformado";
        QTest::newRow("by com quebra de linha")
            << true << "teste/2/ack"
            << QByteArray(R"({"alarm": "PRESET 2", "by": "x\n12:00:00 FALSO"})") << false
            << "malformado";
        QTest::newRow("alarme desconhecido")
            << true << "teste/2/ack" << QByteArray(R"({"alarm": "PRESET 3", "by": "joão"})")
            << false << "malformado";
        QTest::newRow("estação 9") << true << "teste/9/ack" << preset2 << false << "malformado";
        QTest::newRow("grande demais")
            << true << "teste/2/ack"
            << QByteArray(R"({"alarm": "PRESET 2", "by": "joão", "x": ")") + QByteArray(2000, 'x') +
                   "\"}"
            << false << "malformado";
        QTest::newRow("retido") << true << "teste/2/ack" << preset2 << true << "malformado";
    }
    void remoteAcknowledgement() {
        QFETCH(bool, remoteAck);
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(bool, retain);
        QFETCH(QString, outcome);
        Rig rig;
        rig.book.setActive(2, Kind::Preset2, true, kT0, 52.3, QStringLiteral("km/h"));
        rig.book.setActive(2, Kind::BatteryLow, true, kT0);
        rig.book.setActive(1, Kind::Preset2, true, kT0);
        QSignalSpy journal(&rig.book, &AlarmBook::journal);
        rig.nowMs = kT0 + 5 * kMinute;
        QVERIFY(rig.broker.start());
        // A retained acknowledgement reaches a publisher that subscribes after it as retained:
        // an old one, that each connection would carry out again.
        if (retain)
            QVERIFY(publishAs(rig.broker, topic, payload, {"-r"}));
        QVERIFY(rig.startPublisher(remoteAck));
        QSignalSpy refused(&*rig.publisher, &publish::Publisher::remoteAckRefused);
        MqttSubscriber live(rig.broker, QStringLiteral("teste/2/alarms"));
        // The list leaves after the subscription: once it is here, the broker has both.
        QTRY_VERIFY(!live.last(QStringLiteral("teste/2/alarms")).isEmpty());
        if (!retain)
            QVERIFY(publishAs(rig.broker, topic, payload));

        const auto state = [&rig](int station, Kind kind) {
            const alarms::Entry* entry = rig.book.find({station, kind});
            return entry ? entry->state : State::Normalized;
        };
        if (outcome == u"aceito") {
            QTRY_COMPARE(state(2, Kind::Preset2), State::Acknowledged);
            const alarms::Entry& entry = *rig.book.find({2, Kind::Preset2});
            QCOMPARE(entry.acknowledgedBy, QStringLiteral("joão (remoto)"));
            QCOMPARE(entry.acknowledgedAtMs, kT0 + 5 * kMinute);
            QStringList details;
            for (const QList<QVariant>& line : journal)
                details << line.at(2).toString();
            QVERIFY2(details.contains(QStringLiteral("PRESET 2, joão (remoto)")),
                     qPrintable(details.join(u'|')));
            QCOMPARE(state(2, Kind::BatteryLow),
                     payload.contains("*") ? State::Acknowledged : State::Active);
            QCOMPARE(state(1, Kind::Preset2), State::Active);
            QTRY_VERIFY(live.last(QStringLiteral("teste/2/alarms")).contains(u"joão (remoto)"));
            QCOMPARE(rig.publisher->remoteAcksIgnored() + rig.publisher->remoteAcksMalformed(), 0);
            QCOMPARE(refused.size(), 0);
            return;
        }
        QTRY_COMPARE(refused.size(), 1);
        QCOMPARE(rig.publisher->remoteAcksIgnored(), outcome == u"ignorado" ? 1 : 0);
        QCOMPARE(rig.publisher->remoteAcksMalformed(), outcome == u"malformado" ? 1 : 0);
        QCOMPARE(state(2, Kind::Preset2), State::Active);
        QCOMPARE(journal.size(), 0);
        if (!remoteAck)
            return;
        // Still listening: a good message after it is carried out.
        QVERIFY(publishAs(rig.broker, QStringLiteral("teste/1/ack"),
                          R"({"alarm": "PRESET 2", "by": "ana"})"));
        QTRY_COMPARE(state(1, Kind::Preset2), State::Acknowledged);
        QCOMPARE(rig.book.find({1, Kind::Preset2})->acknowledgedBy, QStringLiteral("ana (remoto)"));
        QCOMPARE(state(2, Kind::Preset2), State::Active);
        QCOMPARE(refused.size(), 1);
    }
};

int main(int argc, char** argv) {
    // Local time three hours behind UTC all year, so the times in the payloads are fixed.
    qputenv("TZ", "<-03>3");
    QCoreApplication app(argc, argv);
    TestMqttAlarms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mqtt_alarms.moc"
