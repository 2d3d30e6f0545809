#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "config/config_file.h"
#include "config/station_edit.h"
#include "readings/station_panel.h"
#include "settings/station_settings.h"
#include "toolkit/failure.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "fifo_guard.h"
#include "serial_tree.h"
#include "small_disk.h"
#include "station_env.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A well-formed file as an operator's station would hold it, CR LF and Windows-1252.
QByteArray sampleConfig(const QByteArray& stationCount = "3", const QByteArray& pause = "4385") {
    QByteArray bytes = "ttyS1\r\n19200\r\n" + stationCount + "\r\n";
    for (int n = 1; n <= 8; ++n)
        bytes +=
            "ESTA\xC7\xC3O " + QByteArray::number(n) + "\r\n" + QByteArray::number(10 + n) + "\r\n";
    for (int n = 1; n <= 8; ++n)
        bytes += (n % 2 ? "TRUE" : "FALSE") + QByteArray("\r\n");
    bytes += "5\r\n" + pause + "\r\n";
    return bytes;
}

QList<QByteArray> lines(const QByteArray& bytes) {
    QList<QByteArray> list = bytes.split('\n');
    if (!list.isEmpty() && list.last().isEmpty())
        list.removeLast();
    return list;
}

// The main window and the configuration window, created as the program creates them.
struct Station {
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};
};

// Types text key by key, accented letters included (QTest::keyClicks takes ASCII only).
void type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const auto key = static_cast<int>(c.toUpper().unicode());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

// Puts the focus in an edit of the shown window, as a click into it would.
void focusInto(QWidget* edit) {
    QWidget* window = edit->window();
    auto* form2 = qobject_cast<TForm2*>(window);
    if (form2)
        form2->pageControl()->setCurrentIndex(1);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    edit->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), edit);
}

// Leaves an edit with Tab, to the next control of the same window.
void leave(QWidget* edit) {
    focusInto(edit);
    QTest::keyClick(edit, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != edit);
}

