// The station against anemosim with its Documents folder on a small real file system that
// fills up, grows and turns read-only while eight logged stations are polled.

#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "readings/station_panel.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "small_disk.h"
#include "station_env.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>

namespace {

// Every log file, by name, with its bytes.
QMap<QString, QByteArray> logFiles(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(it.fileName(), file.readAll());
    }
    return files;
}

int boxesWith(const BoxWatcher& watcher, const QString& text) {
    return int(std::count_if(watcher.boxes().begin(), watcher.boxes().end(),
                             [&](const SeenBox& box) { return box.text == text; }));
}

} // namespace

class TestStorage : public QObject {
    Q_OBJECT

private slots:
    void fullAndReadOnlyDocumentsFolder() {
        StationEnv env;
        SmallDisk disk(env.documents(), 12);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        const QString link = env.dir() + QStringLiteral("/ttySIM");
        // Every reading with RF on, so that every station logs at every poll.
        const QString scenario = env.dir() + QStringLiteral("/rf.ini");
        QFile scenarioFile(scenario);
        QVERIFY(scenarioFile.open(QIODevice::WriteOnly));
        scenarioFile.write("[all]\nrf=1\n");
        scenarioFile.close();
        QProcess sim;
        sim.start(QStringLiteral(ANEMOSIM_PATH),
                  {"--link", link, "--stations", "8", "--scenario", scenario});
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 5000);
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = link.toUtf8() + '\r';
        config[2] = "8\r";
        for (int line = 19; line < 27; ++line)
            config[line] = "TRUE\r";
        config[27] = "1\r";
        config[28] = "200\r";
        env.writeConfig(config.join('\n'));

        BoxWatcher watcher;
        TForm1 form1;
        TForm2 form2(form1.stationSettings(), form1.stationBus(), &form1);
        form1.controlTimer().setInterval(200);
        const QString folder = env.documents() + QStringLiteral("/log_zareraziru");
        const QString full = QStringLiteral("I/O error %1").arg(ENOSPC);

        // 12 KB hold the first files; the others are made, but stay empty.
        QTRY_VERIFY_WITH_TIMEOUT(boxesWith(watcher, full) > 0, 8000);
        QTest::qWait(4000); // two more cycles at least: the same failures show no new box
        const int fullBoxes = boxesWith(watcher, full);
        QVERIFY2(fullBoxes <= 8, qPrintable(QString::number(fullBoxes)));
        QTest::qWait(4000);
        QCOMPARE(boxesWith(watcher, full), fullBoxes);
        QCOMPARE(watcher.boxes().size(), std::size_t(fullBoxes));

        // Space comes back: every station logs again within one cycle, header first.
        QVERIFY(disk.resize(2048));
        QTRY_COMPARE_WITH_TIMEOUT(logFiles(folder).size(), 8, 2500);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::ranges::all_of(logFiles(folder), [](const QByteArray& b) { return !b.isEmpty(); }),
            2500);
        checkFiles(folder);

        // Read-only: one box per station at most, then quiet; writable again, logging resumes.
        QVERIFY(disk.setReadOnly(true));
        const QString denied = QStringLiteral("File access denied");
        QTRY_VERIFY2_WITH_TIMEOUT(boxesWith(watcher, denied) > 0,
                                  qPrintable(watcher.boxes().back().text), 3000);
        QTest::qWait(4000);
        const int deniedBoxes = boxesWith(watcher, denied);
        QVERIFY2(deniedBoxes <= 8, qPrintable(QString::number(deniedBoxes)));
        QTest::qWait(3000);
        QCOMPARE(boxesWith(watcher, denied), deniedBoxes);
        const QMap<QString, QByteArray> frozen = logFiles(folder);
        QVERIFY(disk.setReadOnly(false));
        QTRY_VERIFY_WITH_TIMEOUT(logFiles(folder).first().size() > frozen.first().size(), 2500);
        QTRY_VERIFY_WITH_TIMEOUT(logFiles(folder).last().size() > frozen.last().size(), 2500);
        checkFiles(folder);
        QCOMPARE(watcher.boxes().size(), std::size_t(fullBoxes + deniedBoxes));
        sim.terminate();
        sim.waitForFinished();
    }

private:
    // Each file starts with its header and holds whole lines only; each index lists it once.
    void checkFiles(const QString& folder) {
        const QRegularExpression line(QStringLiteral(
            R"(^\d\d:\d\d:\d\d;[0-9,]+;[A-Z -]{1,3};[0-9,]+;[0-9,]+;(ON|ON |OFF);\d,\d\d;$)"));
        const QMap<QString, QByteArray> files = logFiles(folder);
        for (auto it = files.begin(); it != files.end(); ++it) {
            QVERIFY2(it.value().endsWith("\r\n"), qPrintable(it.key()));
            const QList<QByteArray> lines = it.value().chopped(2).split('\n');
            QVERIFY2(lines[0].startsWith("HORA;VELOCIDADE("), qPrintable(it.key()));
            for (qsizetype i = 1; i < lines.size(); ++i)
                QVERIFY2(line.match(QString::fromLatin1(lines[i]).remove(u'\r')).hasMatch(),
                         lines[i].constData());
        }
        for (int station = 1; station <= 8; ++station) {
            QFile index(QStringLiteral("StatusLOG%1.txt").arg(station));
            QVERIFY(index.open(QIODevice::ReadOnly));
            const QList<QByteArray> paths = index.readAll().trimmed().split('\n');
            QCOMPARE(paths.size(), 1);
            QVERIFY(paths[0].trimmed().endsWith(" ANEM\xD4METRO " + QByteArray::number(station) +
                                                ".txt"));
        }
    }
};

QTEST_MAIN(TestStorage)
#include "tst_storage.moc"
