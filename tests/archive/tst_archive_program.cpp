// The real station program on anemosim writing to a real VictoriaMetrics: every reply served
// is stored once, with its tags, through an outage of the database and through a kill -9 with
// a full queue; a database that takes the connection and never answers does not hold up the
// polls.

#include "http_sink.h"
#include "program_station.h"
#include "victoria_metrics.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QTest>

#include <csignal>

namespace {

// The replies anemosim served, station by station (the stations' addresses are their numbers):
// the speed in tenths and when the request came.
struct Served {
    QList<int> speeds;
    QList<qint64> wallMs;
};

QMap<int, Served> servedOf(const ProgramStation& station) {
    QFile file(station.path("record.csv"));
    file.open(QIODevice::ReadOnly);
    QMap<int, Served> served;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(';');
        if (f.size() < 10 || f[3] != "good")
            continue;
        Served& one = served[f[2].toInt()];
        one.speeds << f[4].toInt();
        one.wallMs << QDateTime::fromString(QString::fromLatin1(f[1]), Qt::ISODateWithMs)
                          .toMSecsSinceEpoch();
    }
    return served;
}

// Every stored sample of one series, by time.
QList<std::pair<qint64, double>> stored(const VictoriaMetrics& vm, const QString& match) {
    QList<std::pair<qint64, double>> samples;
    for (const QJsonObject& series : vm.exported(match)) {
        const QJsonArray times = series.value("timestamps").toArray();
        const QJsonArray values = series.value("values").toArray();
        for (qsizetype i = 0; i < times.size(); ++i)
            samples.append({qint64(times[i].toDouble()), values[i].toDouble()});
    }
    std::sort(samples.begin(), samples.end());
    return samples;
}

QByteArray archiveGroup(const VictoriaMetrics& vm) {
    return "[alarmes]\nsom=desligado\n[arquivo]\nurl=" + vm.url().toUtf8() + "\nlocal=obra 1\n";
}

// A station's replies against what the database holds: each once, in order, at the moment it
// was read. The last reply served may have been cut by the end of the run.
void checkStored(const VictoriaMetrics& vm, const Served& served, int number) {
    const auto speeds = stored(
        vm, QStringLiteral(R"(anemometro_velocidade{local="obra 1",estacao="%1"})").arg(number));
    QVERIFY2(served.speeds.size() > 3, "too few replies served");
    QVERIFY2(speeds.size() == served.speeds.size() || speeds.size() == served.speeds.size() - 1,
             qPrintable(QStringLiteral("station %1: %2 served, %3 stored")
                            .arg(number)
                            .arg(served.speeds.size())
                            .arg(speeds.size())));
    for (qsizetype i = 0; i < speeds.size(); ++i) {
        QCOMPARE(speeds[i].second, served.speeds[i] / 10.0);
        const qint64 late = speeds[i].first - served.wallMs[i];
        QVERIFY2(late >= 0 && late < 1000, qPrintable(QString::number(late)));
    }
    const auto polls = stored(
        vm, QStringLiteral(R"(anemometro_respondendo{local="obra 1",estacao="%1"})").arg(number));
    QCOMPARE(std::count_if(polls.begin(), polls.end(), [](const auto& s) { return s.second == 1; }),
             speeds.size());
}

// The replies served until anemosim is stopped and what the database holds once the polls
// that fail since then have been written: anemosim runs on after, on the requests it missed.
QMap<int, Served> servedUntilStopped(ProgramStation& station, const VictoriaMetrics& vm) {
    ::kill(pid_t(station.sim.processId()), SIGSTOP);
    QTest::qWait(2500);
    vm.settle();
    const QMap<int, Served> served = servedOf(station);
    ::kill(pid_t(station.sim.processId()), SIGCONT);
    return served;
}

} // namespace

