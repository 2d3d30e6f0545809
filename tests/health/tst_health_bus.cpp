// The health monitor watching the real station bus against anemosim on a pseudo-terminal:
// counts, silence and return, and the alarms, with every timer of the bus running.

#include "health/health_monitor.h"

#include "named_stations.h"
#include "simulated_bus.h"

#include <QTest>

using modbus::ReplyKind;

namespace {

// Told before the monitor: records each outcome and fixes the monitor's clock for it.
struct Recorder : bus::OutcomeListener {
    const health::HealthMonitor* monitor = nullptr;
    qint64 now = 0;
    std::vector<bus::PollOutcome> outcomes;
    std::vector<std::optional<qint64>> lastGoodBefore;
    std::vector<qint64> seenAt;
    void pollFinished(const bus::PollOutcome& outcome) override {
        now = QDateTime::currentMSecsSinceEpoch();
        seenAt.push_back(now);
        lastGoodBefore.push_back(monitor->station(outcome.station).lastGoodMs());
        outcomes.push_back(outcome);
    }
};

struct Rig {
    SimulatedBus bus;
    Recorder recorder;
    NamedStations stations;
    health::HealthMonitor monitor{{
        .settings = stations,
        .logFolder = [this] { return bus.folder.path(); },
        .nowMs =
            [this] { return recorder.now ? recorder.now : QDateTime::currentMSecsSinceEpoch(); },
    }};

    Rig(int count, const QString& scenario) : bus(count, scenario) {
        recorder.monitor = &monitor;
        bus.feed.addWatcher(monitor);
        bus.stations.addWatcher(recorder);
    }
    bool start() { return bus.start(); }
    QStringList journalLines() const {
        QStringList lines;
        for (const health::Event& event : monitor.events())
            lines << event.event + u';' + event.detail;
        return lines;
    }
};

} // namespace

