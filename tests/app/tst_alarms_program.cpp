// The wind alarms in the real program: anemosim with a station above its preset 1 and one that
// falls silent, a real mosquitto, an acknowledgement asked through the broker, a stop and a
// restart.

#include "mqtt_broker.h"
#include "program_station.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

// Station 1 blows above its preset 1 all the time; station 2 answers for 2 s, then is silent.
const QByteArray kScenario =
    "[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n[station 2]\nschedule=2/600\n";

// The alarm `name` of station n's last published list, empty when it is not listed.
QJsonObject alarmOf(MqttSubscriber& subscriber, int n, const QString& name) {
    const QJsonObject list =
        QJsonDocument::fromJson(subscriber.last(QStringLiteral("obra/%1/alarms").arg(n)).toUtf8())
            .object();
    for (const QJsonValue& alarm : list.value(u"alarms").toArray()) {
        if (alarm.toObject().value(u"alarm").toString() == name)
            return alarm.toObject();
    }
    return {};
}

QString stateOf(MqttSubscriber& subscriber, int n, const QString& name) {
    return alarmOf(subscriber, n, name).value(u"state").toString();
}

} // namespace

class TestAlarmsProgram : public QObject {
    Q_OBJECT

private slots:
    void fromTheBusToTheBrokerAndBack() {
        MqttBroker broker(QStringLiteral("allow_anonymous true\n"));
        QVERIFY(broker.start());
        MqttSubscriber subscriber(broker, QStringLiteral("obra/#"));
        ProgramStation station(2, "200", kScenario);
        station.write(QStringLiteral("anemometros.ini"),
                      "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) +
                          "\nprefix=obra\nreconhecer_remoto=true\n[alarmes]\nsom=desligado\n");
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(subscriber, 1, QStringLiteral("PRESET 1")),
                                  QStringLiteral("ATIVO"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(subscriber, 2, QStringLiteral("SEM RESPOSTA")),
                                  QStringLiteral("ATIVO"), 15000);
        const QJsonObject preset = alarmOf(subscriber, 1, QStringLiteral("PRESET 1"));
        QCOMPARE(preset.value(u"priority").toString(), QStringLiteral("média"));
        QCOMPARE(preset.value(u"unit").toString(), QStringLiteral("km/h"));
        QVERIFY(preset.value(u"peak").toDouble() > 0.0);
        QVERIFY(stateOf(subscriber, 1, QStringLiteral("PRESET 2")).isEmpty());

        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_pub"),
                                   {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                    "obra/1/ack", "-m",
                                    QStringLiteral(R"({"alarm": "PRESET 1", "by": "joão"})")}),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(subscriber, 1, QStringLiteral("PRESET 1")),
                                  QStringLiteral("RECONHECIDO"), 5000);
        QCOMPARE(
            alarmOf(subscriber, 1, QStringLiteral("PRESET 1")).value(u"acknowledged_by").toString(),
            QStringLiteral("joão (remoto)"));
        // The other station's alarm is not touched.
        QCOMPARE(stateOf(subscriber, 2, QStringLiteral("SEM RESPOSTA")), QStringLiteral("ATIVO"));

        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QCOMPARE(station.program.exitCode(), 0);
        const QStringList journal = station.journal();
        QVERIFY2(
            journal.filter(QStringLiteral(";EST 1;ALARME RECONHECIDO;PRESET 1, joão (remoto);"))
                    .size() == 1,
            qPrintable(journal.join(u'\n')));
        QVERIFY(QFile::exists(station.path(QStringLiteral("alarmes.json"))));

        // Started again: the acknowledged alarm is back, and the first polls confirm it.
        const qsizetype lists = subscriber.on(QStringLiteral("obra/1/alarms")).size();
        const qsizetype states = subscriber.on(QStringLiteral("obra/1/state")).size();
        QVERIFY(station.start());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.on(QStringLiteral("obra/1/state")).size() > states + 2,
                                 15000);
        QVERIFY(subscriber.on(QStringLiteral("obra/1/alarms")).size() > lists);
        QCOMPARE(stateOf(subscriber, 1, QStringLiteral("PRESET 1")), QStringLiteral("RECONHECIDO"));
        QCOMPARE(
            alarmOf(subscriber, 1, QStringLiteral("PRESET 1")).value(u"acknowledged_by").toString(),
            QStringLiteral("joão (remoto)"));
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestAlarmsProgram)
#include "tst_alarms_program.moc"
