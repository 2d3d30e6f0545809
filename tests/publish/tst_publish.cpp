// What the station publishes, as bytes, and how anemometros.ini switches it on.

#include "health/health_monitor.h"
#include "publish/connection_text.h"
#include "publish/mqtt_settings.h"
#include "publish/payloads.h"
#include "publish/publisher.h"

#include "fifo_guard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <optional>

using modbus::StationValues;
namespace status = modbus::status;

namespace {

const QDateTime kNoon(QDate(2026, 12, 7), QTime(14, 30, 5), QTimeZone(-3 * 3600));

StationValues values(std::uint16_t speed, std::uint8_t statusByte, std::uint16_t direction = 1,
                     std::uint16_t preset1 = 50, std::uint16_t preset2 = 200) {
    return {.speed = speed,
            .battery = 388,
            .direction = direction,
            .preset1 = preset1,
            .preset2 = preset2,
            .status = statusByte};
}

QByteArray state(const StationValues& v, const QString& name = QStringLiteral("CAIS 1")) {
    return publish::stateJson({3, name, QStringLiteral("17")}, v, readings::readingOf(v, 3), kNoon);
}

} // namespace

class TestPublish : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString ini(const QByteArray& text) {
        const QString path = dir_.filePath(QStringLiteral("anemometros.ini"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text);
        return path;
    }

private slots:
    void stateOfEachUnit_data() {
        QTest::addColumn<int>("statusByte");
        QTest::addColumn<QByteArray>("unit");
        QTest::newRow("m/s") << 0x00 << QByteArray("m/s");
        QTest::newRow("km/h") << 0x01 << QByteArray("km/h");
        QTest::newRow("kn") << 0x02 << QByteArray("kn");
        QTest::newRow("sem unidade") << 0x03 << QByteArray("");
    }
    void stateOfEachUnit() {
        QFETCH(int, statusByte);
        QFETCH(QByteArray, unit);
        const std::uint8_t bits = std::uint8_t(statusByte) | status::kDirectionValid |
                                  status::kPreset1Alarm | status::kRf;
        // Compact, keys in alphabetical order, numbers in their shortest form (5.0 is 5).
        QCOMPARE(state(values(123, bits)),
                 "{\"address\":\"17\",\"battery\":3.88,\"direction\":\"NNE\",\"name\":\"CAIS 1\","
                 "\"preset1\":5,\"preset1_alarm\":true,\"preset2\":20,\"preset2_alarm\":false,"
                 "\"rf\":true,\"sound\":false,\"speed\":12.3,\"station\":3,"
                 "\"time\":\"2026-12-07T14:30:05-03:00\",\"unit\":\"" +
                     unit + "\"}");
    }

    // "> LIMITE" on the panel is null with <field>_over_limit beside it; "---" is null; 9999
    // tenths is still a number.
    void overLimitAndNoDirection() {
        QCOMPARE(state(values(10000, status::kSoundAlarm | status::kPreset2Alarm, 3, 65535, 9999)),
                 "{\"address\":\"17\",\"battery\":3.88,\"direction\":null,\"name\":\"CAIS 1\","
                 "\"preset1\":null,\"preset1_alarm\":false,\"preset1_over_limit\":true,"
                 "\"preset2\":999.9,\"preset2_alarm\":true,\"rf\":false,\"sound\":true,"
                 "\"speed\":null,\"speed_over_limit\":true,\"station\":3,"
                 "\"time\":\"2026-12-07T14:30:05-03:00\",\"unit\":\"m/s\"}");
        // A direction code past the compass with the valid bit is no direction either.
        QVERIFY(state(values(0, status::kDirectionValid, 16)).contains("\"direction\":null"));
        QVERIFY(state(values(0, status::kDirectionValid, 15)).contains("\"direction\":\"NNO\""));
        // Whatever the name holds, the payload is valid JSON and the name comes back whole.
        const QString name = QStringLiteral("CAIS \"B\"\\ +/# 3\tÁ");
        QJsonParseError error;
        const QJsonObject object =
            QJsonDocument::fromJson(state(values(5, 0), name), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value(u"name").toString(), name);
        QCOMPARE(object.value(u"speed").toDouble(), 0.5);
        QCOMPARE(object.value(u"battery").toDouble(), 3.88);
    }

