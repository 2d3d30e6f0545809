#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "config/station_edit.h"
#include "modbus/rtu.h"
#include "readings/station_panel.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "pty_pair.h"
#include "reply_wait.h"
#include "station_env.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

namespace {

struct Station {
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};
};

// A station's 17-byte answer, from the codec.
QByteArray answer(int address, int speed, int battery, int direction, int preset1, int preset2,
                  int status) {
    const modbus::Bytes bytes =
        modbus::encodeReply(std::uint8_t(address),
                            {std::uint16_t(speed), std::uint16_t(battery), std::uint16_t(direction),
                             std::uint16_t(preset1), std::uint16_t(preset2), std::uint8_t(status)});
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QString iconOf(const Station& s, int station, readings::StationPanel::Icon icon) {
    return s.form1.panel(station).image(icon)->property("iconPath").toString();
}

unsigned colourOf(const QLabel* preset) {
    return preset->property("colourReference").toUInt();
}

} // namespace

class TestDisplay : public QObject {
    Q_OBJECT

    // Polls station `n` once and lets the test's station answer with `reply`.
    void poll(Station& s, const Pty& pty, int n, const QByteArray& reply) {
        s.form1.stationBus().setStationIndex(n);
        s.form1.TimerControleTimer();
        QCOMPARE(pty.received().size(), 8);
        pty.send(reply);
        QMetaObject::invokeMethod(&s.form1.stationBus().replyTimer(n), "timeout");
        QVERIFY(waitForReply(s.form1.stationBus()));
    }

    std::unique_ptr<StationEnv> env_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<Station> s_;

private slots:
    void init() {
        env_ = std::make_unique<StationEnv>();
        pty_ = std::make_unique<Pty>();
        s_ = std::make_unique<Station>();
        s_->form2.comboBoxPorta()->setEditText(QString::fromStdString(pty_->path()));
        s_->form2.comboBoxVelocidade()->setEditText(QStringLiteral("9600"));
        s_->form1.TimerAbrePortaTimer();
        QVERIFY(s_->form1.stationBus().portOpen());
    }
    void cleanup() {
        s_.reset();
        pty_.reset();
        env_.reset();
    }

