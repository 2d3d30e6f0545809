// What the station keeps tidy on a real Mosquitto broker, and what it says when the broker will
// not have it: the retained topics of stations it no longer polls are cleared, at start and
// after the configuration is saved; each refused connection gets a sentence of its own.

#include "app/station_windows.h"
#include "config/Unit2.h"
#include "config/station_edit.h"
#include "health/health_monitor.h"
#include "publish/publisher.h"

#include "boxes.h"
#include "mqtt_broker.h"
#include "program_station.h"
#include "pty_pair.h"
#include "station_env.h"
#include "test_certificates.h"

#include <QComboBox>
#include <QDir>
#include <QTest>

namespace {

// Every retained topic a station leaves on the broker (two of its five discovery configs
// stand for all of them).
QStringList leftoverTopics(int station) {
    return {
        QStringLiteral("teste/%1/state").arg(station),
        QStringLiteral("teste/%1/availability").arg(station),
        QStringLiteral("teste/%1/health").arg(station),
        QStringLiteral("homeassistant/sensor/cais-1_%1_speed/config").arg(station),
        QStringLiteral("homeassistant/binary_sensor/cais-1_%1_preset2_alarm/config").arg(station)};
}
// The last topic cleared: station 8's last discovery config.
const QString kLastCleared =
    QStringLiteral("homeassistant/binary_sensor/cais-1_8_preset2_alarm/config");

// What an earlier run with more stations left behind, retained.
bool leaveTopics(const MqttBroker& broker, const QList<int>& stations) {
    for (const int station : stations) {
        for (const QString& topic : leftoverTopics(station)) {
            if (QProcess::execute(QStringLiteral("mosquitto_pub"),
                                  {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q",
                                   "1", "-r", "-t", topic, "-m", "antigo"}) != 0)
                return false;
        }
    }
    return true;
}

bool ofStations(const QString& topic, int first, int last) {
    for (int station = first; station <= last; ++station) {
        if (topic.startsWith(QStringLiteral("teste/%1/").arg(station)) ||
            topic.contains(QStringLiteral("cais-1_%1_").arg(station)))
            return true;
    }
    return false;
}

// Topics of stations first..last that a subscriber coming now finds retained.
QStringList retainedFor(const MqttBroker& broker, int first, int last) {
    MqttSubscriber late(broker, QStringLiteral("#"));
    QTest::qWait(1500);
    QStringList found;
    for (const MqttSubscriber::Message& message : late.messages()) {
        if (message.retained && ofStations(message.topic, first, last))
            found << message.topic;
    }
    return found;
}

QByteArray settingsFor(const MqttBroker& broker) {
    return QStringLiteral("[mqtt]\nhost=127.0.0.1\nport=%1\nprefix=teste\nclient_id=cais-1\n")
        .arg(broker.port())
        .toUtf8();
}

// The deepest nesting of parentheses in a text.
int nesting(const QString& text) {
    int depth = 0;
    int deepest = 0;
    for (const QChar c : text) {
        depth += c == u'(' ? 1 : c == u')' ? -1 : 0;
        deepest = std::max(deepest, depth);
    }
    return deepest;
}

} // namespace

