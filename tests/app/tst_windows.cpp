// The program's windows on a small screen (1024 × 768, given to the offscreen platform by
// screen-1024x768.json), and Qt's own texts in Portuguese beside the program's.

#include "alarms/alarm_book.h"
#include "alarms/alarm_window.h"
#include "app/qt_translations.h"
#include "app/station_windows.h"
#include "config/station_edit.h"
#include "health/diagnostics_window.h"
#include "history/history_window.h"
#include "toolkit/messages.h"
#include "toolkit/save_dialog.h"

#include "boxes.h"
#include "pty_pair.h"
#include "station_env.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Points the configuration at a pseudo-terminal, so the program polls quietly.
void configureFor(const StationEnv& env, const Pty& pty) {
    QList<QByteArray> config = env.configBytes().split('\n');
    config[0] = QByteArray::fromStdString(pty.path()) + '\r';
    env.writeConfig(config.join('\n'));
}

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// A widget, the whole of it, where the user can see it.
bool onScreen(const QWidget* widget) {
    return screenArea().contains(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()));
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(screenArea().size(), QSize(1024, 768)); }

    // Diagnóstico (1180 px wide as laid out) and Histórico open within the screen with their
    // buttons; the configuration window leaves its place just enough to show whole.
    void everyWindowFitsTheScreen() {
        StationEnv env;
        Pty pty;
        configureFor(env, pty);
        StationWindows windows;
        TForm1& main = *windows.form1;
        for (const char* name : {"Diagnostico1", "Historico1", "Alarmes1"})
            main.findChild<QAction*>(QString::fromLatin1(name))->trigger();
        for (QWidget* window : {static_cast<QWidget*>(windows.diagnostics.get()),
                                static_cast<QWidget*>(windows.history.get()),
                                static_cast<QWidget*>(windows.alarmWindow.get())}) {
            QVERIFY(window->isVisible());
            QVERIFY2(screenArea().contains(window->frameGeometry()),
                     qPrintable(window->objectName()));
            for (const QPushButton* button : window->findChildren<QPushButton*>()) {
                if (button->isVisible())
                    QVERIFY2(onScreen(button), qPrintable(button->text()));
            }
        }
        // Every column of the stations, up to "Leituras", without scrolling sideways.
        const QTableView* stations = windows.diagnostics->stationTable();
        QTRY_VERIFY_WITH_TIMEOUT(stations->model()->rowCount() > 0, 3000);
        const int last = stations->model()->columnCount() - 1;
        QCOMPARE(stations->model()->headerData(last, Qt::Horizontal).toString(),
                 QStringLiteral("Leituras"));
        QVERIFY(stations->columnViewportPosition(last) + stations->columnWidth(last) <=
                stations->viewport()->width());

        bool checked = false;
        QTimer::singleShot(300, [&] {
            TForm2& config = *windows.form2;
            QVERIFY(config.isVisible());
            QVERIFY(screenArea().contains(config.frameGeometry()));
            // Moved only as far as needed: its top stays where it was laid out (the frame's or
            // the inside's, as the platform places windows).
            QVERIFY(config.frameGeometry().top() == 263 || config.geometry().top() == 263);
            QCOMPARE(config.frameGeometry().right(), screenArea().right());
            for (QPushButton* button : config.findChildren<QPushButton*>()) {
                const QWidget* page = button->parentWidget();
                if (button->isVisibleTo(&config) && page && page->isVisible())
                    QVERIFY2(onScreen(button), qPrintable(button->text()));
            }
            checked = true;
            config.close();
        });
        main.N1Click();
        QVERIFY(checked);
    }

    // A new alarm opens the Alarmes window beside the main one, within the screen, and leaves
    // the keyboard with the window the operator is typing in.
    void newAlarmLeavesTheKeyboardWhereItIs() {
        StationEnv env;
        Pty pty;
        configureFor(env, pty);
        StationWindows windows;
        windows.form1->findChild<QAction*>(QStringLiteral("Diagnostico1"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(),
                                  static_cast<QWidget*>(windows.diagnostics.get()), 3000);
        QVERIFY(!windows.alarmWindow->isVisible());
        windows.alarmBook->setActive(3, alarms::Kind::Preset2, true,
                                     QDateTime::currentMSecsSinceEpoch(), 25.1,
                                     QStringLiteral("m/s"));
        QVERIFY(windows.alarmWindow->isVisible());
        QVERIFY(screenArea().contains(windows.alarmWindow->frameGeometry()));
        QTest::qWait(100);
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(windows.diagnostics.get()));
    }

    // ATIVO alarms read back at a restart are as new to whoever sits down: the Alarmes window
    // opens by itself, as for a new alarm; an acknowledged one alone leaves it closed.
    void restoredAlarmOpensTheWindow_data() {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<bool>("opens");
        QTest::newRow("ATIVO") << QByteArray("ATIVO") << true;
        QTest::newRow("RECONHECIDO") << QByteArray("RECONHECIDO") << false;
    }
    void restoredAlarmOpensTheWindow() {
        QFETCH(QByteArray, state);
        QFETCH(bool, opens);
        StationEnv env;
        Pty pty;
        configureFor(env, pty);
        QFile list(env.dir() + QStringLiteral("/alarmes.json"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(R"({"version": 1, "alarms": [{"station": 1, "alarm": "PRESET 2", "state": ")" +
                   state + R"(", "active": true, "since": "2026-12-08T11:40:21.000-03:00",
                   "peak": 61.5, "unit": "km/h", "acknowledged_by": )" +
                   (opens ? QByteArray("null") : QByteArray(R"("ana")")) +
                   R"(, "acknowledged_at": )" +
                   (opens ? QByteArray("null") : QByteArray(R"("2026-12-08T11:41:00.000-03:00")")) +
                   R"(, "shelved_until": null, "repetitions": 0}]})");
        list.close();
        StationWindows windows;
        QCOMPARE(windows.alarmBook->entries().size(), 1);
        QTest::qWait(50);
        QCOMPARE(windows.alarmWindow->isVisible(), opens);
    }

    // Qt's file dialog and edit menu speak Portuguese; a message box keeps its exact text and
    // its "OK".
    // The machine's locale is C.UTF-8 here, as on many station PCs: the kind and the date of a
    // file in the dialog's list are Portuguese all the same.
    void qtTextsInPortuguese() {
        QVERIFY(app::installQtTranslations(*qApp));
        const QString home = qEnvironmentVariable("HOME");
        QTemporaryDir folder;
        qputenv("HOME", folder.path().toUtf8());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Relatórios")));
        QStringList dialogTexts;
        QStringList folderRow;
        int polls = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* files = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr;
            if (!files)
                return;
            // The row as the dialog's list shows it.
            QModelIndex row = files->index(folder.filePath("Relatórios"));
            if (const QAbstractProxyModel* shown = dialog->proxyModel())
                row = shown->mapFromSource(row);
            if ((!row.isValid() || row.siblingAtColumn(3).data().toString().isEmpty()) &&
                ++polls < 100)
                return;
            poll.stop();
            for (int column = 0; column < 4; ++column)
                folderRow << row.siblingAtColumn(column).data().toString();
            for (const QLabel* label : dialog->findChildren<QLabel*>())
                dialogTexts << label->text();
            for (const QPushButton* button : dialog->findChildren<QPushButton*>())
                dialogTexts << button->text();
            dialog->reject();
        });
        poll.start(50);
        toolkit::askSavePath(nullptr, QStringLiteral("Exportar"), QStringLiteral("a.csv"),
                             QStringLiteral("Arquivo CSV (*.csv)"), QStringLiteral("csv"));
        qputenv("HOME", home.toUtf8());
        for (const char* wanted : {"Procurar em:", "&Nome do arquivo:", "&Salvar", "Cancelar"})
            QVERIFY2(dialogTexts.contains(QString::fromUtf8(wanted)), wanted);
        QCOMPARE(folderRow.value(2), QStringLiteral("Pasta"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d$"))
                     .match(folderRow.value(3))
                     .hasMatch(),
                 qPrintable(folderRow.join(u'|')));

        config::StationEdit edit(
            20, [](QChar) { return false; }, nullptr);
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList items;
        for (const QAction* action : menu->actions())
            items << action->text().section(u'\t', 0, 0);
        QVERIFY2(items.contains(QStringLiteral("C&olar")), qPrintable(items.join(u'|')));

        BoxWatcher watcher([](QMessageBox* box) {
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons().constFirst()->text(), QStringLiteral("OK"));
        });
        toolkit::showMessage(QStringLiteral("Salvo"));
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("Salvo"));
        QCOMPARE(watcher.boxes()[0].title, QStringLiteral("K&V  ANEMÔMETROS"));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
