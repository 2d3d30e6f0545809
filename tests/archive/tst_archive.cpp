// The archive's lines as the database reads them, its [arquivo] settings, and its queue files
// read back after a power failure.

#include "archive/archive_queue.h"
#include "archive/archive_settings.h"
#include "archive/archiver.h"
#include "archive/line_protocol.h"
#include "settings/station_settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace archive;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

constexpr std::uint8_t kValid = modbus::status::kDirectionValid;

} // namespace

class TestArchive : public QObject {
    Q_OBJECT

private slots:
    void lines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray tags = tagsText({"obra1", 3, "EST 3", "km/h"});
        const qint64 ms = 1796750000123;
        QTest::newRow("good reply")
            << readingLine(
                   tags,
                   {123, 370, 4, 150, 250,
                    std::uint8_t(1 | kValid | modbus::status::kPreset1Alarm | modbus::status::kRf)},
                   ms)
            << QByteArray("anemometro,local=obra1,estacao=3,nome=EST\\ 3,"
                          "unidade=km/h velocidade=12.3,direcao_graus=90.0,"
                          "bateria=3.70,preset1=15.0,preset2=25.0,"
                          "alarme_preset1=1,alarme_preset2=0,"
                          "alarme_sonoro=0,rf=1,respondendo=1 "
                          "1796750000123\n");
        QTest::newRow("over limit, direction invalid")
            << readingLine(tags, {10000, 5, 15, 99, 12000, modbus::status::kSoundAlarm}, ms)
            << QByteArray("anemometro,local=obra1,estacao=3,nome=EST\\ 3,unidade=km/h "
                          "velocidade_acima_do_limite=1,bateria=0.05,preset1=9.9,"
                          "preset2_acima_do_limite=1,alarme_preset1=0,alarme_preset2=0,"
                          "alarme_sonoro=1,rf=0,respondendo=1 1796750000123\n");
        QTest::newRow("last compass point")
            << readingLine(tags, {0, 0, 15, 0, 0, kValid}, ms).split(',').at(5)
            << QByteArray("direcao_graus=337.5");
        QTest::newRow("failed poll") << failedLine(tags, ms)
                                     << QByteArray("anemometro,local=obra1,estacao=3,nome=EST\\ 3,"
                                                   "unidade=km/h respondendo=0 1796750000123\n");
        QTest::newRow("blanks, commas, equals")
            << tagsText({"obra 1", 8, "GUINDASTE NORTE, A=1\\", {}})
            << QByteArray(",local=obra\\ 1,estacao=8,nome=GUINDASTE\\ NORTE\\,\\ A\\=1\\\\");
        QTest::newRow("no name") << tagsText({"obra1", 2, {}, "kn"})
                                 << QByteArray(",local=obra1,estacao=2,unidade=kn");
        QTest::newRow("alarm active")
            << alarmLine({"obra1", 2, "EST 2", "m/s"}, alarms::Kind::Preset2, alarms::State::Active,
                         true, ms)
            << QByteArray("alarme,local=obra1,estacao=2,nome=EST\\ 2,alarme=PRESET\\ 2,"
                          "prioridade=alta estado=1 1796750000123\n");
        QTest::newRow("alarm shelved")
            << alarmLine({"obra1", 2, "EST 2", {}}, alarms::Kind::BatteryLow,
                         alarms::State::Shelved, true, ms)
            << QByteArray("alarme,local=obra1,estacao=2,nome=EST\\ 2,alarme=BATERIA\\ BAIXA,"
                          "prioridade=baixa estado=4 1796750000123\n");
        QTest::newRow("alarm acknowledged")
            << alarmLine({"obra1", 2, "EST 2", {}}, alarms::Kind::Preset2,
                         alarms::State::Acknowledged, true, ms, QStringLiteral("Ana Souza"))
            << QByteArray("alarme,local=obra1,estacao=2,nome=EST\\ 2,alarme=PRESET\\ 2,"
                          "prioridade=alta,por=Ana\\ Souza estado=2 1796750000123\n");
        QTest::newRow("port alarm gone")
            << alarmLine({"obra1", 0, "-", {}}, alarms::Kind::PortClosed,
                         alarms::State::Acknowledged, false, ms)
            << QByteArray("alarme,local=obra1,estacao=-,nome=-,alarme=PORTA\\ FECHADA,"
                          "prioridade=alta estado=0 1796750000123\n");
    }
    void lines() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QCOMPARE(line, expected);
    }

    void settings_data() {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("said"); // part of the one message; empty: none
        QTest::newRow("no url: off") << QByteArray("[arquivo]\nlocal=obra1\n") << false << "";
        QTest::newRow("url, names in any case")
            << QByteArray("[Arquivo]\nURL=http://servidor:8428/\nLocal=obra 1\nFILA_MAX_MB=2\n")
            << true << "";
        QTest::newRow("unknown key") << QByteArray("[arquivo]\nurl=http://s:8428\nfila=3\n")
                                     << false << "a chave \"fila\" não existe";
        QTest::newRow("not http") << QByteArray("[arquivo]\nurl=ftp://s/\n") << false
                                  << "url deve ser o endereço do banco de dados";
        QTest::newRow("queue size") << QByteArray("[arquivo]\nurl=http://s:8428\nfila_max_mb=0\n")
                                    << false << "fila_max_mb deve ser um número de 1 a";
        QTest::newRow("user without password")
            << QByteArray("[arquivo]\nurl=http://s:8428\nusuario=ana\n") << false
            << "usuario e senha_arquivo vão juntos";
        QTest::newRow("password readable by others")
            << QByteArray("[arquivo]\nurl=http://s:8428\nusuario=ana\nsenha_arquivo=SENHA\n")
            << false << "pode ser lido por outros usuários";
    }
    void settings() {
        QFETCH(QByteArray, group);
        QFETCH(bool, on);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString password = dir.filePath("senha");
        QVERIFY(writeFile(password, "s3nha\n"));
        QFile::setPermissions(password, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const QString ini = dir.filePath("anemometros.ini");
        QVERIFY(writeFile(ini, group.replace("SENHA", password.toUtf8())));
        const ArchiveSettingsResult read = readArchiveSettings(toolkit::readIniFile(ini), "host");
        QCOMPARE(read.settings.has_value(), on);
        QCOMPARE(read.error.isEmpty(), said.isEmpty());
        QVERIFY2(read.error.contains(said) && (said.isEmpty() || read.error.contains(ini)),
                 qPrintable(read.error));
        if (on && group.contains("Local")) {
            QCOMPARE(read.settings->url, QStringLiteral("http://servidor:8428"));
            QCOMPARE(read.settings->site, QStringLiteral("obra 1"));
            QCOMPARE(read.settings->queueMostBytes, 2 * 1024 * 1024);
        }
    }

    // Files left by a run that lost its power: their whole lines are read back, in order, from
    // where the database had taken them, and the queue over its most gives up its oldest file.
    void queueReadBack() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(kQueueFolder);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/0000000000000007.lp", "a v=1 1000\nb v=2 2000\n"));
        QVERIFY(writeFile(folder + "/0000000000000009.lp",
                          "c v=3 3000\n" + QByteArray(20, '\0') + "\nd v=4 4000\ne v="));
        // The database had taken the first line of the oldest file.
        QVERIFY(writeFile(folder + "/enviado", "7 11\n"));
        Queue queue(folder, 60);
        QVERIFY(queue.open().isEmpty());
        QVERIFY(queue.append("f v=6 6000\n"));
        QCOMPARE(queue.files(), 3);
        QCOMPARE(queue.contents(*queue.oldest()), QByteArray("b v=2 2000\n"));
        const QList<Queue::Dropped> dropped = queue.dropOverLimit();
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped[0].firstMs, 2000);
        QCOMPARE(dropped[0].lastMs, 2000);
        QCOMPARE(queue.contents(*queue.oldest()), QByteArray("c v=3 3000\nd v=4 4000\n"));
        queue.remove(*queue.oldest(), true);
        qint64 upTo = 0;
        QCOMPARE(queue.openUnsent(upTo), QByteArray("f v=6 6000\n"));
        QVERIFY(queue.append("g v=7 7000\n"));
        queue.openAccepted(upTo);
        queue.rotate(true);
        QCOMPARE(queue.oldest()->path, folder + "/0000000000000010.lp");
        QCOMPARE(queue.contents(*queue.oldest()), QByteArray("g v=7 7000\n"));
    }

    // A database nobody answers for: the journal hears ARQUIVO FORA once, and Diagnóstico's
    // text says what waits and what to change; the line stays in the queue.
    void refusedDatabase() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString url = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        QTemporaryDir dir;
        settings::StationSettings stations;
        ArchiveSettings database;
        database.url = url;
        database.site = "obra1";
        Archiver::Options options;
        options.queueFolder = dir.filePath(kQueueFolder);
        options.batchMs = 100;
        Archiver archiver(database, stations, options);
        QSignalSpy journal(&archiver, &Archiver::journal);
        QVERIFY(archiver.start().isEmpty());
        archiver.add("anemometro,local=obra1 respondendo=0 1000\n");
        QTRY_COMPARE(archiver.status().state, Archiver::State::Away);
        QTRY_COMPARE(journal.size(), 1);
        QCOMPARE(journal[0][0].toString(), QStringLiteral("ARQUIVO FORA"));
        QVERIFY(journal[0][1].toString().contains("confira a porta em url"));
        const QString text = archiver.stateText();
        QVERIFY2(text.startsWith("Arquivo do local: sem conexão com " + url) &&
                     text.contains("fila: 42 bytes") &&
                     text.contains("Último erro: " + journal[0][1].toString()),
                 qPrintable(text));
        QTest::qWait(500);
        QCOMPARE(journal.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
