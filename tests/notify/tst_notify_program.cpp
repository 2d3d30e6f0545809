// The notifications of the real programs: the station program on anemosim with its alarms
// told through e-mail, webhook and command, a remote acknowledgement over MQTT among them, a
// kill -9 with a full queue; the site view telling each event of a station PC once, however
// often it is started again.

#include "http_sink.h"
#include "mqtt_broker.h"
#include "program_station.h"
#include "smtp_server.h"
#include "test_certificates.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTest>

#include <csignal>

namespace {

// Writes each run's ANEMOMETROS_ variables, and what came on its standard input, to a file of
// its own in the script's folder, named as a run only once it is whole.
const QByteArray kRecorder = "#!/bin/sh\nf=$(mktemp \"$0.part.XXXXXX\")\n"
                             "env | grep '^ANEMOMETROS_' > \"$f\"\ncat >> \"$f\"\n"
                             "mv \"$f\" \"$0.run.${f##*.}\"\n";

bool writeScript(const QString& path) {
    return writeText(path, kRecorder) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// What the recorder got, one text per run, in no order.
QStringList runsOf(const QString& script) {
    const QFileInfo info(script);
    QStringList runs;
    for (const QFileInfo& run : QDir(info.path()).entryInfoList({info.fileName() + ".run.*"})) {
        QFile file(run.filePath());
        file.open(QIODevice::ReadOnly);
        runs << QString::fromUtf8(file.readAll());
    }
    return runs;
}

// What the queue file holds, -1 while it is not there.
qsizetype pendingIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return QJsonDocument::fromJson(file.readAll()).object().value("pending").toArray().size();
}

QStringList subjects(const SmtpServer& smtp) {
    QStringList list;
    for (const QJsonObject& mail : smtp.messages())
        list << mail.value("subject").toString();
    return list;
}

QStringList webhookEvents(const HttpSink& web) {
    QStringList list;
    for (const HttpSink::Request& request : web.requests()) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        list << body.value("alarm").toString() + u' ' + body.value("event").toString();
    }
    return list;
}

QByteArray mqttGroup(const MqttBroker& broker, const QByteArray& more = {}) {
    return "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) + "\nprefix=obra\n" +
           more;
}

QByteArray alarmList(const QByteArray& state) {
    return R"({"station":1,"name":"GUINDASTE NORTE","alarms":[{"alarm":"PRESET 2",)"
           R"("priority":"alta","state":")" +
           state +
           R"(","since":"2026-12-07T14:03:05-03:00","peak":72.4,"unit":"km/h",)"
           R"("acknowledged_by":null,"acknowledged_at":null,"shelved_until":null,)"
           R"("repetitions":0}]})";
}

bool publishRetained(const MqttBroker& broker, const QByteArray& payload) {
    return QProcess::execute(QStringLiteral("mosquitto_pub"),
                             {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-r", "-q",
                              "1", "-t", "obra/1/alarms", "-m", QString::fromUtf8(payload)}) == 0;
}

} // namespace