void commit(QWidget* edit, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void loadsIntoControlsAndMainWindow() {
        StationEnv env;
        env.writeConfig(sampleConfig());
        Station s;
        QCOMPARE(s.form2.portName(), QStringLiteral("ttyS1"));
        QCOMPARE(s.form2.baudText(), QStringLiteral("19200"));
        QCOMPARE(s.form2.nameText(2), QStringLiteral("ESTAÇÃO 2"));
        QCOMPARE(s.form2.addressText(8), QStringLiteral("18"));
        QVERIFY(s.form2.logEnabled(1));
        QVERIFY(!s.form2.logEnabled(2));
        QCOMPARE(s.form2.readIntervalText(), QStringLiteral("5"));
        QCOMPARE(s.form1.cyclePause(), 4385);
        QCOMPARE(s.form1.panel(3).name(), QStringLiteral("ESTAÇÃO 3"));
        for (int n = 1; n <= 8; ++n)
            QCOMPARE(s.form1.stationPanelShown(n), n <= 3);
        QCOMPARE(s.form1.frameSize(), QSize(552, 300));
        QCOMPARE(s.form1.statusText(0), QStringLiteral("ttyS1"));
        QCOMPARE(s.form1.statusText(1), QStringLiteral("19200"));
        QCOMPARE(s.form1.statusText(2), QStringLiteral("ttyS1 Fechada"));
        // The whole port name in its panel's tooltip, which the panel may show only in part.
        QCOMPARE(s.form1.findChild<QLabel*>(QStringLiteral("StatusPanel0"))->toolTip(),
                 QStringLiteral("ttyS1"));
    }

    void roundTripKeepsEveryByteButThePause() {
        StationEnv env;
        env.writeConfig(sampleConfig("3", "1234"));
        Station s;
        s.form2.BotaoSalvaConfigClick();
        const QByteArray saved = env.configBytes();
        QList<QByteArray> expected = lines(sampleConfig("3", "4385"));
        QCOMPARE(lines(saved), expected);
        QCOMPARE(saved, sampleConfig("3", "4385"));
    }

    // The file as the typed value: numbers typed wrong kept as typed (they fail where they are
    // converted), a station polled at or below the count; written back line for line.
    void typedConfigurationBothWays() {
        StationEnv env;
        const QByteArray file = sampleConfig("3", "1234")
                                    .replace("\r\n11\r\n", "\r\n12a\r\n") // station 1's address
                                    .replace("19200", "192OO");
        env.writeConfig(file);
        const config::LoadedConfig loaded = config::readStationConfig(env.configPath());
        const settings::StationConfig& c = loaded.config;
        QCOMPARE(c.baudRate.text, QStringLiteral("192OO"));
        QVERIFY(!c.baudRate.value);
        QCOMPARE(c.station(1).address.text, QStringLiteral("12a"));
        QVERIFY(!c.station(1).address.value);
        QCOMPARE(c.station(2).address.value, std::optional<int>(12));
        QCOMPARE(c.stationCount.value, std::optional<int>(3));
        QVERIFY(c.station(3).polled && !c.station(4).polled);
        QVERIFY(c.station(1).logged && !c.station(2).logged);
        QCOMPARE(loaded.cyclePauseText, QStringLiteral("1234"));
        QCOMPARE(c.cyclePauseMs, 1234);
        config::writeStationConfig(env.configPath(), c);
        QCOMPARE(env.configBytes(), file);
    }

    void builtDefaultFile() {
        StationEnv env;
        Station s;
        QCOMPARE(s.form2.portName(), QStringLiteral("ttyUSB0"));
        QCOMPARE(s.form2.nameText(1), QStringLiteral("ANEMÔMETRO 1"));
        QCOMPARE(s.form2.addressText(8), QStringLiteral("8"));
        QCOMPARE(s.form1.cyclePause(), 5000 - 8 * 205);
        QVERIFY(env.configBytes().contains("ANEM\xD4METRO 1\r\n"));
    }

    void lineQuirks() {
        StationEnv env;
        QByteArray bytes = sampleConfig();
        QList<QByteArray> l = lines(bytes);
        l[3] = QByteArray(45, 'N') + "\r"; // a name longer than 40 characters
        l[4] = "A1\r";                     // letters in an address load as they stand
        l[19] = "true\r";
        l[20] = "TRUE \r";
        l[21] = "1\r";
        l[22] = "TRUE\r";
        bytes = l.join('\n') + "\nextra line 30\r\nextra line 31\r\n";
        env.writeConfig(bytes);
        Station s;
        QCOMPARE(s.form2.nameText(1), QString(40, u'N'));
        QCOMPARE(s.form1.panel(1).name(), QString(40, u'N'));
        QCOMPARE(s.form2.addressText(1), QStringLiteral("A1"));
        QVERIFY(!s.form2.logEnabled(1));
        QVERIFY(!s.form2.logEnabled(2));
        QVERIFY(!s.form2.logEnabled(3));
        QVERIFY(s.form2.logEnabled(4));
        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(lines(env.configBytes()).size(), 29); // the extra lines are dropped
    }

    void lfOnlyFile() {
        StationEnv env;
        QByteArray bytes = sampleConfig();
        bytes.replace("\r\n", "\n");
        env.writeConfig(bytes);
        Station s;
        QCOMPARE(s.form2.nameText(4), QStringLiteral("ESTAÇÃO 4"));
        QCOMPARE(s.form1.cyclePause(), 4385);
        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(env.configBytes(), sampleConfig());
    }

    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray random(1024 * 1024, '\0');
        quint32 state = 12345;
        for (char& c : random) { // a fixed pseudo-random megabyte
            state = state * 1664525u + 1013904223u;
            c = static_cast<char>(state >> 24);
        }
        QTest::newRow("1 MB of random bytes") << random;
        QByteArray withNul = sampleConfig();
        withNul.replace("ESTA", QByteArray("ES\0A", 5));
        QTest::newRow("NUL bytes in names") << withNul;
        QTest::newRow("lines of 10,000 characters") << (QByteArray(10000, 'x') + "\n").repeated(40);
    }
    void hostileFiles() {
        QFETCH(QByteArray, bytes);
        StationEnv env;
        env.writeConfig(bytes);
        BoxWatcher watcher;
        Station s;
        QVERIFY(watcher.boxes().size() <= 1);
        if (!watcher.boxes().empty())
            QVERIFY(
                watcher.boxes()[0].text.endsWith(QStringLiteral("' is not a valid integer value")));
        for (int n = 1; n <= 8; ++n) {
            QVERIFY(s.form2.nameText(n).size() <= 40);
            QVERIFY(s.form1.panel(n).name().size() <= 40);
        }
        // Saving what was loaded writes 29 lines and loading that again changes nothing.
        s.form2.readIntervalEdit()->setText(QStringLiteral("5"));
        s.form2.comboBoxRede()->setEditText(QStringLiteral("8"));
        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(lines(env.configBytes()).size(), 29);
    }

    // A FIFO, a device or a file past 1 MiB as ConfigALL.txt: one message naming it and the
    // reason, at once, and the windows come up as with no file; a FIFO is not waited for when
    // saving either.
    void specialFileIsRefusedAtOnce_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "não é um arquivo comum";
        QTest::newRow("device") << "/dev/null"
                                << "não é um arquivo comum";
        QTest::newRow("past 1 MiB") << "large"
                                    << "é grande demais (mais de 1 MiB)";
    }
    void specialFileIsRefusedAtOnce() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        StationEnv env(false);
        std::optional<FifoGuard> fifo;
        if (kind == u"fifo") {
            // A reader left waiting gets a good file after 3 s.
            fifo.emplace(env.configPath(), sampleConfig());
            QVERIFY(fifo->made());
        } else if (kind == u"large") {
            QByteArray bytes = sampleConfig();
            env.writeConfig(bytes + QByteArray(config::kMostConfigBytes + 1 - bytes.size(), 'x'));
        } else {
            QVERIFY(QFile::link(kind, env.configPath()));
        }
        BoxWatcher watcher;
        QElapsedTimer building;
        building.start();
        Station s;
        QVERIFY2(building.elapsed() < 2000, qPrintable(QString::number(building.elapsed())));
        QVERIFY(!fifo || !fifo->readerWaited());
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text,
                 QStringLiteral("ConfigALL.txt não pôde ser lido: %1.").arg(reason));
        QCOMPARE(s.form2.nameText(1), QString());
        for (int n = 1; n <= 8; ++n)
            QVERIFY(s.form1.stationPanelShown(n));
        if (kind != u"fifo")
            return;
        s.form2.readIntervalEdit()->setText(QStringLiteral("5"));
        s.form2.comboBoxRede()->setEditText(QStringLiteral("8"));
        QElapsedTimer saving;
        saving.start();
        QString failure;
        try {
            s.form2.BotaoSalvaConfigClick();
        } catch (const toolkit::Failure& saved) {
            failure = saved.text();
        }
        QVERIFY(saving.elapsed() < 2000);
        QCOMPARE(failure, QStringLiteral("I/O error %1").arg(ENXIO));
    }

    void missingFileLoadsNothing() {
        StationEnv env(false);
        BoxWatcher watcher;
        Station s;
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("File not found"));
        QCOMPARE(s.form2.comboBoxRede()->currentText(), QStringLiteral("ComboBoxRede"));
        QCOMPARE(s.form2.baudText(), QStringLiteral("ComboBoxVelocidade"));
        QCOMPARE(s.form2.readIntervalText(), QStringLiteral("5"));
        QCOMPARE(s.form1.cyclePause(), 0);
        for (int n = 1; n <= 8; ++n) {
            QVERIFY(s.form1.stationPanelShown(n));
            QCOMPARE(s.form1.panel(n).name(), QStringLiteral("ANEMÔMETRO %1").arg(n));
        }
        QCOMPARE(s.form1.statusText(2), QString());
    }

    void shortFileFailsOnTheEmptyPause() {
        StationEnv env;
        env.writeConfig("COM9\n9600\n2\nPRIMEIRA\n1\n");
        BoxWatcher watcher;
        Station s;
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'' is not a valid integer value"));
        // What was read stays loaded; the station count and the status bar are not applied.
        QCOMPARE(s.form2.nameText(1), QStringLiteral("PRIMEIRA"));
        QCOMPARE(s.form1.panel(1).name(), QStringLiteral("PRIMEIRA"));
        QCOMPARE(s.form2.nameText(2), QString());
        QCOMPARE(s.form2.readIntervalText(), QString());
        QVERIFY(!s.form2.logEnabled(1));
        QVERIFY(s.form1.stationPanelShown(8));
        QCOMPARE(s.form1.statusText(0), QString());
        QCOMPARE(s.form1.cyclePause(), 0);
    }

    void badStationCountFailsAfterLoading() {
        StationEnv env;
        env.writeConfig(sampleConfig("dois"));
        BoxWatcher watcher;
        Station s;
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'dois' is not a valid integer value"));
        QCOMPARE(s.form1.cyclePause(), 4385);
        for (int n = 1; n <= 8; ++n)
            QVERIFY(!s.form1.stationPanelShown(n));
        QCOMPARE(s.form1.statusText(2), QString());
    }

    // The settings below the windows follow the configuration window when each change takes
    // effect: an address, a log switch, the port and the rate as they are edited, the count as
    // it is chosen, the names and the cycle pause only on saving.
    void settingsFollowTheWindowWhenChangesTakeEffect() {
        StationEnv env;
        env.writeConfig(sampleConfig());
        Station s;
        const settings::StationSettings& model = s.form1.stationSettings();
        QCOMPARE(model.portName(), QStringLiteral("ttyS1"));
        QCOMPARE(model.baudText(), QStringLiteral("19200"));
        QCOMPARE(model.name(2), QStringLiteral("ESTAÇÃO 2"));
        QCOMPARE(model.addressText(2), QStringLiteral("12"));
        QVERIFY(model.logged(1) && !model.logged(2));
        QCOMPARE(model.cyclePauseMs(), 4385);
        QVERIFY(model.polled(3) && !model.polled(4));

        s.form2.addressEdit(2)->setText(QStringLiteral("99"));
        s.form2.logBox(2)->setChecked(true);
        s.form2.comboBoxPorta()->setEditText(QStringLiteral("ttyUSB7"));
        s.form2.comboBoxVelocidade()->setEditText(QStringLiteral("9600"));
        s.form2.nameEdit(2)->setText(QStringLiteral("CAIS"));
        s.form2.readIntervalEdit()->setText(QStringLiteral("2"));
        QCOMPARE(model.addressText(2), QStringLiteral("99"));
        QVERIFY(model.logged(2));
        QCOMPARE(model.portName(), QStringLiteral("ttyUSB7"));
        QCOMPARE(model.baudText(), QStringLiteral("9600"));
        QCOMPARE(model.name(2), QStringLiteral("ESTAÇÃO 2")); // names wait for the save
        QCOMPARE(s.form1.panel(2).name(), QStringLiteral("ESTAÇÃO 2"));
        QCOMPARE(model.cyclePauseMs(), 4385);

        s.form2.comboBoxRede()->setEditText(QStringLiteral("5"));
        s.form2.ComboBoxRedeChange();
        QVERIFY(model.polled(5) && !model.polled(6));
        QVERIFY(s.form1.stationPanelShown(5));

        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(model.name(2), QStringLiteral("CAIS"));
        QCOMPARE(s.form1.panel(2).name(), QStringLiteral("CAIS"));
        QCOMPARE(model.cyclePauseMs(), 975); // 2 s less 5 stations × 205 ms
        QCOMPARE(s.form1.statusText(0), QStringLiteral("ttyUSB7"));
        QCOMPARE(s.form1.statusText(2), QStringLiteral("Salvo"));
    }

    void stationCount() {
        StationEnv env;
        Station s;
        QComboBox* rede = s.form2.comboBoxRede();
        const auto choose = [&](const QString& text) {
            rede->lineEdit()->selectAll();
            type(rede->lineEdit(), text);
        };
        // The rows of this window follow the main window's panels; -1 marks a mismatch.
        const auto shown = [&] {
            QList<int> list;
            for (int n = 1; n <= 8; ++n) {
                if (s.form2.stationRow(n)->isHidden() == s.form1.stationPanelShown(n))
                    return QList<int>{-1};
                if (s.form1.stationPanelShown(n))
                    list << n;
            }
            return list;
        };
        choose(QStringLiteral("3"));
        QCOMPARE(shown(), (QList<int>{1, 2, 3}));
        QCOMPARE(s.form1.frameSize(), QSize(552, 300));
        choose(QStringLiteral("6"));
        QCOMPARE(shown(), (QList<int>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(s.form1.frameSize(), QSize(737, 525));
        choose(QStringLiteral("2"));
        QCOMPARE(shown(), (QList<int>{1, 2}));
        QCOMPARE(s.form1.frameSize(), QSize(369, 300));
        choose(QStringLiteral("1"));
        QCOMPARE(s.form1.frameSize(), QSize(184, 300));
        choose(QStringLiteral("0"));
        QCOMPARE(shown(), QList<int>{});
        QCOMPARE(s.form1.frameSize(), QSize(184, 300));
        choose(QStringLiteral("12"));
        QCOMPARE(shown(), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
        BoxWatcher watcher;
        rede->lineEdit()->selectAll();
        QTest::keyClick(rede->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'' is not a valid integer value"));
        QCOMPARE(shown(), QList<int>{});
        QCOMPARE(s.form1.frameSize(), QSize(737, 525));
    }

    void nameKeyFilter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("discarded punctuation")
            << QString::fromLatin1("!\"#$%&()*,./:;<>?@[\\]{|}\xA8") << QString();
        QTest::newRow("accepted") << QString::fromLatin1("a Z9'+-=^_~`\xD4\xE7")
                                  << QString::fromLatin1("a Z9'+-=^_~`\xD4\xE7");
        QTest::newRow("mixed") << QStringLiteral("A:B/C") << QStringLiteral("ABC");
        QTest::newRow("20 typed characters at most") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")
                                                     << QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    }
    void nameKeyFilter() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        StationEnv env;
        Station s;
        config::StationEdit* edit = s.form2.nameEdit(3);
        edit->clear();
        type(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    void addressKeyFilter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("letters and signs") << QStringLiteral("a.-' \\Z~") << QString();
        QTest::newRow("acute and cedilla") << QString::fromLatin1("\xB4\xC7") << QString();
        QTest::newRow("other Latin-1 passes")
            << QString::fromLatin1("\xE9") << QString::fromLatin1("\xE9");
        QTest::newRow("digits, 3 at most") << QStringLiteral("1234") << QStringLiteral("123");
        QTest::newRow("digits among letters") << QStringLiteral("1x2") << QStringLiteral("12");
    }
    void addressKeyFilter() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        StationEnv env;
        Station s;
        config::StationEdit* edit = s.form2.addressEdit(5);
        edit->clear();
        type(edit, typed);
        QCOMPARE(edit->text(), kept);
        QTest::keyClick(edit, Qt::Key_Backspace); // control keys pass
        QCOMPARE(edit->text(), kept.left(kept.size() - 1));
    }

    void focusExitDefaults() {
        StationEnv env;
        Station s;
        struct Case {
            config::StationEdit* edit;
            QString before;
            QString after;
        };
        const std::vector<Case> cases{
            {s.form2.nameEdit(5), {}, QStringLiteral("ANEMÔMETRO 5")},
            {s.form2.nameEdit(2), QStringLiteral(" "), QStringLiteral("ANEMÔMETRO 2")},
            {s.form2.nameEdit(1), QStringLiteral("  "), QStringLiteral("  ")},
            {s.form2.nameEdit(1), QStringLiteral(" X "), QStringLiteral(" X ")},
            {s.form2.addressEdit(4), {}, QStringLiteral("0")},
            {s.form2.addressEdit(4), QStringLiteral(" "), QStringLiteral("0")},
            {s.form2.addressEdit(4), QStringLiteral("  "), QStringLiteral("  ")},
        };
        for (const Case& c : cases) {
            c.edit->setText(c.before);
            leave(c.edit);
            QCOMPARE(c.edit->text(), c.after);
        }
        // Leaving a name edit does not reach the main window; only saving does.
        QCOMPARE(s.form1.panel(5).name(), QStringLiteral("ANEMÔMETRO 5"));
    }

    // The exit step runs when the focus moves to another control of the window, and only then.
    void exitOnlyWhenTheFocusMovesWithinTheWindow_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("exits");
        QTest::newRow("Tab") << "tab" << true;
        QTest::newRow("Shift+Tab") << "backtab" << true;
        QTest::newRow("click on another control") << "click" << true;
        QTest::newRow("another application") << "deactivate" << false;
        QTest::newRow("window closed") << "close" << false;
    }
    void exitOnlyWhenTheFocusMovesWithinTheWindow() {
        QFETCH(QString, how);
        QFETCH(bool, exits);
        StationEnv env;
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        config::StationEdit* name = s.form2.nameEdit(3);
        config::StationEdit* address = s.form2.addressEdit(3);
        for (config::StationEdit* edit : {name, address}) {
            s.form2.nameEdit(1)->setFocus(); // the focus comes from elsewhere, not from an edit
            edit->clear();
            focusInto(edit);
            if (how == "tab")
                QTest::keyClick(edit, Qt::Key_Tab);
            else if (how == "backtab")
                QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
            else if (how == "click")
                QTest::mouseClick(s.form2.logBox(5), Qt::LeftButton);
            else if (how == "deactivate") {
                QWidget other;
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
            } else {
                s.form2.close();
            }
            QVERIFY(QApplication::focusWidget() != edit);
            const QString defaultText = edit == name ? QStringLiteral("ANEMÔMETRO 3") : "0";
            QCOMPARE(edit->text(), exits ? defaultText : QString());
            s.form2.show();
        }
    }

    void pastingFromTheContextMenuIsNotAnExit() {
        StationEnv env;
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        config::StationEdit* edit = s.form2.nameEdit(2);
        edit->clear();
        focusInto(edit);
        QGuiApplication::clipboard()->setText(QStringLiteral("NORTE"));
        bool pasted = false;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction* action : menu->actions()) {
                if (action->text().contains(QStringLiteral("Paste"))) {
                    action->trigger();
                    pasted = true;
                }
            }
            menu->close();
        });
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(edit, &menuEvent);
        QTRY_VERIFY_WITH_TIMEOUT(pasted, 2000);
        QCOMPARE(edit->text(), QStringLiteral("NORTE"));
    }

    // Dead keys compose their characters in the input method; the same rules hold for them.
    void composedTextIsFiltered_data() {
        QTest::addColumn<bool>("addressEdit");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("committed");
        QTest::addColumn<QString>("after");
        QTest::newRow("acute after a digit") << true << "1" << QString::fromLatin1("\xB4") << "1";
        QTest::newRow("acute and digit") << true << "1"
                                         << QString::fromLatin1("\xB4"
                                                                "1")
                                         << "11";
        QTest::newRow("address limit") << true << "12"
                                       << "345"
                                       << "123";
        QTest::newRow("diaeresis") << false << "A" << QString::fromLatin1("\xA8") << "A";
        QTest::newRow("composed letter")
            << false << "S" << QString::fromLatin1("\xC3O") << QString::fromLatin1("S\xC3O");
        QTest::newRow("name limit")
            << false << "ABCDEFGHIJKLMNOPQRS" << QString::fromLatin1("\xE9\xE9")
            << QString::fromLatin1("ABCDEFGHIJKLMNOPQRS\xE9");
    }
    void composedTextIsFiltered() {
        QFETCH(bool, addressEdit);
        QFETCH(QString, before);
        QFETCH(QString, committed);
        QFETCH(QString, after);
        StationEnv env;
        Station s;
        config::StationEdit* edit = addressEdit ? s.form2.addressEdit(1) : s.form2.nameEdit(1);
        edit->setText(before);
        commit(edit, committed);
        QCOMPARE(edit->text(), after);
    }

    void savePause_data() {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("pause");
        QTest::newRow("5 s, 2 stations") << "5"
                                         << "2" << 4590;
        QTest::newRow("1 s, 5 stations") << "1"
                                         << "5" << 200;
        QTest::newRow("0 s") << "0"
                             << "1" << 200;
        QTest::newRow("1 s, 8 stations") << "1"
                                         << "8" << 200;
    }
    void savePause() {
        QFETCH(QString, interval);
        QFETCH(QString, count);
        QFETCH(int, pause);
        StationEnv env;
        Station s;
        s.form2.readIntervalEdit()->setText(interval);
        s.form2.comboBoxRede()->setEditText(count);
        s.form2.nameEdit(2)->setText(QStringLiteral("NORTE"));
        s.form1.openPortTimer().setEnabled(false);
        s.form2.show();
        QTest::mouseClick(s.form2.saveButton(), Qt::LeftButton);
        QVERIFY(!s.form2.isVisible());
        QVERIFY(s.form1.openPortTimer().enabled());
        QCOMPARE(s.form1.cyclePause(), pause);
        QCOMPARE(s.form1.controlTimer().interval(), 500);
        QVERIFY(!s.form1.controlTimer().enabled());
        QCOMPARE(s.form1.statusText(2), QStringLiteral("Salvo"));
        QCOMPARE(s.form1.panel(2).name(), QStringLiteral("NORTE"));
        const QList<QByteArray> saved = lines(env.configBytes());
        QCOMPARE(saved[28], QByteArray::number(pause) + "\r");
        QCOMPARE(saved[5], QByteArray("NORTE\r"));
    }

    void saveWithBadIntervalChangesOnlyTheWindow() {
        StationEnv env;
        Station s;
        const QByteArray before = env.configBytes();
        s.form2.readIntervalEdit()->setText(QStringLiteral("cinco"));
        s.form2.nameEdit(1)->setText(QStringLiteral("SUL"));
        s.form1.openPortTimer().setEnabled(false);
        s.form2.show();
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.saveButton(), Qt::LeftButton);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'cinco' is not a valid integer value"));
        QCOMPARE(s.form1.statusText(2), QStringLiteral("Salvo"));
        QCOMPARE(s.form1.panel(1).name(), QStringLiteral("SUL"));
        QCOMPARE(s.form1.cyclePause(), 5000 - 8 * 205);
        QCOMPARE(s.form1.controlTimer().interval(), 2000);
        QCOMPARE(env.configBytes(), before);
        QVERIFY(!s.form2.isVisible());
        QVERIFY(s.form1.openPortTimer().enabled());
    }

    void saveFileFailures_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing"
                                 << "File not found";
        QTest::newRow("read-only") << "readonly"
                                   << "File access denied";
        QTest::newRow("a folder in its place") << "folder"
                                               << "I/O error 21";
    }
    void saveFileFailures() {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        StationEnv env;
        Station s;
        const QByteArray before = env.configBytes();
        if (setup == "missing") {
            QFile::remove(env.configPath());
        } else if (setup == "readonly") {
            QFile::setPermissions(env.configPath(), QFile::ReadOwner | QFile::ReadGroup);
        } else {
            QFile::remove(env.configPath());
            QDir().mkdir(env.configPath());
        }
        s.form2.readIntervalEdit()->setText(QStringLiteral("5"));
        s.form2.comboBoxRede()->setEditText(QStringLiteral("2"));
        s.form1.openPortTimer().setEnabled(false);
        s.form2.show();
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.saveButton(), Qt::LeftButton);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, message);
        // Everything before the file step is done; the file is neither created nor changed.
        QCOMPARE(s.form1.cyclePause(), 4590);
        QCOMPARE(s.form1.controlTimer().interval(), 500);
        QVERIFY(!s.form2.isVisible());
        QVERIFY(s.form1.openPortTimer().enabled());
        if (setup == "missing")
            QVERIFY(!QFile::exists(env.configPath()));
        if (setup == "readonly")
            QCOMPARE(env.configBytes(), before);
        QCOMPARE(QDir(env.dir()).entryList(QDir::Hidden | QDir::Files).filter("ConfigALL.").size(),
                 setup == "readonly" ? 1 : 0);
    }

    void saveThroughALinkKeepsTheLink() {
        StationEnv env;
        const QString real = env.dir() + QStringLiteral("/real/ConfigALL.txt");
        QDir().mkpath(QFileInfo(real).path());
        QVERIFY(QFile::rename(env.configPath(), real));
        QVERIFY(QFile::link(QStringLiteral("real/ConfigALL.txt"), env.configPath()));
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 0604) == 0);
        Station s;
        s.form2.nameEdit(1)->setText(QStringLiteral("NORTE"));
        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(QFileInfo(env.configPath()).symLinkTarget(), QFileInfo(real).absoluteFilePath());
        QCOMPARE(lines(env.configBytes())[3], QByteArray("NORTE\r"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0604));
        QCOMPARE(QDir(env.dir() + QStringLiteral("/real")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"ConfigALL.txt"});
    }

    void saveKeepsModeAndOwner() {
        if (::geteuid() != 0)
            QSKIP("giving a file to another owner needs root");
        StationEnv env;
        QVERIFY(::chown(QFile::encodeName(env.configPath()).constData(), 4321, 4321) == 0);
        QVERIFY(::chmod(QFile::encodeName(env.configPath()).constData(), 0640) == 0);
        Station s;
        s.form2.BotaoSalvaConfigClick();
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(env.configPath()).constData(), &info), 0);
        QCOMPARE(info.st_uid, uid_t(4321));
        QCOMPARE(info.st_gid, gid_t(4321));
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
    }

    // A station folder that takes no new files, with a file the user may write: the file is
    // rewritten in place. The save runs in a child process of an ordinary user, because the
    // administrator may write into any folder.
    void saveInAFolderThatTakesNoNewFiles() {
        StationEnv env;
        const QString folder = env.dir() + QStringLiteral("/fechada");
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/ConfigALL.txt");
        QVERIFY(QFile::copy(env.configPath(), path));
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(::chmod(native.constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        QVERIFY(::chmod(QFile::encodeName(env.dir()).constData(), 0755) == 0);
        config::ConfigText text = config::readConfigFile(path);
        config::at(text, config::line::name(2)) = QStringLiteral("SUL");
        const pid_t child = ::fork();
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(2);
            try {
                config::writeConfigFile(path, text);
            } catch (const toolkit::Failure&) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), config::encodeConfig(text));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"ConfigALL.txt"});
    }

    // The station folder on a small real file system, full and then read-only: the old file
    // stays whole and one box tells why.
    void saveOnAFullOrReadOnlyDisk() {
        StationEnv env;
        SmallDisk disk(env.dir() + QStringLiteral("/disk"), 64);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        const QString station = env.dir() + QStringLiteral("/disk");
        QVERIFY(QFile::copy(env.configPath(), station + QStringLiteral("/ConfigALL.txt")));
        QVERIFY(QFile::link(env.dir() + QStringLiteral("/IMAGES"),
                            station + QStringLiteral("/IMAGES")));
        QVERIFY(QDir::setCurrent(station));
        QFile config(QStringLiteral("ConfigALL.txt"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        const QByteArray before = config.readAll();
        config.close();
        Station s;
        s.form1.openPortTimer().setEnabled(false);
        disk.fill();
        for (const bool readOnly : {false, true}) {
            if (readOnly)
                QVERIFY(disk.setReadOnly(true));
            s.form2.nameEdit(1)->setText(QStringLiteral("NOME MAIS LONGO QUE O ANTIGO"));
            s.form2.show();
            BoxWatcher watcher;
            QTest::mouseClick(s.form2.saveButton(), Qt::LeftButton);
            QCOMPARE(watcher.boxes().size(), std::size_t(1));
            QCOMPARE(watcher.boxes()[0].text, readOnly
                                                  ? QStringLiteral("File access denied")
                                                  : QStringLiteral("I/O error %1").arg(ENOSPC));
            QVERIFY(config.open(QIODevice::ReadOnly));
            QCOMPARE(config.readAll(), before);
            config.close();
            QCOMPARE(QDir().entryList({".*"}, QDir::Files | QDir::Hidden),
                     QStringList{".filler"}); // no temporary file left behind
        }
        QVERIFY(QDir::setCurrent(env.dir()));
    }

    void closingRestartsThePortTimerWithoutSaving() {
        StationEnv env;
        Station s;
        const QByteArray before = env.configBytes();
        s.form1.openPortTimer().setEnabled(false);
        s.form2.nameEdit(1)->setText(QStringLiteral("OUTRO"));
        s.form2.addressEdit(1)->setText(QStringLiteral("77"));
        s.form2.show();
        s.form2.close();
        QVERIFY(s.form1.openPortTimer().enabled());
        QCOMPARE(s.form1.panel(1).name(), QStringLiteral("ANEMÔMETRO 1"));
        QCOMPARE(s.form2.addressText(1), QStringLiteral("77"));
        QCOMPARE(env.configBytes(), before);
    }

    void configurationMenuStopsTimersAndShowsFirstTab() {
        StationEnv env;
        Station s;
        s.form1.controlTimer().setEnabled(true);
        s.form2.pageControl()->setCurrentIndex(2);
        bool checkedWhileOpen = false;
        QTimer::singleShot(50, this, [&] {
            QVERIFY(s.form2.isVisible());
            QCOMPARE(s.form2.pageControl()->currentIndex(), 0);
            QVERIFY(!s.form1.openPortTimer().enabled());
            QVERIFY(!s.form1.controlTimer().enabled());
            QVERIFY(!s.form1.stationBus().portOpen());
            checkedWhileOpen = true;
            s.form2.close();
        });
        s.form1.findChild<QAction*>(QStringLiteral("N1"))->trigger();
        QVERIFY(checkedWhileOpen);
        QVERIFY(s.form1.openPortTimer().enabled());
        QVERIFY(!s.form1.controlTimer().enabled());
    }

    void windowLayout() {
        StationEnv env;
        Station s;
        QCOMPARE(s.form2.windowTitle(), QStringLiteral("K&V - ANEMÔMETROS"));
        QCOMPARE(s.form2.size(), QSize(619, 435));
        QCOMPARE(s.form2.pos(), QPoint(678, 263));
        QTabWidget* pages = s.form2.pageControl();
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->tabText(0), QStringLiteral("CONEXÃO"));
        QCOMPARE(pages->tabText(1), QStringLiteral("ANEMÔMETROS"));
        QCOMPARE(pages->tabText(2), QStringLiteral("LOGS"));
        QCOMPARE(s.form2.comboBoxVelocidade()->count(), 2);
        QCOMPARE(s.form2.comboBoxRede()->count(), 8);
        QCOMPARE(s.form2.saveButton()->text(), QStringLiteral("SALVAR CONFIGURAÇÕES"));
        for (int n = 1; n <= 8; ++n) {
            QCOMPARE(s.form2.nameEdit(n)->objectName(), QStringLiteral("Edit%1").arg(2 * n - 1));
            QCOMPARE(s.form2.addressEdit(n)->objectName(), QStringLiteral("Edit%1").arg(2 * n));
            QCOMPARE(s.form2.logBox(n)->text(), QStringLiteral("SALVAR LOG"));
        }
    }

    void portList() {
        QTemporaryDir sys;
        const QStringList withDriver{"ttyS0", "ttyUSB0", "ttyACM3"};
        for (const QString& name : withDriver + QStringList{"tty1", "console"}) {
            QDir(sys.path()).mkpath(name + "/device");
            if (withDriver.contains(name))
                QFile::link(sys.path(), sys.filePath(name + "/device/driver"));
        }
        QStringList directoryOrder;
        DIR* dir = opendir(QFile::encodeName(sys.path()).constData());
        while (const dirent* e = readdir(dir))
            if (withDriver.contains(QString::fromLatin1(e->d_name)))
                directoryOrder << QString::fromLatin1(e->d_name);
        closedir(dir);

        QComboBox box;
        box.setEditable(true);
        box.setEditText(QStringLiteral("ComboBoxPorta"));
        FillPortList(&box, sys.path(), sys.filePath(QStringLiteral("no dev")));
        QStringList listed;
        for (int i = 0; i < box.count(); ++i)
            listed << box.itemText(i);
        QCOMPARE(listed, directoryOrder);
        QCOMPARE(box.currentText(), QString());
        QCOMPARE(box.currentIndex(), -1);

        box.setEditText(QStringLiteral("COM7"));
        FillPortList(&box, sys.filePath(QStringLiteral("absent")));
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.currentText(), QStringLiteral("COM7"));
    }

    // The stable names come after today's list, which keeps its order and texts; the one
    // chosen is saved as the port text, whole path and all.
    void stableNamesFollowTheDeviceNames() {
        SerialTree tree;
        tree.addPort(QStringLiteral("ttyS0"));
        tree.addPort(QStringLiteral("ttyUSB0"), QStringLiteral("1-1"), QStringLiteral("0403"),
                     QStringLiteral("6001"), QStringLiteral("A50285BI"));
        tree.addPort(QStringLiteral("ttyUSB1"), QStringLiteral("1-2"), QStringLiteral("1a86"),
                     QStringLiteral("7523"));
        tree.addLink(QStringLiteral("by-id"),
                     QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
                     QStringLiteral("ttyUSB0"));
        tree.addLink(QStringLiteral("by-id"), QStringLiteral("usb-1a86_USB_Serial-if00-port0"),
                     QStringLiteral("ttyUSB1"));
        tree.addLink(QStringLiteral("by-path"),
                     QStringLiteral("pci-0000:00:14.0-usb-0:2:1.0-port0"),
                     QStringLiteral("ttyUSB1"));
        QStringList todays;
        DIR* dir = opendir(QFile::encodeName(tree.ttyClassDir()).constData());
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] != '.')
                todays << QString::fromLatin1(e->d_name);
        closedir(dir);
        const QString dev = QDir(tree.devDir()).canonicalPath();
        const QString byId = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        const QString byPath = dev + "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";

        StationEnv env;
        env.writeConfig(sampleConfig());
        Station s;
        QComboBox* box = s.form2.comboBoxPorta();
        FillPortList(box, tree.ttyClassDir(), tree.devDir());
        QStringList listed;
        for (int i = 0; i < box->count(); ++i)
            listed << box->itemText(i);
        // Each adapter's stable name in the order of its device name.
        QStringList stable;
        for (const QString& name : todays)
            if (name != QStringLiteral("ttyS0"))
                stable << (name == QStringLiteral("ttyUSB0") ? byId : byPath);
        QCOMPARE(listed, todays + stable);
        QCOMPARE(box->currentText(), QString());

        box->setCurrentIndex(box->findText(byPath));
        QCOMPARE(s.form1.stationSettings().portName(), byPath);
        s.form2.BotaoSalvaConfigClick();
        QCOMPARE(lines(env.configBytes()).first(), QFile::encodeName(byPath) + "\r");
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