class TestArchiveProgram : public QObject {
    Q_OBJECT

private slots:
    // Two stations, one named with a blank, a comma and an equals sign; the database stopped
    // for a while and started again.
    void everyReplyOnceThroughAnOutage() {
        VictoriaMetrics vm;
        QVERIFY(vm.start());
        ProgramStation station(2, "200", "[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n");
        QFile config(station.path("ConfigALL.txt"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        const QByteArray named = config.readAll().replace("EST 1\r\n", "GRUA A, B=1\r\n");
        config.close();
        QVERIFY(station.write("ConfigALL.txt", named));
        QVERIFY(station.write("anemometros.ini", archiveGroup(vm)));
        QVERIFY(station.start());
        QTest::qWait(3000);
        vm.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!station.journal().filter(";-;ARQUIVO FORA;").isEmpty(), 5000);
        QVERIFY2(station.journal().filter(";-;ARQUIVO FORA;").first().contains("recusou a conexão"),
                 qPrintable(station.journal().join('\n')));
        QTest::qWait(3000);
        QVERIFY(vm.start());
        QTRY_VERIFY_WITH_TIMEOUT(!station.journal().filter(";-;ARQUIVO NORMAL;").isEmpty(), 15000);
        const QMap<int, Served> served = servedUntilStopped(station, vm);
        checkStored(vm, served[1], 1);
        checkStored(vm, served[2], 2);

        const QList<QJsonObject> series = vm.exported(R"(anemometro_bateria{estacao="1"})");
        QCOMPARE(series.size(), 1);
        QCOMPARE(series[0].value("metric").toObject(),
                 (QJsonObject{{"__name__", "anemometro_bateria"},
                              {"local", "obra 1"},
                              {"estacao", "1"},
                              {"nome", "GRUA A, B=1"},
                              {"unidade", "km/h"}}));
        // The frozen simulator: the polls that failed.
        const auto polls = stored(vm, R"(anemometro_respondendo{estacao="2"})");
        QVERIFY(polls.constLast().second == 0);
        const auto active = stored(
            vm,
            R"(alarme_estado{local="obra 1",estacao="1",nome="GRUA A, B=1",alarme="PRESET 1",prioridade="media"})");
        QVERIFY(!active.isEmpty());
        QCOMPARE(active.first().second, 1.0);
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
    }

    // kill -9 while the database is away and the queue holds everything read since: started
    // again with the database up, the program sends it all, and what was taken before, not
    // again.
    void killWithAFullQueue() {
        VictoriaMetrics vm;
        QVERIFY(vm.start());
        ProgramStation station(1);
        QVERIFY(station.write("anemometros.ini", archiveGroup(vm)));
        QVERIFY(station.start());
        QTRY_VERIFY_WITH_TIMEOUT((vm.settle(), vm.sampleCount("anemometro_velocidade") > 0),
                                 10000);
        vm.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!station.journal().filter(";-;ARQUIVO FORA;").isEmpty(), 5000);
        QTest::qWait(2000);
        station.signal(SIGKILL);
        QVERIFY(station.program.waitForFinished(5000));
        QVERIFY(!QDir(station.path("arquivo-fila")).entryList({"*.lp"}, QDir::Files).isEmpty());

        QVERIFY(vm.start());
        QVERIFY(station.start());
        QTest::qWait(2500);
        checkStored(vm, servedUntilStopped(station, vm)[1], 1);
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
    }

    // A database that takes the connection and never answers: the requests keep their spacing.
    void hangingDatabaseHoldsUpNoPoll() {
        HttpSink hanging;
        hanging.answerWith({});
        ProgramStation station(2);
        QVERIFY(station.write("anemometros.ini", "[alarmes]\nsom=desligado\n[arquivo]\nurl=" +
                                                     hanging.url().chopped(1) + "\n"));
        QVERIFY(station.start());
        QTest::qWait(6000);
        QVERIFY(!hanging.requests().isEmpty());
        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QFile record(station.path("record.csv"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QList<qint64> times;
        for (const QByteArray& line : record.readAll().split('\n')) {
            if (!line.isEmpty())
                times << line.split(';').first().toLongLong();
        }
        QVERIFY(times.size() > 8);
        for (qsizetype i = 1; i < times.size(); ++i)
            QVERIFY2(
                times[i] - times[i - 1] < 700,
                qPrintable(QStringLiteral("%1 ms between requests").arg(times[i] - times[i - 1])));
    }
};

QTEST_MAIN(TestArchiveProgram)
#include "tst_archive_program.moc"