    void kilometresPerHour() {
        poll(*s_, *pty_, 1, answer(1, 123, 370, 1, 50, 200, 0x85));
        readings::StationPanel& p = s_->form1.panel(1);
        QCOMPARE(p.speedLabel()->text(), QStringLiteral("12,3 km/h"));
        QCOMPARE(p.directionLabel()->text(), QStringLiteral("NNE"));
        QCOMPARE(p.preset1()->text(), QStringLiteral("5,0 km/h"));
        QCOMPARE(p.preset2()->text(), QStringLiteral("20,0 km/h"));
        QCOMPARE(colourOf(p.preset1()), 65280u);
        QCOMPARE(colourOf(p.preset2()), 65280u);
        using Icon = readings::StationPanel::Icon;
        QCOMPARE(iconOf(*s_, 1, Icon::Communication), QStringLiteral("IMAGES/COM_OK.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Battery), QStringLiteral("IMAGES/BAT_100.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Sound), QStringLiteral("IMAGES/SOUND_OFF.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Rf), QStringLiteral("IMAGES/RF_ON.ICO"));
        QCOMPARE(s_->form1.statusText(2), QStringLiteral("N°: 1 - OK"));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 2);
    }

    void unitsAndLimits_data() {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("speedText");
        QTest::addColumn<QString>("direction");
        QTest::newRow("m/s keeps its trailing blank") << 123 << 0x04 << "12,3 m/s "
                                                      << "L  ";
        QTest::newRow("no unit") << 123 << 0x07 << "12,3"
                                 << "L  ";
        QTest::newRow("limit in knots") << 10000 << 0x06 << "> LIMITE kn"
                                        << "L  ";
        QTest::newRow("direction not valid") << 5 << 0x02 << "0,5 kn"
                                             << "---";
    }
    void unitsAndLimits() {
        QFETCH(int, speed);
        QFETCH(int, status);
        QFETCH(QString, speedText);
        QFETCH(QString, direction);
        s_->form2.addressEdit(2)->setText(QStringLiteral("2"));
        poll(*s_, *pty_, 2, answer(2, speed, 360, 4, 10, 20, status));
        QCOMPARE(s_->form1.panel(2).speedLabel()->text(), speedText);
        QCOMPARE(s_->form1.panel(2).directionLabel()->text(), direction);
    }

    void alarmColoursAndIcons() {
        using Icon = readings::StationPanel::Icon;
        readings::StationPanel& p = s_->form1.panel(1);
        poll(*s_, *pty_, 1, answer(1, 10, 369, 0, 1, 1, 0x30));
        QCOMPARE(colourOf(p.preset1()), 255u);
        QCOMPARE(colourOf(p.preset2()), 255u);
        QCOMPARE(iconOf(*s_, 1, Icon::Battery), QStringLiteral("IMAGES/BAT_75.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Rf), QStringLiteral("IMAGES/RF_OFF.ICO"));
        poll(*s_, *pty_, 1, answer(1, 10, 340, 0, 1, 1, 0x88));
        QCOMPARE(colourOf(p.preset1()), 65280u);
        QCOMPARE(iconOf(*s_, 1, Icon::Sound), QStringLiteral("IMAGES/SOUND_ON.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Rf), QStringLiteral("IMAGES/RF_ON.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Battery), QStringLiteral("IMAGES/BAT_25.ICO"));
        poll(*s_, *pty_, 1, answer(1, 10, 339, 0, 1, 1, 0x00));
        QCOMPARE(iconOf(*s_, 1, Icon::Battery), QStringLiteral("IMAGES/BAT_0.ICO"));
        // A failed reply greys both presets and keeps every value of the last good one.
        poll(*s_, *pty_, 1, QByteArray());
        QCOMPARE(colourOf(p.preset1()), 12632256u);
        QCOMPARE(colourOf(p.preset2()), 12632256u);
        QCOMPARE(iconOf(*s_, 1, Icon::Communication), QStringLiteral("IMAGES/COM_OFF.ICO"));
        QCOMPARE(iconOf(*s_, 1, Icon::Battery), QStringLiteral("IMAGES/BAT_0.ICO"));
        QCOMPARE(p.speedLabel()->text(), QStringLiteral("1,0 m/s "));
        QCOMPARE(s_->form1.statusText(2), QStringLiteral("N°: 1 - ERRO"));
    }

    void invalidReplies_data() {
        QTest::addColumn<QByteArray>("reply");
        QByteArray good = answer(1, 10, 370, 0, 1, 1, 0x04);
        QByteArray swapped = good;
        std::swap(swapped[15], swapped[16]);
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("another address") << answer(9, 10, 370, 0, 1, 1, 0x04);
        QTest::newRow("CRC bytes swapped") << swapped;
        QTest::newRow("one byte") << QByteArray(1, char(0x01));
        QTest::newRow("two bytes FF FF") << QByteArray(2, char(0xFF));
        const modbus::Bytes exception = modbus::encodeException(1, 3, 2);
        QTest::newRow("exception") << QByteArray(reinterpret_cast<const char*>(exception.data()),
                                                 qsizetype(exception.size()));
    }
    void invalidReplies() {
        QFETCH(QByteArray, reply);
        readings::StationPanel& p = s_->form1.panel(1);
        poll(*s_, *pty_, 1, reply);
        QCOMPARE(s_->form1.statusText(2), QStringLiteral("N°: 1 - ERRO"));
        QCOMPARE(p.speedLabel()->text(), QStringLiteral("0 km/h"));
        QCOMPARE(colourOf(p.preset1()), 12632256u);
        QCOMPARE(s_->form1.stationBus().stationIndex(), 2);
    }

    void trailOverThreeStations() {
        s_->form2.comboBoxRede()->setEditText(QStringLiteral("3"));
        s_->form2.ComboBoxRedeChange();
        for (int n = 1; n <= 3; ++n)
            s_->form2.addressEdit(n)->setText(QString::number(n));
        poll(*s_, *pty_, 1, answer(1, 1, 370, 0, 1, 1, 0x04));
        poll(*s_, *pty_, 2, QByteArray());
        poll(*s_, *pty_, 3, answer(3, 1, 370, 0, 1, 1, 0x04));
        QCOMPARE(s_->form1.statusText(2), QStringLiteral("N°: 1 - OK | N°: 2 - ERRO | N°: 3 - OK"));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 4);
    }

    void stationEightSetsIndexNine() {
        s_->form2.addressEdit(8)->setText(QStringLiteral("8"));
        poll(*s_, *pty_, 8, answer(8, 1, 370, 0, 1, 1, 0x04));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 9);
        QVERIFY(s_->form1.statusText(2).endsWith(QStringLiteral(" - OK")));
    }

    void replyAfterThePortWasClosed() {
        s_->form1.stationBus().setStationIndex(1);
        s_->form1.TimerControleTimer();
        pty_->send(answer(1, 1, 370, 0, 1, 1, 0x04));
        QTimer::singleShot(30, &s_->form2, [this] { s_->form2.close(); });
        s_->form1.N1Click(); // closes the port before the reply timer fires
        QMetaObject::invokeMethod(&s_->form1.stationBus().replyTimer(1), "timeout");
        QVERIFY(s_->form1.statusText(2).endsWith(QStringLiteral(" - ERRO")));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 2);
    }