    // ISO 8601 with the offset written out, also for UTC.
    void timeWithItsOffset_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QByteArray>("expected");
        const QDate day(2026, 12, 7);
        const QTime noon(14, 30, 5);
        QTest::newRow("UTC-3") << QDateTime(day, noon, QTimeZone(-3 * 3600))
                               << QByteArray("2026-12-07T14:30:05-03:00");
        QTest::newRow("UTC") << QDateTime(day, noon, Qt::UTC)
                             << QByteArray("2026-12-07T14:30:05+00:00");
        QTest::newRow("Kolkata") << QDateTime(day, noon, QTimeZone("Asia/Kolkata"))
                                 << QByteArray("2026-12-07T14:30:05+05:30");
    }
    void timeWithItsOffset() {
        QFETCH(QDateTime, time);
        QFETCH(QByteArray, expected);
        const StationValues v = values(0, 0);
        const QByteArray json =
            publish::stateJson({3, QStringLiteral("CAIS 1"), QStringLiteral("17")}, v,
                               readings::readingOf(v, 3), time);
        QVERIFY2(json.contains("\"time\":\"" + expected + '"'), json.constData());
    }

    // The percentage of the last hour rounded to a tenth, as Diagnóstico shows it; nothing
    // before the first poll or before the first good reading is null.
    void healthOfTheLastHour_data() {
        QTest::addColumn<QList<int>>("kinds"); // modbus::ReplyKind values, one a second
        QTest::addColumn<QByteArray>("success");
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("lastGood");
        using K = modbus::ReplyKind;
        QTest::newRow("no poll yet") << QList<int>{} << QByteArray("null") << 0 << false;
        QTest::newRow("two of seven")
            << QList<int>{int(K::Good),         int(K::NoReply),       int(K::BadCrc),
                          int(K::WrongAddress), int(K::WrongFunction), int(K::TooShort),
                          int(K::Good)}
            << QByteArray("28.6") << 0 << true;
        QTest::newRow("one of three") << QList<int>{int(K::Good), int(K::NoReply), int(K::NoReply)}
                                      << QByteArray("33.3") << 2 << true;
        QTest::newRow("all good") << QList<int>{int(K::Good), int(K::Good)} << QByteArray("100")
                                  << 0 << true;
        QTest::newRow("none good") << QList<int>{int(K::NoReply)} << QByteArray("0") << 1 << false;
    }
    void healthOfTheLastHour() {
        QFETCH(QList<int>, kinds);
        QFETCH(QByteArray, success);
        QFETCH(int, failures);
        QFETCH(bool, lastGood);
        health::StationHealth health;
        qint64 nowMs = kNoon.toMSecsSinceEpoch();
        for (const int kind : kinds)
            health.record(modbus::ReplyKind(kind), nowMs += 1000);
        const QByteArray json = publish::healthJson(4, health, nowMs);
        QVERIFY2(json.contains("\"success_percent\":" + success + ','), json.constData());
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.value(u"station").toInt(), 4);
        QCOMPARE(object.value(u"polls").toInt(), kinds.size());
        QCOMPARE(object.value(u"consecutive_failures").toInt(), failures);
        QCOMPARE(object.value(u"last_good").isString(), lastGood);
        QCOMPARE(object.value(u"last_good").isNull(), !lastGood);
    }

    // Topics hold the slot number only: a name, an address or a client id never puts a level
    // or a wildcard into a topic.
    void topicsAndDiscovery() {
        QCOMPARE(publish::stateTopic(QStringLiteral("porto/cais"), 8),
                 QStringLiteral("porto/cais/8/state"));
        publish::MqttSettings settings;
        settings.clientId = QStringLiteral("anemometros-pc/1+#");
        const auto configs = publish::discoveryConfigs(
            settings, {2, QStringLiteral("TORRE/+#"), QStringLiteral("4/#")}, QStringLiteral("kn"));
        QCOMPARE(configs.size(), std::size_t(5));
        QCOMPARE(configs[3].topic,
                 QStringLiteral(
                     "homeassistant/binary_sensor/anemometros-pc_1___2_preset1_alarm/config"));
        for (const publish::Message& config : configs)
            QCOMPARE(config.topic.count(u'/'), 3);
    }

    void publishingOffWithoutAHost() {
        QVERIFY(!publish::readSettings(dir_.filePath(QStringLiteral("nenhum.ini"))).settings);
        const auto empty = publish::readSettings(ini("[mqtt]\nhost=\nport=abc\n"));
        QVERIFY(!empty.settings);
        QVERIFY(empty.error.isEmpty());
    }

    void defaultsAndValues() {
        auto read = publish::readSettings(ini("[mqtt]\nhost=broker.local\n"));
        QVERIFY(read.settings);
        QCOMPARE(read.settings->port, 1883);
        QCOMPARE(read.settings->prefix, QStringLiteral("anemometros"));
        QCOMPARE(read.settings->keepaliveS, 30);
        QCOMPARE(read.settings->clientId,
                 QStringLiteral("anemometros-") + QSysInfo::machineHostName());
        QVERIFY(!read.settings->discovery);
        QVERIFY(!read.settings->remoteAck);
        read = publish::readSettings(ini("[mqtt]\nhost=10.0.0.5\nport=8883\nprefix=porto/cais\n"
                                         "client_id=cais-1\ndiscovery=true\nkeepalive=60\n"
                                         "Reconhecer_Remoto=TRUE\n"));
        QCOMPARE(read.settings->port, 8883);
        QCOMPARE(read.settings->prefix, QStringLiteral("porto/cais"));
        QCOMPARE(read.settings->clientId, QStringLiteral("cais-1"));
        QCOMPARE(read.settings->keepaliveS, 60);
        QVERIFY(read.settings->discovery);
        QVERIFY(read.settings->remoteAck);
    }

    void badValuesSwitchItOffWithOneMessage_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("porta") << QByteArray("port=70000") << QStringLiteral("port deve ser");
        QTest::newRow("porta texto") << QByteArray("port=mil") << QStringLiteral("port deve ser");
        QTest::newRow("keepalive") << QByteArray("keepalive=1") << QStringLiteral("keepalive deve");
        QTest::newRow("prefixo #") << QByteArray("prefix=a/#") << QStringLiteral("prefix não pode");
        QTest::newRow("prefixo /") << QByteArray("prefix=/a") << QStringLiteral("prefix não pode");
        QTest::newRow("discovery")
            << QByteArray("discovery=sim") << QStringLiteral("discovery deve");
        QTest::newRow("reconhecer_remoto")
            << QByteArray("reconhecer_remoto=sim") << QStringLiteral("reconhecer_remoto deve");
        QTest::newRow("senha ausente")
            << QByteArray("password_file=/nao/existe") << QStringLiteral("não existe");
        QTest::newRow("CA ausente") << QByteArray("tls_ca=/nao/existe.crt")
                                    << QStringLiteral("tls_ca /nao/existe.crt não pôde ser lido");
    }
    void badValuesSwitchItOffWithOneMessage() {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        const auto read = publish::readSettings(ini("[mqtt]\nhost=h\n" + text + '\n'));
        QVERIFY(!read.settings);
        QVERIFY2(read.error.startsWith(QStringLiteral("Publicação MQTT desligada: ")),
                 qPrintable(read.error));
        QVERIFY2(read.error.contains(expected), qPrintable(read.error));
    }

    // Group and key names in any case. A key the [mqtt] group does not know is a bad value,
    // named with the file, even without a host; other groups are left alone.
    void namesInAnyCaseAndUnknownKeys_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("port"); // 0: publishing off
        QTest::addColumn<QString>("message");
        QTest::newRow("upper case")
            << QByteArray("[MQTT]\nHost=h\nPort=18830\nPREFIX=obra2\n") << 18830 << QString();
        QTest::newRow("port misspelt")
            << QByteArray("[mqtt]\nhost=h\nprot=18830\n") << 0
            << QStringLiteral("a chave \"prot\" não existe no grupo [mqtt] de %1; as chaves são "
                              "host, port, prefix, client_id, username, password_file, tls_ca, "
                              "keepalive, discovery, discovery_prefix, reconhecer_remoto e "
                              "prefixos.");
        QTest::newRow("prefixos with a wildcard")
            << QByteArray("[mqtt]\nhost=h\nprefixos=obra1, obra/#\n") << 0
            << QStringLiteral("o prefixo \"obra/#\" de prefixos não pode ter \"+\", \"#\" ou "
                              "níveis vazios (em %1).");
        QTest::newRow("prefix misspelt")
            << QByteArray("[mqtt]\nhost=h\nprefx=obra2\n") << 0
            << QStringLiteral("a chave \"prefx\" não existe no grupo [mqtt] de %1;");
        QTest::newRow("host misspelt too")
            << QByteArray("[Mqtt]\nhots=h\nPrefx=obra2\nhots=i\n") << 0
            << QStringLiteral("as chaves \"hots\" e \"prefx\" não existem no grupo [mqtt] de %1;");
        QTest::newRow("other groups")
            << QByteArray("[alarmes]\nlimite=20\n[mqtt]\nhost=h\nport=18830\n[outro]\nhost=x\n")
            << 18830 << QString();
        QTest::newRow("quotes and comments")
            << QByteArray("; estação da obra 2\r\n[mqtt]\r\nhost = \"h\" \r\n"
                          "port=18830 ; a do broker\r\n# fim\r\n")
            << 18830 << QString();
    }
    void namesInAnyCaseAndUnknownKeys() {
        QFETCH(QByteArray, text);
        QFETCH(int, port);
        QFETCH(QString, message);
        const QString path = ini(text);
        const auto read = publish::readSettings(path);
        if (port == 0) {
            QVERIFY(!read.settings);
            const QString expected =
                QStringLiteral("Publicação MQTT desligada: ") + message.arg(path);
            QVERIFY2(read.error.startsWith(expected), qPrintable(read.error));
            return;
        }
        QVERIFY2(read.settings, qPrintable(read.error));
        QCOMPARE(read.settings->host, QStringLiteral("h"));
        QCOMPARE(read.settings->port, port);
        if (text.contains("PREFIX"))
            QCOMPARE(read.settings->prefix, QStringLiteral("obra2"));
    }

    // A FIFO, a device or a file past its limit as anemometros.ini, password_file or tls_ca:
    // refused at once, with the file and the reason, never waited for.
    void specialFilesRefusedAtOnce_data() {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        const QString notRegular = QStringLiteral("não pôde ser lido: não é um arquivo comum.");
        const QString over64 =
            QStringLiteral("não pôde ser lido: é grande demais (mais de 64 KiB).");
        QTest::newRow("ini FIFO") << "ini"
                                  << "fifo"
                                  << "o arquivo %1 " + notRegular;
        QTest::newRow("ini too large") << "ini"
                                       << "large"
                                       << "o arquivo %1 " + over64;
        QTest::newRow("password /dev/zero") << "password"
                                            << "/dev/zero"
                                            << "o arquivo de senha %1 " + notRegular;
        QTest::newRow("password FIFO") << "password"
                                       << "fifo"
                                       << "o arquivo de senha %1 " + notRegular;
        QTest::newRow("password too large") << "password"
                                            << "large"
                                            << "o arquivo de senha %1 " + over64;
        QTest::newRow("CA FIFO") << "ca"
                                 << "fifo"
                                 << "o certificado tls_ca %1 " + notRegular;
        QTest::newRow("CA too large")
            << "ca"
            << "large"
            << "o certificado tls_ca %1 não pôde ser lido: é grande demais (mais de 1 MiB).";
    }
    void specialFilesRefusedAtOnce() {
        QFETCH(QString, which);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        const QString iniPath = dir_.filePath(QStringLiteral("anemometros.ini"));
        const QString special = kind.startsWith(u'/') ? kind
                                : which == u"ini"     ? iniPath
                                                      : dir_.filePath(QStringLiteral("especial"));
        // What a reader that waits or reads everything would get: a good file.
        QByteArray good = which == u"ini" ? QByteArray("[mqtt]\nhost=h\n") : "s3nh@\n";
        if (which == u"password")
            ini("[mqtt]\nhost=h\nusername=u\npassword_file=" + special.toUtf8() + '\n');
        else if (which == u"ca")
            ini("[mqtt]\nhost=h\ntls_ca=" + special.toUtf8() + '\n');
        std::optional<FifoGuard> fifo;
        if (kind == u"fifo") {
            fifo.emplace(special, good);
            QVERIFY(fifo->made());
        } else if (kind == u"large") {
            const qint64 limit = which == u"ca" ? 1024 * 1024 : 64 * 1024;
            QFile file(special);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            good += ';';
            file.write(good + QByteArray(limit + 1 - good.size(), 'x'));
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        }
        QElapsedTimer reading;
        reading.start();
        const auto read = publish::readSettings(iniPath);
        QVERIFY2(reading.elapsed() < 1000, qPrintable(QString::number(reading.elapsed())));
        QVERIFY(!fifo || !fifo->readerWaited());
        QVERIFY(!read.settings);
        QCOMPARE(read.error, QStringLiteral("Publicação MQTT desligada: ") + expected.arg(special));
        if (!kind.startsWith(u'/'))
            QFile::remove(special);
    }

    // A password file other users may read is refused, and its text never reaches a message.
    void passwordFileOnlyForItsOwner() {
        const QString secret = dir_.filePath(QStringLiteral("senha"));
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("s3nh@-secreta\r\nsegunda linha\n");
        file.close();
        const QByteArray text = "[mqtt]\nhost=h\nusername=cais\npassword_file=" + secret.toUtf8();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        auto read = publish::readSettings(ini(text));
        QVERIFY(!read.settings);
        QVERIFY2(read.error.contains(QStringLiteral("pode ser lido por outros usuários")),
                 qPrintable(read.error));
        QVERIFY(!read.error.contains(QStringLiteral("s3nh")));
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(!publish::readSettings(ini(text)).settings);
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        read = publish::readSettings(ini(text));
        QVERIFY(read.settings);
        QCOMPARE(read.settings->username, QStringLiteral("cais"));
        QCOMPARE(read.settings->password, QStringLiteral("s3nh@-secreta"));
    }

    // Remote acknowledgement over a connection without a user name, or in clear to another
    // computer, is said with what to change (user name, TLS); a site view sends
    // acknowledgements whatever its reconhecer_remoto. Diagnóstico's line says it under the
    // connection's state.
    void unprotectedAcknowledgementSaid_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("remoteAck");
        QTest::addColumn<bool>("siteView");
        QTest::addColumn<QStringList>("change"); // the keys it says to set; empty: nothing said
        const QStringList user{"username"};
        const QStringList tls{"tls_ca"};
        QTest::newRow("anônimo, neste computador") << "127.0.0.1"
                                                   << "" << false << true << false << user;
        QTest::newRow("anônimo, localhost") << "localhost"
                                            << "" << false << true << false << user;
        QTest::newRow("com usuário, neste computador")
            << "::1"
            << "cais" << false << true << false << QStringList();
        QTest::newRow("com usuário, sem TLS pela rede") << "192.168.0.10"
                                                        << "cais" << false << true << false << tls;
        QTest::newRow("anônimo, sem TLS pela rede") << "central.porto"
                                                    << "" << false << true << false << user + tls;
        QTest::newRow("com usuário e TLS pela rede")
            << "central.porto"
            << "cais" << true << true << false << QStringList();
        QTest::newRow("reconhecer_remoto desligado")
            << "central.porto"
            << "" << false << false << false << QStringList();
        QTest::newRow("visão do local anônima") << "127.0.0.1"
                                                << "" << false << false << true << user;
    }
    void unprotectedAcknowledgementSaid() {
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(bool, tls);
        QFETCH(bool, remoteAck);
        QFETCH(bool, siteView);
        QFETCH(QStringList, change);
        publish::MqttSettings settings;
        settings.host = host;
        settings.username = user;
        settings.tlsCa = tls ? QStringLiteral("/etc/ssl/ca.pem") : QString();
        settings.remoteAck = remoteAck;
        const QString said = publish::ackExposureText(
            settings, siteView ? publish::AckSender::SiteView : publish::AckSender::StationPc);
        QCOMPARE(said.isEmpty(), change.isEmpty());
        for (const QString& key : {QStringLiteral("username"), QStringLiteral("tls_ca")})
            QVERIFY2(said.contains(key) == change.contains(key), qPrintable(said));
        if (siteView)
            return;
        const settings::StationSettings stations;
        const health::HealthMonitor monitor({.settings = stations,
                                             .logFolder = [] { return QString(); },
                                             .nowMs = [] { return qint64(0); }});
        const publish::Publisher publisher(settings, {.settings = stations, .health = monitor});
        const QStringList lines = publisher.stateText().split(u'\n');
        QVERIFY(lines.first().startsWith(u"MQTT: "));
        QCOMPARE(lines.mid(1), said.isEmpty() ? QStringList() : QStringList{said});
    }
};

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
