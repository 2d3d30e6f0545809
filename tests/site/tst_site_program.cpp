// The site view in this process against a real mosquitto and two real station programs on
// anemosim: the tiles, a silent station, a stopped station PC and a broker that goes away, the
// alarm list of both PCs, and acknowledgements the one PC accepts and the other refuses; states
// of many stations in bursts, each tile ending on its last, as painted.

#include "mqtt_broker.h"
#include "program_station.h"

#include "alarms/alarm_watch.h"
#include "publish/mqtt_client.h"
#include "publish/payloads.h"
#include "readings/reply.h"
#include "site/site_alarms.h"
#include "site/site_book.h"
#include "site/site_tile.h"
#include "site/site_view.h"
#include "site/site_window.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Station 1 blows above its preset 1 all the time; station 2 answers for 2 s, then is silent.
const QByteArray kScenario =
    "[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n[station 2]\nschedule=2/600\n";

QByteArray iniOf(const MqttBroker& broker, const QByteArray& rest) {
    return "[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) + '\n' + rest +
           "[alarmes]\nsom=desligado\n";
}

QString speedOf(site::SiteWindow& window, const QString& prefix, int station) {
    site::SiteTile* tile = window.tile(prefix, station);
    return tile ? tile->speedLabel()->text() : QString();
}

QString whyOf(site::SiteWindow& window, const QString& prefix, int station) {
    site::SiteTile* tile = window.tile(prefix, station);
    return tile ? tile->detailLabel()->text() : QString();
}

bool current(site::SiteWindow& window, const QString& prefix, int station) {
    const QString speed = speedOf(window, prefix, station);
    return speed.endsWith(u"km/h") || speed.endsWith(u"m/s");
}

// The row of an alarm in the site's list; -1 when not listed.
int rowOf(const site::SiteAlarmModel& model, const QString& prefix, int station,
          const QString& alarm) {
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto& listed = model.alarmAt(row);
        if (listed.local == prefix && listed.entry.station == station &&
            alarms::kindText(listed.entry.kind) == alarm)
            return row;
    }
    return -1;
}

QString stateOf(const site::SiteAlarmModel& model, const QString& prefix, int station,
                const QString& alarm) {
    const int row = rowOf(model, prefix, station, alarm);
    return row < 0 ? QString() : model.index(row, 4).data().toString();
}