    void missingIconIsReportedOnceAndSkipsTheRest() {
        QFile::remove(env_->dir() + QStringLiteral("/IMAGES"));
        QDir().mkpath(env_->dir() + QStringLiteral("/IMAGES"));
        QFile::copy(QStringLiteral(STATION_DIR "/IMAGES/COM_OK.ICO"),
                    env_->dir() + QStringLiteral("/IMAGES/COM_OK.ICO"));
        s_->form2.logBox(1)->setChecked(true);
        BoxWatcher watcher;
        poll(*s_, *pty_, 1, answer(1, 55, 370, 0, 1, 1, 0x84));
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("File not found"));
        readings::StationPanel& p = s_->form1.panel(1);
        // Speed and direction came before the battery icon; the presets came after it.
        QCOMPARE(p.speedLabel()->text(), QStringLiteral("5,5"));
        QCOMPARE(p.preset1()->text(), QStringLiteral("0,0 km/h"));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 2);
        QVERIFY(!QDir(env_->documents() + QStringLiteral("/log_zareraziru"))
                     .exists(QStringLiteral("%1 ANEMÔMETRO 1.txt")
                                 .arg(QDate::currentDate().toString("dd-MM-yyyy"))));
    }

    // The icon file is opened at every reading: a folder in its place is refused, and a file
    // replaced by another picture is shown anew.
    void iconFileIsCheckedAtEveryReading() {
        // IMAGES links to the build's icons, which other tests read at the same time: this
        // test changes a copy of its own.
        const QString images = env_->dir() + QStringLiteral("/IMAGES");
        QVERIFY(QFileInfo(images).isSymLink() && QFile::remove(images));
        QVERIFY(QDir().mkpath(images));
        for (const QString& icon :
             QDir(QStringLiteral(STATION_DIR "/IMAGES")).entryList(QDir::Files))
            QVERIFY(
                QFile::copy(QStringLiteral(STATION_DIR "/IMAGES/") + icon, images + u'/' + icon));
        const QString rf = images + QStringLiteral("/RF_ON.ICO");
        const QString saved = env_->dir() + QStringLiteral("/RF_ON.saved");
        QVERIFY(QFile::rename(rf, saved));
        QVERIFY(QDir().mkpath(rf));
        {
            BoxWatcher watcher;
            poll(*s_, *pty_, 1, answer(1, 55, 370, 0, 1, 1, 0x84));
            QCOMPARE(watcher.boxes().size(), std::size_t(1));
            QCOMPARE(watcher.boxes()[0].text, QStringLiteral("File access denied"));
        }
        QVERIFY(QDir().rmdir(rf));
        QVERIFY(QFile::copy(env_->dir() + QStringLiteral("/IMAGES/RF_OFF.ICO"), rf));
        poll(*s_, *pty_, 1, answer(1, 55, 370, 0, 1, 1, 0x84));
        QLabel* box = s_->form1.panel(1).image(readings::StationPanel::Icon::Rf);
        const QImage offPicture = box->pixmap().toImage();
        QVERIFY(QFile::remove(rf));
        QVERIFY(QFile::rename(saved, rf));
        poll(*s_, *pty_, 1, answer(1, 55, 370, 0, 1, 1, 0x84));
        QVERIFY(box->pixmap().toImage() != offPicture);
    }

    void goodReplyIsLoggedWhenRfIsSet() {
        s_->form2.addressEdit(2)->setText(QStringLiteral("2"));
        s_->form2.logBox(2)->setChecked(true);
        poll(*s_, *pty_, 2, answer(2, 123, 370, 0, 50, 200, 0x85 | 0x08));
        poll(*s_, *pty_, 2, answer(2, 124, 370, 0, 50, 200, 0x05)); // RF clear: not logged
        const QString name = QDate::currentDate().toString("dd-MM-yyyy") + " ANEMÔMETRO 2.txt";
        QFile file(env_->documents() + QStringLiteral("/log_zareraziru/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QByteArray("HORA;VELOCIDADE(km/h);DIRECAO;PRESET1(km/h);PRESET2(km/h);"
                                      "ALARME SONORO;BATERIA(V)\r"));
        QVERIFY(lines[1].endsWith(";12,3;N  ;5,0;20,0;ON ;3,70;\r"));
    }

    void loggingFailuresLeavePollingAlone_data() {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message");
        QTest::newRow("log folder removed") << "folder"
                                            << "File not found";
        QTest::newRow("index file unreadable") << "index"
                                               << "I/O error 21";
        QTest::newRow("log file not writable") << "file"
                                               << "I/O error 21";
    }
    void loggingFailuresLeavePollingAlone() {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        const QString folder = env_->documents() + QStringLiteral("/log_zareraziru");
        const QString logFile = folder + QStringLiteral("/") +
                                QDate::currentDate().toString("dd-MM-yyyy") +
                                QStringLiteral(" ANEMÔMETRO 1.txt");
        if (breakage == "folder") {
            QDir(folder).removeRecursively();
        } else if (breakage == "index") { // the start-up pass wrote it as a file
            QFile::remove(env_->dir() + QStringLiteral("/StatusLOG1.txt"));
            QDir(env_->dir()).mkdir(QStringLiteral("StatusLOG1.txt"));
        } else {
            QDir().mkpath(logFile);
        }
        s_->form2.logBox(1)->setChecked(true);
        BoxWatcher watcher;
        poll(*s_, *pty_, 1, answer(1, 77, 370, 0, 1, 1, 0x84));
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, message);
        QCOMPARE(s_->form1.panel(1).speedLabel()->text(), QStringLiteral("7,7 m/s "));
        QCOMPARE(s_->form1.statusText(2), QStringLiteral("N°: 1 - OK"));
        QCOMPARE(s_->form1.stationBus().stationIndex(), 2);
        QVERIFY(s_->form1.controlTimer().enabled());
        if (breakage == "index") // the new log file stays, empty
            QCOMPARE(QFileInfo(logFile).size(), 0);
    }

    void nameFromTheFileCannotLeaveTheLogFolder() {
        s_->form1.stationSettings().setName(1, QStringLiteral("../../fora"));
        s_->form2.logBox(1)->setChecked(true);
        poll(*s_, *pty_, 1, answer(1, 77, 370, 0, 1, 1, 0x84));
        QCOMPARE(s_->form1.panel(1).name(), QStringLiteral("../../fora"));
        const QStringList inside =
            QDir(env_->documents() + QStringLiteral("/log_zareraziru")).entryList(QDir::Files);
        QCOMPARE(inside, QStringList{QDate::currentDate().toString("dd-MM-yyyy") +
                                     QStringLiteral(" .._.._fora.txt")});
        QVERIFY(QDir(env_->home()).entryList({"*fora*"}, QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