class TestNotifyProgram : public QObject {
    Q_OBJECT

private slots:
    // ATIVO, NORMALIZADO and a RECONHECIDO asked over MQTT, through the three channels at once.
    void stationProgramTellsThroughEveryChannel() {
        QTemporaryDir certs;
        QVERIFY(makeCertificates(certs.path(), QStringLiteral("ca")));
        SmtpServer smtp("starttls", {"--cert", certs.filePath("server.crt"), "--key",
                                     certs.filePath("server.key"), "--login", "ana:s3nha"});
        QVERIFY(smtp.start());
        HttpSink web;
        MqttBroker broker;
        QVERIFY(broker.start());
        // Station 1 always over its preset 1; station 2 answers 2 s out of 6.
        ProgramStation station(2, "200",
                               "[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n"
                               "[station 2]\nschedule=2/4\n");
        QVERIFY(writeText(station.path("senha"), "s3nha\n"));
        QFile::setPermissions(station.path("senha"), QFile::ReadOwner | QFile::WriteOwner);
        const QString script = station.path("registra");
        QVERIFY(writeScript(script));
        QVERIFY(station.write(
            "anemometros.ini",
            mqttGroup(broker, "reconhecer_remoto=true\n") +
                "[alarmes]\nsom=desligado\n[notificacoes]\nemail_servidor=127.0.0.1:" +
                QByteArray::number(smtp.port()) +
                "\nemail_usuario=ana\nemail_senha_arquivo=senha\nemail_tls_ca=" +
                certs.filePath("ca.crt").toUtf8() +
                "\nemail_de=alarmes@obra.example\nemail_para=ana@example.com\nwebhook_url=" +
                web.url() + "\ncomando=" + script.toUtf8() +
                "\nquando=ATIVO,NORMALIZADO,RECONHECIDO\n"));
        QVERIFY(station.start());

        const QString preset1 = QStringLiteral("K&V ANEMÔMETROS: PRESET 1 ATIVO — EST 1 (obra)");
        const QString silent = QStringLiteral("K&V ANEMÔMETROS: SEM RESPOSTA ATIVO — EST 2 (obra)");
        const QString back =
            QStringLiteral("K&V ANEMÔMETROS: SEM RESPOSTA NORMALIZADO — EST 2 (obra)");
        QTRY_VERIFY_WITH_TIMEOUT(subjects(smtp).contains(preset1), 15000);
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_pub"),
                                   {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                    "obra/1/ack", "-m",
                                    QStringLiteral(R"({"alarm": "PRESET 1", "by": "joão"})")}),
                 0);
        const QString acknowledged =
            QStringLiteral("K&V ANEMÔMETROS: PRESET 1 RECONHECIDO — EST 1 (obra)");
        QTRY_VERIFY_WITH_TIMEOUT(subjects(smtp).contains(acknowledged), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(subjects(smtp).contains(back), 20000);
        QVERIFY(subjects(smtp).contains(silent));
        for (const QJsonObject& mail : smtp.messages()) {
            if (mail.value("subject").toString() == acknowledged)
                QVERIFY(mail.value("body").toString().contains("Reconhecido por: joão (remoto)"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(webhookEvents(web).contains("SEM RESPOSTA NORMALIZADO"), 5000);
        for (const char* event : {"PRESET 1 ATIVO", "PRESET 1 RECONHECIDO", "SEM RESPOSTA ATIVO"})
            QVERIFY2(webhookEvents(web).contains(event), event);
        QTRY_COMPARE_WITH_TIMEOUT(runsOf(script).filter("ANEMOMETROS_EVENTO=NORMALIZADO").size(), 1,
                                  5000);
        const QStringList runs = runsOf(script);
        QCOMPARE(runs.filter("ANEMOMETROS_EVENTO=RECONHECIDO").size(), 1);
        QVERIFY(runs.filter("ANEMOMETROS_RECONHECIDO_POR=joão (remoto)").size() == 1);
        QVERIFY(runs.filter("ANEMOMETROS_LOCAL=obra\n").size() == runs.size());

        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        const QStringList sent = station.journal().filter(";NOTIFICAÇÃO ENVIADA;");
        QVERIFY2(
            sent.filter(";EST 1;NOTIFICAÇÃO ENVIADA;e-mail, PRESET 1 ATIVO, para ana@example.com;")
                    .size() == 1,
            qPrintable(station.journal().join('\n')));
        QVERIFY(station.journal().filter("s3nha").isEmpty());
    }

    // A kill -9 while every notification waits for a mail server that is down loses none and
    // repeats none: the program started again sends the queue once the server is up.
    void killWithAFullQueue() {
        SmtpServer smtp("plain");
        ProgramStation station(1, "200", "[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n");
        QVERIFY(
            station.write("anemometros.ini",
                          "[alarmes]\nsom=desligado\n[notificacoes]\nemail_servidor=127.0.0.1:" +
                              QByteArray::number(smtp.port()) +
                              "\nemail_seguranca=nenhuma\nemail_de=a@obra.example\n"
                              "email_para=b@example.com\n"));
        QVERIFY(station.start());
        const auto queued = [&station] { return pendingIn(station.path("notificacoes.json")); };
        QTRY_VERIFY_WITH_TIMEOUT(queued() == 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(
            station.journal().filter(";NOTIFICAÇÃO FALHOU;").filter("recusou a conexão").size() ==
                1,
            5000);
        station.signal(SIGKILL);
        QVERIFY(station.program.waitForFinished(5000));
        QCOMPARE(queued(), 1);

        QVERIFY(smtp.start());
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(queued(), 0, 5000);
        // The alarm read back from the list is no new ATIVO.
        QTest::qWait(2000);
        // Without [mqtt], "Local" is the host name.
        QCOMPARE(subjects(smtp),
                 QStringList{QStringLiteral("K&V ANEMÔMETROS: PRESET 1 ATIVO — EST 1 (%1)")
                                 .arg(QSysInfo::machineHostName())});
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
    }

    // The site view tells a station PC's alarm once, though it reads the retained list again
    // at each start and the PC publishes it again; its end is told once too.
    void siteViewTellsEachEventOnce() {
        MqttBroker broker;
        QVERIFY(broker.start());
        QVERIFY(publishRetained(broker, alarmList("ATIVO")));
        QTemporaryDir folder;
        QTemporaryDir home;
        const QString script = folder.filePath("registra");
        QVERIFY(writeScript(script));
        QVERIFY(writeText(folder.filePath("anemometros.ini"),
                          mqttGroup(broker) + "[alarmes]\nsom=desligado\n[notificacoes]\ncomando=" +
                              script.toUtf8() + "\n"));
        QProcess view;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        view.setProcessEnvironment(environment);
        view.setWorkingDirectory(folder.path());
        const auto startView = [&view] {
            view.start(QStringLiteral(ANEMOMETROS_PATH), {QStringLiteral("--local")});
            return view.waitForStarted();
        };
        const auto stopView = [&view] {
            view.terminate();
            return view.waitForFinished(5000);
        };
        QVERIFY(startView());
        QTRY_COMPARE_WITH_TIMEOUT(runsOf(script).size(), 1, 10000);
        QVERIFY(runsOf(script)[0].contains("ANEMOMETROS_EVENTO=ATIVO\n"));
        QVERIFY(runsOf(script)[0].contains("ANEMOMETROS_LOCAL=obra\n"));
        QVERIFY(runsOf(script)[0].contains("ANEMOMETROS_NOME=GUINDASTE NORTE\n"));
        // A stop while the command still runs would run it again at the next start.
        QTRY_VERIFY_WITH_TIMEOUT(pendingIn(folder.filePath("notificacoes-local.json")) == 0, 5000);
        // A command alone needs no libcurl: it is not even loaded.
        QFile maps(QStringLiteral("/proc/%1/maps").arg(view.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libcurl"));
        QVERIFY(stopView());
        QVERIFY(startView());
        // Read again at the start, and published again as a station PC does at its own.
        QTest::qWait(1500);
        QVERIFY(publishRetained(broker, alarmList("ATIVO")));
        QTest::qWait(1000);
        QCOMPARE(runsOf(script).size(), 1);
        QVERIFY(publishRetained(broker, alarmList("NORMALIZADO")));
        QTRY_COMPARE_WITH_TIMEOUT(runsOf(script).size(), 2, 5000);
        QCOMPARE(runsOf(script).filter("ANEMOMETROS_EVENTO=NORMALIZADO\n").size(), 1);
        QVERIFY(stopView());
    }
};

QTEST_MAIN(TestNotifyProgram)
#include "tst_notify_program.moc"