// A password_file only its owner may read, as the program asks.
QByteArray passwordFile(const QTemporaryDir& folder, const QByteArray& password) {
    QFile file(folder.filePath(QStringLiteral("senha")));
    if (!file.open(QIODevice::WriteOnly) || file.write(password + '\n') <= 0 ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        return {};
    return file.fileName().toUtf8();
}

// The access list of the manual's Mosquitto set-up, as the manual gives it.
QByteArray manualAcl() {
    QFile manual(QStringLiteral(MANUAL_PATH));
    if (!manual.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = manual.readAll();
    const QByteArray start = "```\n# /etc/mosquitto/anemometros.acl\n";
    const qsizetype from = text.indexOf(start);
    const qsizetype to = text.indexOf("```", from + start.size());
    return from < 0 || to < 0 ? QByteArray() : text.mid(from + 4, to - from - 4);
}

// Whether the window's picture, as painted and handed to the screen, shows `widget` as it is now.
bool paintedAsItIs(QWidget* window, QWidget* widget) {
    const QRect area(widget->mapTo(window, QPoint()), widget->size());
    const QImage painted =
        window->screen()
            ->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    return painted == widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The real program as the site view, in `folder`, offscreen.
bool startLocal(QProcess& program, const QTemporaryDir& folder, const QTemporaryDir& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder.path());
    program.start(QStringLiteral(ANEMOMETROS_PATH), {QStringLiteral("--local")});
    return program.waitForStarted();
}

} // namespace

class TestSiteProgram : public QObject {
    Q_OBJECT

private slots:
    void twoStationPcsOnOneScreen() {
        MqttBroker broker;
        QVERIFY(broker.start());
        ProgramStation accepting(2, "200", kScenario);
        accepting.write(QStringLiteral("anemometros.ini"),
                        iniOf(broker, "prefix=obra1\nclient_id=pc1\nreconhecer_remoto=true\n"));
        ProgramStation refusing(1, "200", kScenario.first(kScenario.indexOf("[station 2]")));
        refusing.write(QStringLiteral("anemometros.ini"),
                       iniOf(broker, "prefix=obra2\nclient_id=pc2\n"));
        QVERIFY(accepting.start());
        QVERIFY(refusing.start());

        QTemporaryDir folder;
        QFile ini(folder.filePath(QStringLiteral("anemometros.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(iniOf(broker, "prefix=obra1\nprefixos=obra1, obra2\nclient_id=central\n"));
        ini.close();
        QDir::setCurrent(folder.path());
        site::SiteView view;
        QVERIFY(view.started());
        site::SiteWindow& window = *view.window();
        const QString obra1 = QStringLiteral("obra1");
        const QString obra2 = QStringLiteral("obra2");

        // Both PCs' stations, current; the silent one "SEM DADOS", said why.
        QTRY_VERIFY_WITH_TIMEOUT(current(window, obra1, 1) && current(window, obra2, 1), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(whyOf(window, obra1, 2), QStringLiteral("estação sem resposta"),
                                  15000);
        // Anonymous on the broker: the view and the PC that takes acknowledgements say so, once.
        QVERIFY(window.warningLine()->text().contains(u"username"));
        QCOMPARE(accepting.journal().filter(QStringLiteral(";MQTT INSEGURO;")).size(), 1);
        QVERIFY(refusing.journal().filter(QStringLiteral("MQTT INSEGURO")).isEmpty());
        QCOMPARE(speedOf(window, obra1, 2), QStringLiteral("SEM DADOS"));
        QVERIFY(window.brokerLine()->isHidden());
        QCOMPARE(window.tile(obra1, 1)->preset1Label()->palette().color(QPalette::Window),
                 QColor(255, 0, 0));

        // Both PCs' alarms in one list.
        const auto& model =
            *static_cast<const site::SiteAlarmModel*>(view.alarmWindow()->table()->model());
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra1, 1, QStringLiteral("PRESET 1")),
                                  QStringLiteral("ATIVO"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra2, 1, QStringLiteral("PRESET 1")),
                                  QStringLiteral("ATIVO"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra1, 2, QStringLiteral("SEM RESPOSTA")),
                                  QStringLiteral("ATIVO"), 10000);
        // A new alarm brought the list up.
        QVERIFY(view.alarmWindow()->isVisible());
        QVERIFY(window.alarmButton()->text().startsWith(u"ALARMES: 3 NÃO RECONHECIDOS"));

        // RECONHECER: obra1 accepts and publishes who did it; obra2 does not take remote
        // acknowledgements and its list stays as it is.
        QTableView* table = view.alarmWindow()->table();
        QPushButton* acknowledge = view.alarmWindow()->acknowledgeButton();
        table->selectRow(rowOf(model, obra1, 1, QStringLiteral("PRESET 1")));
        QVERIFY(acknowledge->isEnabled());
        acknowledge->click();
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra1, 1, QStringLiteral("PRESET 1")),
                                  QStringLiteral("RECONHECIDO"), 5000);
        const int row = rowOf(model, obra1, 1, QStringLiteral("PRESET 1"));
        QCOMPARE(model.alarmAt(row).entry.acknowledgedBy,
                 alarms::loginName() + QStringLiteral(" (remoto)"));
        QCOMPARE(stateOf(model, obra1, 2, QStringLiteral("SEM RESPOSTA")), QStringLiteral("ATIVO"));
        table->selectRow(rowOf(model, obra2, 1, QStringLiteral("PRESET 1")));
        acknowledge->click();
        QTest::qWait(2000);
        QCOMPARE(stateOf(model, obra2, 1, QStringLiteral("PRESET 1")), QStringLiteral("ATIVO"));

        // A station PC that stops: its stations go grey at once. Started again, its reading of
        // before the stop is never shown as current, not even for a moment.
        refusing.signal(SIGTERM);
        QVERIFY(refusing.program.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(speedOf(window, obra2, 1), QStringLiteral("SEM DADOS"), 5000);
        QVERIFY(whyOf(window, obra2, 1).startsWith(u"computador da estação"));
        const qint64 beforeStop = view.book()->find(obra2, 1)->state->timeMs;
        int oldShown = 0;
        const auto watch = [&] {
            const site::SiteTile* tile = window.tile(obra2, 1);
            if (tile->shownCurrent() && tile->shownTimeMs() <= beforeStop)
                ++oldShown;
        };
        connect(view.book(), &site::SiteBook::pcChanged, this, watch);
        connect(view.book(), &site::SiteBook::stationChanged, this, watch);
        QVERIFY(refusing.start());
        QTRY_VERIFY_WITH_TIMEOUT(current(window, obra2, 1), 15000);
        QCOMPARE(oldShown, 0);
        QVERIFY(window.tile(obra2, 1)->shownTimeMs() > beforeStop);
        disconnect(view.book(), nullptr, this, nullptr);

        // The broker away: the red line, every tile grey; back, the tiles are current again.
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!window.brokerLine()->isHidden(), 5000);
        QVERIFY(window.brokerLine()->text().startsWith(u"SEM CONEXÃO COM O SERVIDOR MQTT"));
        QCOMPARE(speedOf(window, obra1, 1), QStringLiteral("SEM DADOS"));
        QCOMPARE(whyOf(window, obra1, 1), QStringLiteral("servidor MQTT fora"));
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(current(window, obra1, 1), 20000);
        QVERIFY(window.brokerLine()->isHidden());
        QCOMPARE(view.book()->ignoredMessages(), 0);
    }

    // The manual's Mosquitto set-up: no clients without a user; each station PC's user writes
    // only its own prefix; the site view's user reads every prefix and writes only the ack
    // topics. RECONHECER from the site view is carried out; an acknowledgement from a client
    // without a user, or from the other station PC's user, is refused by the broker and
    // changes nothing.
    void acknowledgedOnlyWhereTheBrokerAllows() {
        MqttBroker broker{QString()};
        const QByteArray acl = manualAcl();
        QVERIFY(acl.contains("user local"));
        QVERIFY(broker.restrictTo({{QStringLiteral("estacao1"), QStringLiteral("senha-1")},
                                   {QStringLiteral("estacao2"), QStringLiteral("senha-2")},
                                   {QStringLiteral("local"), QStringLiteral("senha-local")}},
                                  acl));
        QVERIFY(broker.start());
        ProgramStation station(1, "200", kScenario.first(kScenario.indexOf("[station 2]")));
        station.write(QStringLiteral("anemometros.ini"),
                      iniOf(broker, "prefix=obra1\nclient_id=pc1\nusername=estacao1\n"
                                    "password_file=" +
                                        passwordFile(station.work, "senha-1") +
                                        "\nreconhecer_remoto=true\n"));
        QVERIFY(station.start());
        QTemporaryDir folder;
        QFile ini(folder.filePath(QStringLiteral("anemometros.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(iniOf(broker, "prefixos=obra1,obra2\nclient_id=central\nusername=local\n"
                                "password_file=" +
                                    passwordFile(folder, "senha-local") + '\n'));
        ini.close();
        QDir::setCurrent(folder.path());
        site::SiteView view;
        QVERIFY(view.started());
        const QString obra1 = QStringLiteral("obra1");
        const QString preset1 = QStringLiteral("PRESET 1");
        const auto& model =
            *static_cast<const site::SiteAlarmModel*>(view.alarmWindow()->table()->model());
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra1, 1, preset1), QStringLiteral("ATIVO"),
                                  15000);
        // With a user, on this computer: nothing to say.
        QVERIFY(view.window()->warningLine()->isHidden());

        const auto ackAs = [&broker](QStringList login) {
            return QProcess::execute(QStringLiteral("mosquitto_pub"),
                                     login << "-h"
                                           << "127.0.0.1"
                                           << "-p" << QString::number(broker.port()) << "-q"
                                           << "1"
                                           << "-t"
                                           << "obra1/1/ack"
                                           << "-m"
                                           << R"({"alarm": "PRESET 1", "by": "intruso"})");
        };
        QVERIFY(ackAs({}) != 0); // refused at the connection
        // Taken and dropped by the broker: this user may not write there.
        QCOMPARE(ackAs({"-u", "estacao2", "-P", "senha-2"}), 0);
        QTableView* table = view.alarmWindow()->table();
        table->selectRow(rowOf(model, obra1, 1, preset1));
        view.alarmWindow()->acknowledgeButton()->click();
        // Had an intruder's come through, before it, the acknowledgement would be its own.
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(model, obra1, 1, preset1), QStringLiteral("RECONHECIDO"),
                                  5000);
        QCOMPARE(model.alarmAt(rowOf(model, obra1, 1, preset1)).entry.acknowledgedBy,
                 alarms::loginName() + QStringLiteral(" (remoto)"));
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QVERIFY(station.journal().filter(QStringLiteral("intruso")).isEmpty());
        QVERIFY(station.journal().filter(QStringLiteral("MQTT INSEGURO")).isEmpty());
    }

    // Without a broker to read from, the site view says what to set in a box that waits for
    // the operator, and a stop from the system does not wait for it.
    void withoutABrokerItSaysWhatToSet() {
        QTemporaryDir folder;
        QTemporaryDir home;
        QProcess program;
        QVERIFY(startLocal(program, folder, home));
        QVERIFY(!program.waitForFinished(1500));
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(3000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        const QString said = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(
            said.contains(QStringLiteral("A visão do local lê as estações de um servidor MQTT: "
                                         "defina host no grupo [mqtt] de %1/anemometros.ini.")
                              .arg(folder.path())),
            qPrintable(said));
        // Nothing written in its folder: the site view keeps no files.
        QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    // Stations of several PCs in bursts, faster than the view's reads: once the bursts end,
    // every tile says the last state of its station, and the screen shows the tile as it is.
    void everyTileEndsOnItsLastState() {
        MqttBroker broker;
        QVERIFY(broker.start());
        const QStringList prefixes{"norte", "sul", "leste"};
        QTemporaryDir folder;
        QFile ini(folder.filePath(QStringLiteral("anemometros.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(iniOf(broker, "prefixos=" + prefixes.join(u',').toUtf8() + "\nclient_id=c\n"));
        ini.close();
        QDir::setCurrent(folder.path());
        site::SiteView view;
        QVERIFY(view.started());
        QTRY_VERIFY_WITH_TIMEOUT(view.book()->brokerConnected(), 10000);
        publish::MqttSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port();
        settings.clientId = QStringLiteral("rajadas");
        publish::MqttClient site(settings, {});
        site.start();
        QTRY_VERIFY_WITH_TIMEOUT(site.connected(), 10000);

        // Every station's speed in tenths, round after round, in bursts of a few milliseconds.
        const auto speedOfRound = [](int round, int n) { return quint16(round * 37 + n * 5); };
        const int rounds = 40;
        QRandomGenerator random(7);
        for (int round = 1; round <= rounds; ++round) {
            const QDateTime now = QDateTime::currentDateTime();
            for (int pc = 0; pc < int(prefixes.size()); ++pc) {
                for (int station = 1; station <= 8; ++station) {
                    const modbus::StationValues values{.speed =
                                                           speedOfRound(round, pc * 8 + station),
                                                       .battery = 388,
                                                       .status = 1};
                    QVERIFY(site.publish(
                        publish::stateTopic(prefixes[pc], station),
                        publish::stateJson({station, QStringLiteral("E%1").arg(station), "1"},
                                           values, readings::readingOf(values, station), now),
                        0, false));
                }
            }
            QTest::qWait(int(random.bounded(30)));
        }
        site::SiteWindow& window = *view.window();
        const auto lastShown = [&] {
            for (int pc = 0; pc < int(prefixes.size()); ++pc) {
                for (int station = 1; station <= 8; ++station) {
                    const unsigned tenths = speedOfRound(rounds, pc * 8 + station);
                    if (speedOf(window, prefixes[pc], station) !=
                        QStringLiteral("%1,%2 km/h").arg(tenths / 10).arg(tenths % 10))
                        return false;
                }
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(lastShown(), 5000);
        // Painted too: each tile in sight.
        const QRect sight = window.scrollArea()->viewport()->rect();
        QList<site::SiteTile*> seen;
        for (const QString& prefix : prefixes) {
            for (int station = 1; station <= 8; ++station) {
                site::SiteTile* tile = window.tile(prefix, station);
                if (sight.contains(QRect(tile->mapTo(window.scrollArea()->viewport(), QPoint()),
                                         tile->size())))
                    seen << tile;
            }
        }
        QVERIFY2(seen.size() >= 8, qPrintable(QString::number(seen.size())));
        for (site::SiteTile* tile : seen)
            QTRY_VERIFY2_WITH_TIMEOUT(paintedAsItIs(&window, tile), qPrintable(tile->objectName()),
                                      2000);
        site.stop();
    }

    // A bad [alarmes] value: its box waits for the operator while the view connects and
    // subscribes under it; a stop closes the box and says goodbye to the broker.
    void connectsUnderTheBoxOfTheStart() {
        MqttBroker broker(QStringLiteral("allow_anonymous true\nlog_type all\n"));
        const QString brokerLog = broker.path(QStringLiteral("mosquitto.log"));
        {
            QFile conf(broker.path(QStringLiteral("mosquitto.conf")));
            QVERIFY(conf.open(QIODevice::Append));
            conf.write("log_dest file " + brokerLog.toUtf8() + '\n');
        }
        QVERIFY(broker.start());
        const auto logged = [&brokerLog] {
            QFile log(brokerLog);
            return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        };
        QTemporaryDir folder;
        QTemporaryDir home;
        QFile ini(folder.filePath(QStringLiteral("anemometros.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(broker.port()) +
                  "\nprefix=obra1\nclient_id=central\n[alarmes]\nsom=desligado\n"
                  "abrir_janela=talvez\n");
        ini.close();
        QProcess program;
        QVERIFY(startLocal(program, folder, home));
        QTRY_VERIFY_WITH_TIMEOUT(logged().contains(u"Received SUBSCRIBE from central-local"),
                                 10000);
        QTest::qWait(2000); // a few of the view's one-second refreshes under the box
        QVERIFY(program.state() == QProcess::Running);
        QElapsedTimer closing;
        closing.start();
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(3000));
        QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QString::fromUtf8(program.readAllStandardError())
                    .contains(u"abrir_janela deve ser sim ou não, não \"talvez\""));
        QTRY_VERIFY_WITH_TIMEOUT(logged().contains(u"Client central-local disconnected."), 2000);
    }
};

QTEST_MAIN(TestSiteProgram)
#include "tst_site_program.moc"