class TestHealthBus : public QObject {
    Q_OBJECT

private slots:
    void everyFailureCountedAsItsKind() {
        Rig rig(6, QStringLiteral("[station 2]\nsilent=1\n[station 3]\nbadcrc=1\n"
                                  "[station 4]\nwrongaddr=1\n[station 5]\nexception=1\n"
                                  "[station 6]\ntruncated=1\n"));
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.station(6).sinceStart().polls >= 3, 15000);
        QTest::qWait(10);
        const auto counts = [&](int station) { return rig.monitor.station(station).sinceStart(); };
        QCOMPARE(counts(1).good, counts(1).polls);
        QCOMPARE(counts(2).noReply, counts(2).polls);
        QCOMPARE(counts(3).badCrc, counts(3).polls);
        QCOMPARE(counts(4).wrongAddress, counts(4).polls);
        QCOMPARE(counts(5).wrongFunction, counts(5).polls);
        QCOMPARE(counts(6).tooShort, counts(6).polls);
        // Each silent station is reported once, after its third failed poll, with the kind.
        const QStringList expected{"SEM RESPOSTA;sem resposta", "SEM RESPOSTA;CRC inválido",
                                   "SEM RESPOSTA;endereço errado", "SEM RESPOSTA;função inválida",
                                   "SEM RESPOSTA;resposta curta"};
        QCOMPARE(rig.journalLines(), expected);
        for (int station = 2; station <= 6; ++station) {
            QVERIFY(!rig.monitor.station(station).answering());
            QCOMPARE(rig.monitor.events()[station - 2].station,
                     QStringLiteral("EST %1").arg(station));
        }
        // Polls after the third of each station add no line.
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.station(6).sinceStart().polls >= 5, 15000);
        QCOMPARE(rig.journalLines(), expected);
    }

    // A station that is away 3 s of every 6: silent after exactly three failed polls, and
    // answering again with the seconds since its last good reading.
    void silenceAndReturnOnASchedule() {
        Rig rig(1, QStringLiteral("[station 1]\nschedule=3/3\n"));
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.journalLines().size() >= 2, 12000);
        QCOMPARE(rig.journalLines()[0], QStringLiteral("SEM RESPOSTA;sem resposta"));
        QVERIFY(rig.journalLines()[1].startsWith(QStringLiteral("RESPONDENDO;após ")));
        // The third failure in a row after a good reading is the one that is reported.
        const auto& outcomes = rig.recorder.outcomes;
        std::size_t firstFailure = 0;
        while (outcomes[firstFailure].good())
            ++firstFailure;
        QVERIFY(firstFailure > 0);
        for (std::size_t i = firstFailure; i < firstFailure + 3; ++i)
            QCOMPARE(outcomes[i].kind, ReplyKind::NoReply);
        std::size_t back = firstFailure;
        while (!outcomes[back].good())
            ++back;
        const qint64 lastGood = *rig.recorder.lastGoodBefore[back];
        QCOMPARE(lastGood, rig.recorder.seenAt[firstFailure - 1]);
        const qint64 seconds = (rig.recorder.seenAt[back] - lastGood) / 1000;
        QCOMPARE(rig.journalLines()[1], QStringLiteral("RESPONDENDO;após %1 s").arg(seconds));
        QVERIFY(seconds >= 2 && seconds <= 4);
    }

    // Preset 1 at the station's mean wind: it turns on and off; each NORMAL line carries the
    // highest speed read while it was on.
    void presetAlarmsWithTheirPeak() {
        Rig rig(1,
                QStringLiteral("[station 1]\nunit=km/h\nmean=6\npreset1=21,6\npreset2=60\nrf=1\n"));
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.journalLines().filter(QStringLiteral("PRESET1 NORMAL")).size() >= 2, 30000);
        QStringList expected;
        bool on = false;
        int peak = 0;
        for (const bus::PollOutcome& outcome : rig.recorder.outcomes) {
            if (!outcome.good())
                continue;
            const bool now = outcome.values->has(modbus::status::kPreset1Alarm);
            if (now && !on)
                expected << QStringLiteral("PRESET1 ATIVO;");
            if (!now && on)
                expected
                    << QStringLiteral("PRESET1 NORMAL;%1,%2 km/h").arg(peak / 10).arg(peak % 10);
            peak = now ? std::max(on ? peak : 0, int(outcome.values->speed)) : 0;
            on = now;
        }
        QStringList written = rig.journalLines().filter(QStringLiteral("PRESET1"));
        QCOMPARE(written.mid(0, expected.size()), expected);
        // The same lines are in the day's file, Windows-1252 with CR LF and one header.
        QFile file(rig.bus.folder.filePath(health::journal::fileName(QDate::currentDate())));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("HORA;ESTACAO;EVENTO;DETALHE;\r\n"));
        QCOMPARE(bytes.count("HORA;"), 1);
        QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
        QCOMPARE(bytes.count("\r\n") - 1, qsizetype(rig.monitor.events().size()));
    }

    // The operator opening the configuration window (or a scan, or the program closing) cuts
    // the awaited reply short: the panel shows the failure, but the station's record does not
    // count it, even three times in a row.
    void pollsCutShortByTheOperatorAreNotFailures() {
        Rig rig(1, QString());
        QVERIFY(rig.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.station(1).sinceStart().good >= 2, 5000);
        QVERIFY(rig.bus.cutShortPolls(3));
        const int cutOutcomes =
            int(std::count_if(rig.recorder.outcomes.begin(), rig.recorder.outcomes.end(),
                              [](const bus::PollOutcome& outcome) { return outcome.cutShort; }));
        QCOMPARE(cutOutcomes, 3);
        for (const bus::PollOutcome& outcome : rig.recorder.outcomes)
            QVERIFY(outcome.cutShort ? !outcome.good() : outcome.good());
        const int goodBefore = rig.monitor.station(1).sinceStart().good;
        // The late reply to the last cut poll is not read by the first poll after reopening.
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.station(1).sinceStart().good > goodBefore + 1, 5000);
        const health::Counts counts = rig.monitor.station(1).sinceStart();
        QCOMPARE(counts.noReply, 0);
        QCOMPARE(counts.polls, counts.good);
        QVERIFY(rig.monitor.station(1).answering());
        QVERIFY(rig.journalLines().isEmpty());
    }
};

QTEST_MAIN(TestHealthBus)
#include "tst_health_bus.moc"
