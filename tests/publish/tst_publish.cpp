// What the station publishes, as bytes, and how anemometros.ini switches it on.

#include "publish/mqtt_settings.h"
#include "publish/payloads.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

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
    return publish::stateJson({3, name, QStringLiteral("17")}, v, kNoon);
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
        QCOMPARE(state(values(123, bits)),
                 "{\"station\": 3, \"name\": \"CAIS 1\", \"address\": \"17\", "
                 "\"time\": \"2026-12-07T14:30:05-03:00\", \"speed\": 12.3, \"unit\": \"" +
                     unit +
                     "\", \"direction\": \"NNE\", \"preset1\": 5.0, \"preset2\": 20.0, "
                     "\"preset1_alarm\": true, \"preset2_alarm\": false, \"sound\": false, "
                     "\"battery\": 3.88, \"rf\": true}");
    }

    // "> LIMITE" on the panel is null with <field>_over_limit beside it; "---" is null; 9999
    // tenths is still a number.
    void overLimitAndNoDirection() {
        const QByteArray json =
            state(values(10000, status::kSoundAlarm | status::kPreset2Alarm, 3, 65535, 9999));
        QVERIFY2(json.contains("\"speed\": null, \"speed_over_limit\": true, \"unit\": \"m/s\", "
                               "\"direction\": null, \"preset1\": null, "
                               "\"preset1_over_limit\": true, \"preset2\": 999.9, "
                               "\"preset1_alarm\": false, \"preset2_alarm\": true, "
                               "\"sound\": true"),
                 json.constData());
        // A direction code past the compass with the valid bit is no direction either.
        QVERIFY(state(values(0, status::kDirectionValid, 16)).contains("\"direction\": null"));
        QVERIFY(state(values(0, status::kDirectionValid, 15)).contains("\"direction\": \"NNO\""));
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
        read = publish::readSettings(ini("[mqtt]\nhost=10.0.0.5\nport=8883\nprefix=porto/cais\n"
                                         "client_id=cais-1\ndiscovery=true\nkeepalive=60\n"));
        QCOMPARE(read.settings->port, 8883);
        QCOMPARE(read.settings->prefix, QStringLiteral("porto/cais"));
        QCOMPARE(read.settings->clientId, QStringLiteral("cais-1"));
        QCOMPARE(read.settings->keepaliveS, 60);
        QVERIFY(read.settings->discovery);
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
};

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
