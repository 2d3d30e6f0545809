#include "app/comm_Unit1.h"
#include "app/station_windows.h"
#include "config/Unit2.h"
#include "readings/station_panel.h"
#include "serial/serial_port.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "pty_pair.h"
#include "station_env.h"

#include "health/diagnostics_window.h"
#include "publish/publisher.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTcpServer>
#include <QTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void captionAndFrame() {
        StationEnv env;
        TForm1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("K&V - ANEMÔMETROS"));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        // Built with all eight panels: the largest size, which is also the upper limit.
        QCOMPARE(form.frameSize(), QSize(737, 525));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        form.setOuterWidth(100); // below the one-station width: held at the limit
        QCOMPARE(form.width(), 184);
        form.setOuterHeight(900);
        QCOMPARE(form.height(), 525);
    }

    void stationPanels_data() {
        QTest::addColumn<int>("station");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("1") << 1 << QPoint(8, 8);
        QTest::newRow("4") << 4 << QPoint(560, 8);
        QTest::newRow("5") << 5 << QPoint(8, 232);
        QTest::newRow("8") << 8 << QPoint(560, 232);
    }
    void stationPanels() {
        QFETCH(int, station);
        QFETCH(QPoint, position);
        StationEnv env;
        TForm1 form;
        const QString n = QString::number(station);
        auto* panel = form.findChild<QFrame*>(QStringLiteral("Panel") + n);
        QVERIFY(panel);
        QCOMPARE(panel->geometry(), QRect(position, QSize(161, 209)));
        QVERIFY(!panel->isHidden());

        struct Child {
            QString name;
            QPoint at;
            QString text;
        };
        const int first = 4 * station - 3;
        const std::vector<Child> children{
            {QStringLiteral("Label%1").arg(first), {11, 88}, QStringLiteral("V:")},
            {QStringLiteral("Label%1").arg(first + 1), {9, 118}, QStringLiteral("D:")},
            {QStringLiteral("Label%1").arg(first + 2), {32, 153}, QStringLiteral("P1")},
            {QStringLiteral("Label%1").arg(first + 3), {112, 153}, QStringLiteral("P2")},
            {QStringLiteral("LabelVel") + n, {32, 88}, QStringLiteral("0 km/h")},
            {QStringLiteral("LabelDir") + n, {32, 118}, QStringLiteral("---")},
            {QStringLiteral("PanelName") + n, {0, 0}, QStringLiteral("ANEMÔMETRO ") + n},
            {QStringLiteral("P1Panel") + n, {8, 168}, QStringLiteral("0,0 km/h")},
            {QStringLiteral("P2Panel") + n, {88, 168}, QStringLiteral("0,0 km/h")},
            {QStringLiteral("ImageCom") + n, {8, 36}, {}},
            {QStringLiteral("ImageRF") + n, {51, 36}, {}},
            {QStringLiteral("ImageSom") + n, {92, 36}, {}},
            {QStringLiteral("ImageBat") + n, {128, 36}, {}},
        };
        for (const Child& child : children) {
            auto* label = panel->findChild<QLabel*>(child.name);
            QVERIFY2(label, qPrintable(child.name));
            QCOMPARE(label->pos(), child.at);
            if (!child.text.isEmpty())
                QCOMPARE(label->text(), child.text);
            else
                QVERIFY2(!label->pixmap().isNull(), qPrintable(child.name + " has no picture"));
        }
        QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("PanelName") + n)->size(),
                 QSize(161, 33));
        QVERIFY(panel->findChild<QFrame*>(QStringLiteral("Bevel") + n));
        QCOMPARE(form.panel(station).preset1()->property("colourReference").toUInt(), 12632256u);
        // Names and port texts from the configuration file are never taken as markup.
        QCOMPARE(form.panel(station).nameBar()->textFormat(), Qt::PlainText);
    }

    void menu() {
        StationEnv env;
        TForm1 form;
        const QList<QAction*> top = form.menuBar()->actions();
        QStringList captions;
        for (QAction* a : top)
            captions << a->text();
        QCOMPARE(captions, (QStringList{"Controle", "Ajuda", "Sair"}));
        QVERIFY(!top[2]->menu());

        const auto itemsOf = [](QAction* menuAction) {
            QStringList items;
            for (QAction* a : menuAction->menu()->actions())
                items << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return items;
        };
        QCOMPARE(itemsOf(top[0]), (QStringList{"Configurações", "-"}));
        QCOMPARE(itemsOf(top[1]), (QStringList{"Geral", "-", "Web Site", "-", "Sobre"}));
        for (QAction* a : form.findChildren<QAction*>())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
    }

    void statusBarAndTimersAtCreation() {
        StationEnv env;
        TForm1 form;
        QCOMPARE(form.statusBar()->findChildren<QLabel*>().size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(form.statusText(i), QString());
        QVERIFY(form.openPortTimer().enabled());
        QCOMPARE(form.openPortTimer().interval(), 1000);
        QVERIFY(!form.controlTimer().enabled());
        QCOMPARE(form.controlTimer().interval(), 2000);
        for (int station = 1; station <= 8; ++station) {
            QVERIFY(!form.stationBus().replyTimer(station).enabled());
            QCOMPARE(form.stationBus().replyTimer(station).interval(), 100);
        }
        QCOMPARE(form.stationBus().stationIndex(), 1);
    }

    void sairClosesThePortAndTheWindow() {
        StationEnv env;
        Pty pty;
        TForm1 form;
        TForm2 form2(form.stationSettings(), form.stationBus(), &form);
        form2.comboBoxPorta()->setEditText(QString::fromStdString(pty.path()));
        form.show();
        form.TimerAbrePortaTimer();
        QVERIFY(form.stationBus().portOpen());
        form.findChild<QAction*>(QStringLiteral("Sair1"))->trigger();
        QVERIFY(!form.stationBus().portOpen());
        QVERIFY(!form.isVisible());
        // The port is free again: another program may take it.
        serial::SerialPort other;
        QVERIFY(other.open(pty.path(), "9600,N,8,1").ok);
    }

    void documentsMissingIsReportedAndStartGoesOn() {
        StationEnv env;
        qunsetenv("HOME");
        BoxWatcher watcher;
        TForm1 form;
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text,
                 QStringLiteral("Não foi possível obter o local dos  Meus Documentos."));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(watcher.boxes()[0].title, QStringLiteral("K&V  ANEMÔMETROS"));
        // The creation handler set the station index before it failed; the window is whole.
        QCOMPARE(form.stationBus().stationIndex(), 1);
        QVERIFY(form.openPortTimer().enabled());
        form.show();
        QVERIFY(form.isVisible());
    }

    // A box raised while the windows are built stays open for seconds, with the opening timer
    // already running: nothing may tick into a window that does not exist yet, and start-up
    // goes on after the box.
    void startupBoxLeftOpen_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("portState");
        const QString opened = QStringLiteral(" Aberta");
        QTest::newRow("no Documents folder")
            << "home" << QStringList{"Não foi possível obter o local dos  Meus Documentos."}
            << opened;
        QTest::newRow("log folder cannot be made")
            << "documents file" << QStringList{"I/O error 20"} << opened;
        QTest::newRow("index file unreadable")
            << "index folder" << QStringList{"I/O error 21"} << opened;
        // Without a configuration there is no port name: the opening reports that afterwards.
        QTest::newRow("configuration missing")
            << "config"
            << QStringList{"File not found",
                           "Porta Serial  não disponível (pode estar sendo usada por outro "
                           "programa). Configure os paramentros da porta serial"}
            << " Fechada";
    }
    void startupBoxLeftOpen() {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        QFETCH(QString, portState);
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        env.writeConfig(config.join('\n'));
        if (fault == "home")
            qunsetenv("HOME");
        if (fault == "documents file")
            QFile(env.documents()).open(QIODevice::WriteOnly);
        if (fault == "index folder")
            QDir(env.dir()).mkdir(QStringLiteral("StatusLOG1.txt"));
        if (fault == "config")
            QFile::remove(env.configPath());

        BoxWatcher watcher(keepOpenFor(2600));
        QElapsedTimer building;
        building.start();
        StationWindows windows;
        QVERIFY(building.elapsed() >= 2500);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, messages[0]);
        QVERIFY(Form2 != nullptr && Form3 != nullptr);
        // The first tick of the opening timer comes from the message loop.
        const QString port = fault == "config" ? QString() : QString::fromStdString(pty.path());
        QTRY_COMPARE_WITH_TIMEOUT(windows.form1->statusText(2), port + portState, 8000);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.boxes().size(), std::size_t(messages.size()), 5000);
        for (qsizetype i = 0; i < messages.size(); ++i)
            QCOMPARE(watcher.boxes()[std::size_t(i)].text, messages[i]);
    }

    void programSurvivesItsFirstBoxLeftOpen() {
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        env.writeConfig(config.join('\n'));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), QString());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(env.dir());
        program.start(QStringLiteral(ANEMOMETROS_PATH), {});
        QVERIFY(program.waitForStarted());
        QVERIFY(!program.waitForFinished(5000)); // the box is still open, nobody closes it
        QCOMPARE(program.state(), QProcess::Running);
        program.kill();
        program.waitForFinished();
    }

    // A bad anemometros.ini: one message, left open while the port opens and the stations are
    // polled under it, and no publishing. A good one with no broker to be found: no box at
    // all, and the diagnostics window tells the broker's state.
    void publishingSettingsAtStart() {
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        config[27] = "1\r"; // a read every second
        config[28] = "200\r";
        env.writeConfig(config.join('\n'));
        QFile ini(env.dir() + QStringLiteral("/anemometros.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[mqtt]\nhost=127.0.0.1\nport=0\n");
        ini.close();
        {
            QByteArray polled;
            BoxWatcher watcher([&](QMessageBox*) {
                // Open for 3 s at least, and until the first request went out (the opening
                // timer and the first read come a few seconds apart on a loaded machine).
                QTest::qWait(3000);
                QElapsedTimer open;
                open.start();
                polled = pty.received();
                while (polled.size() < 8 && open.elapsed() < 10000) {
                    QTest::qWait(100);
                    polled += pty.received();
                }
            });
            StationWindows windows;
            QTRY_COMPARE_WITH_TIMEOUT(watcher.boxes().size(), std::size_t(1), 5000);
            QCOMPARE(watcher.boxes()[0].text,
                     QStringLiteral("Publicação MQTT desligada: port deve ser um número de 1 a "
                                    "65535 (em %1/anemometros.ini).")
                         .arg(env.dir()));
            QCOMPARE(watcher.boxes()[0].title, QStringLiteral("K&V  ANEMÔMETROS"));
            QVERIFY(polled.size() >= 8); // requests went out under the box
            QVERIFY(!windows.publisher);
            QVERIFY(windows.diagnostics->connectionLabel()->isHidden());
        }

        // A port nobody listens on: refused, retried, never a box.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 closed = probe.serverPort();
        probe.close();
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[mqtt]\nhost=127.0.0.1\nport=" + QByteArray::number(closed) + '\n');
        ini.close();
        BoxWatcher watcher;
        StationWindows windows;
        QVERIFY(windows.publisher);
        QLabel* state = windows.diagnostics->connectionLabel();
        QTRY_VERIFY_WITH_TIMEOUT(
            state->text().startsWith(QStringLiteral("MQTT: sem conexão com 127.0.0.1:")), 5000);
        QVERIFY(state->text().contains(QStringLiteral("conexão recusada")));
        QTest::qWait(2500);
        QVERIFY(watcher.boxes().empty());
        windows.diagnostics->show();
        QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(state);
        QVERIFY(readable && !readable->state().invisible);
        QCOMPARE(readable->text(QAccessible::Name), state->text());
    }

    // The folder is the desktop's answer at the moment it is asked: a user-dirs.dirs written
    // or changed while the program runs moves it at the next question, and so does a new home.
    void documentsFolder() {
        StationEnv env;
        TForm1 form;
        QCOMPARE(form.GetMyDocuments(), env.documents());
        const QString config = QDir::homePath() + QStringLiteral("/.config");
        QVERIFY(QDir().mkpath(config));
        const auto point = [&](const QByteArray& folder) {
            QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
            QVERIFY(dirs.open(QIODevice::WriteOnly | QIODevice::Truncate));
            dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/" + folder + "\"\n");
        };
        point("Documentos");
        QCOMPARE(form.GetMyDocuments(), QDir::homePath() + QStringLiteral("/Documentos"));
        point("Docs");
        QCOMPARE(form.GetMyDocuments(), QDir::homePath() + QStringLiteral("/Docs"));
        QFile::remove(config + QStringLiteral("/user-dirs.dirs"));
        QCOMPARE(form.GetMyDocuments(), env.documents());
        QTemporaryDir otherHome;
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", otherHome.path().toUtf8());
        QCOMPARE(form.GetMyDocuments(), otherHome.path() + QStringLiteral("/Documents"));
        qputenv("HOME", home);
    }

    void calculaCrcFillsTheRegister() {
        StationEnv env;
        TForm1 form;
        const std::vector<int> cells{1, 3, 0, 0, 0, 6};
        form.Calcula_CRC(6, cells);
        QCOMPARE(form.stationBus().crcRegister(), (modbus::CrcRegister{0xC5, 0xC8}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