class TestMqttBroker : public QObject {
    Q_OBJECT

private slots:
    // The whole program with three stations, on a broker that still holds what stations 4, 5
    // and 8 left: once connected, nothing of stations 4 to 8 is retained any more, discovery
    // included, and stations 1 to 3 are published as always.
    void topicsOfStationsNoLongerPolledClearedAtStart() {
        MqttBroker broker;
        QVERIFY(broker.start());
        QVERIFY(leaveTopics(broker, {4, 5, 8}));
        QCOMPARE(retainedFor(broker, 4, 8).size(), 3 * 5);
        MqttSubscriber live(broker, QStringLiteral("#"));

        ProgramStation station(3, "385");
        QVERIFY(station.write(QStringLiteral("anemometros.ini"), settingsFor(broker)));
        QVERIFY(station.start());

        QTRY_COMPARE_WITH_TIMEOUT(live.last(QStringLiteral("teste/status")),
                                  QStringLiteral("online"), 10000);
        // Each cleared topic passes by as an empty message.
        QTRY_COMPARE_WITH_TIMEOUT(live.on(kLastCleared).size(), 2, 5000);
        QVERIFY(live.on(kLastCleared).last().payload.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("teste/3/state")).isEmpty(), 10000);
        QCOMPARE(retainedFor(broker, 4, 8), QStringList());
        QCOMPARE(retainedFor(broker, 1, 3).count(u"teste/2/state"), 1);
    }

    // The windows in this process, eight stations, stations 5 and 6 with leftovers: they stay
    // while the stations are polled; with three stations saved, they are gone.
    void topicsClearedWhenTheConfigurationIsSaved() {
        MqttBroker broker;
        QVERIFY(broker.start());
        QVERIFY(leaveTopics(broker, {5, 6}));
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        env.writeConfig(config.join('\n'));
        QVERIFY(writeText(env.dir() + QStringLiteral("/anemometros.ini"), settingsFor(broker)));
        MqttSubscriber live(broker, QStringLiteral("#"));
        BoxWatcher watcher;
        StationWindows windows;
        QVERIFY(windows.publisher);
        QTRY_VERIFY_WITH_TIMEOUT(windows.publisher->connected(), 5000);
        QTest::qWait(500);
        QVERIFY(live.on(kLastCleared).size() == 0);
        QVERIFY(retainedFor(broker, 5, 6).contains(QStringLiteral("teste/5/state")));

        TForm2& form2 = *windows.form2;
        form2.comboBoxRede()->setEditText(QStringLiteral("3"));
        form2.ComboBoxRedeChange();
        form2.BotaoSalvaConfigClick();
        QTRY_COMPARE_WITH_TIMEOUT(live.on(kLastCleared).size(), 1, 5000);
        QCOMPARE(retainedFor(broker, 4, 8), QStringList());
        QVERIFY(watcher.boxes().empty());
    }

    // A station renamed and saved: its retained alarm list says the new name as soon as the
    // configuration is saved, though none of its alarms changed.
    void renamedStationsAlarmListFollows() {
        MqttBroker broker;
        QVERIFY(broker.start());
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        env.writeConfig(config.join('\n'));
        QVERIFY(writeText(env.dir() + QStringLiteral("/anemometros.ini"), settingsFor(broker)));
        MqttSubscriber live(broker, QStringLiteral("teste/2/alarms"));
        BoxWatcher watcher;
        StationWindows windows;
        QTRY_VERIFY_WITH_TIMEOUT(windows.publisher->connected(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!live.last(QStringLiteral("teste/2/alarms")).isEmpty(), 5000);
        QVERIFY(!live.last(QStringLiteral("teste/2/alarms")).contains(u"GUINDASTE NORTE"));

        TForm2& form2 = *windows.form2;
        form2.nameEdit(2)->setText(QStringLiteral("GUINDASTE NORTE"));
        form2.BotaoSalvaConfigClick();
        QTRY_VERIFY_WITH_TIMEOUT(
            live.last(QStringLiteral("teste/2/alarms")).contains(u"\"name\":\"GUINDASTE NORTE\""),
            3000);
        QVERIFY(watcher.boxes().empty());
    }

    // Each way a broker refuses the station gets its own sentence, that says what to change,
    // in the Diagnóstico line without nested parentheses; the password is never in it.
    void eachRefusalSaysWhatToChange_data() {
        QTest::addColumn<QString>("broker");  // what the broker's listener is
        QTest::addColumn<QString>("station"); // what the station is told
        QTest::addColumn<QString>("expected");
        QTest::newRow("expired certificate")
            << "tls expired"
            << "tls ca"
            << "o certificado do broker venceu em 15/01/2020; instale um certificado novo no "
               "broker ou acerte a data deste computador";
        QTest::newRow("unknown authority")
            << "tls"
            << "tls outra"
            << "o certificado do broker não foi emitido pela autoridade de tls_ca %1/outra.crt; "
               "aponte tls_ca para o certificado da autoridade que emitiu o do broker";
        QTest::newRow("wrong host name")
            << "tls"
            << "tls ca localhost"
            << "o certificado do broker não vale para o nome localhost; use em host o nome ou o "
               "endereço que consta no certificado";
        QTest::newRow("wrong password")
            << "password"
            << "password"
            << "o broker não autorizou o usuário cais com essa senha; confira username e a senha "
               "no arquivo de password_file, em anemometros.ini";
        QTest::newRow("no user")
            << "password"
            << "plain"
            << "o broker exige usuário e senha; defina username e password_file em "
               "anemometros.ini";
        QTest::newRow("plain to a TLS port")
            << "tls"
            << "plain"
            << "o broker encerrou a conexão sem responder; se a porta %2 usa TLS, defina tls_ca em "
               "anemometros.ini";
        QTest::newRow("TLS to a plain port")
            << "plain"
            << "tls ca"
            << "a negociação TLS com o broker falhou; confira se a porta %2 do broker usa TLS";
    }
    void eachRefusalSaysWhatToChange() {
        QFETCH(QString, broker);
        QFETCH(QString, station);
        QFETCH(QString, expected);
        QTemporaryDir files;
        const QString folder = files.path();
        QVERIFY(makeCertificates(folder, QStringLiteral("ca")));
        QVERIFY(runOpenSsl({"req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", "outra.key",
                            "-out", "outra.crt", "-days", "2", "-subj", "/CN=outra"},
                           folder));
        QVERIFY(makeExpiredCertificate(folder, QStringLiteral("ca")));
        const QString passwords = folder + QStringLiteral("/passwd");
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                   {"-b", "-c", passwords, "cais", "s3nh@-certa"}),
                 0);
        QString listener = QStringLiteral("allow_anonymous true\n");
        if (broker.startsWith(u"tls"))
            listener +=
                QStringLiteral("cafile %1/ca.crt\ncertfile %1/%2\nkeyfile %1/server.key\n")
                    .arg(folder, broker.endsWith(u"expired") ? "expired.crt" : "server.crt");
        if (broker == u"password")
            listener = QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        MqttBroker mosquitto(listener);
        QVERIFY(mosquitto.start());

        publish::MqttSettings settings;
        settings.host = station.endsWith(u"localhost") ? QStringLiteral("localhost")
                                                       : QStringLiteral("127.0.0.1");
        settings.port = mosquitto.port();
        settings.clientId = QStringLiteral("anemometros-teste");
        if (station.startsWith(u"tls"))
            settings.tlsCa = folder + (station.contains(u"outra") ? QStringLiteral("/outra.crt")
                                                                  : QStringLiteral("/ca.crt"));
        if (station == u"password") {
            settings.username = QStringLiteral("cais");
            settings.password = QStringLiteral("s3nh@-errada");
        }
        const settings::StationSettings stations;
        const health::HealthMonitor monitor({.settings = stations,
                                             .logFolder = [] { return QString(); },
                                             .nowMs = [] { return qint64(0); }});
        publish::Publisher publisher(settings, {.settings = stations, .health = monitor});
        publisher.start();
        const QString start =
            QStringLiteral("MQTT: sem conexão com %1:%2 — ").arg(settings.host).arg(settings.port);
        QTRY_VERIFY_WITH_TIMEOUT(
            publisher.stateText().startsWith(QStringLiteral("MQTT: sem conexão com ")), 10000);
        QCOMPARE(publisher.stateText(),
                 start +
                     expected.replace(QStringLiteral("%1"), folder)
                         .replace(QStringLiteral("%2"), QString::number(settings.port)) +
                     QStringLiteral(". Nova tentativa em até 30 s."));
        QVERIFY(nesting(publisher.stateText()) <= 1);
        QVERIFY(!publisher.stateText().contains(QStringLiteral("s3nh")));
        QVERIFY(!publisher.connected());
    }
};

QTEST_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
