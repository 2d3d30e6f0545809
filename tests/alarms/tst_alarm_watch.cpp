// The alarms as the program drives them: the real bus against anemosim on a pseudo-terminal,
// health counting the polls, the alarm list following both, its file and the event journal on
// disk.

#include "alarms/alarm_book.h"
#include "alarms/alarm_file.h"
#include "alarms/alarm_store.h"
#include "alarms/alarm_watch.h"
#include "health/event_journal.h"
#include "health/health_monitor.h"
#include "toolkit/cp1252.h"

#include "simulated_bus.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <csignal>

using alarms::Kind;

namespace {

// Station 1 blows above its preset 1 all the time; station 2 answers for 2 s, then is silent.
const QString kScenario = QStringLiteral("[station 1]\nunit=km/h\npreset1=0,1\npreset2=900\n"
                                         "[station 2]\nschedule=2/600\n");

struct Rig {
    explicit Rig(const QString& scenario = kScenario) : bus(2, scenario) { connectAll(); }
    SimulatedBus bus;
    QTemporaryDir logs;
    health::HealthMonitor monitor{{
        .settings = bus.settings,
        .logFolder = [this] { return logs.path(); },
        .nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); },
    }};
    alarms::AlarmBook book;
    alarms::AlarmWatch watch{{
        .book = book,
        .health = monitor,
        .settings = bus.settings,
        .nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); },
    }};
    QString file = bus.folder.filePath(alarms::kAlarmFileName);
    alarms::AlarmStore store{book, file};

    void connectAll() {
        bus.feed.addWatcher(monitor);
        bus.feed.addWatcher(watch);
        QObject::connect(&book, &alarms::AlarmBook::journal, &monitor,
                         [this](int station, const QString& event, const QString& detail) {
                             monitor.noteEvent(station == 0 ? QStringLiteral("-")
                                                            : bus.settings.name(station),
                                               event, detail);
                         });
    }
    const alarms::Entry* entry(int station, Kind kind) const { return book.find({station, kind}); }
    bool waitFor(const std::function<bool()>& condition) {
        for (int waited = 0; waited < 15000; waited += 20) {
            if (condition())
                return true;
            QTest::qWait(20);
        }
        return false;
    }
    QString journal() const {
        QFile file(logs.filePath(health::journal::fileName(QDate::currentDate())));
        return file.open(QIODevice::ReadOnly) ? toolkit::fromCp1252(file.readAll()) : QString();
    }
};

} // namespace

class TestAlarmWatch : public QObject {
    Q_OBJECT

private slots:
    void busDrivesTheList() {
        Rig rig;
        QVERIFY(rig.bus.start());
        QVERIFY(rig.waitFor([&] { return rig.entry(2, Kind::NoAnswer) != nullptr; }));
        // The silent station counts three failed polls before its alarm comes.
        QCOMPARE(rig.monitor.station(2).answering(), false);
        const alarms::Entry* preset = rig.entry(1, Kind::Preset1);
        QVERIFY(preset);
        QCOMPARE(alarms::stateText(*preset), QStringLiteral("ATIVO"));
        QVERIFY(preset->peak && *preset->peak > 0.0);
        QCOMPARE(preset->unit, QStringLiteral("km/h"));
        QVERIFY(!rig.entry(1, Kind::Preset2));
        QVERIFY(!rig.entry(1, Kind::NoAnswer));

        // The file on disk holds what the list holds.
        alarms::AlarmFileRead read = alarms::readAlarmFile(rig.file);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.entries.size(), rig.book.entries().size());

        rig.book.acknowledgeAll(QStringLiteral("operador"), QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(alarms::stateText(*rig.entry(1, Kind::Preset1)), QStringLiteral("RECONHECIDO"));
        const QString journal = rig.journal();
        QVERIFY2(journal.contains(QStringLiteral("ALARME RECONHECIDO")), qPrintable(journal));
        QVERIFY(journal.contains(QStringLiteral("PRESET 1, operador")));
        QVERIFY(rig.waitFor([&] {
            return alarms::readAlarmFile(rig.file).entries.value(0).acknowledgedBy ==
                   QStringLiteral("operador");
        }));

        // The adapter pulled out: the port's own alarm; back in, it goes.
        rig.bus.sim.waitForStarted();
        ::kill(static_cast<pid_t>(rig.bus.sim.processId()), SIGUSR1);
        QVERIFY(rig.waitFor([&] { return rig.entry(0, Kind::PortClosed) != nullptr; }));
        QCOMPARE(alarms::stateText(*rig.entry(0, Kind::PortClosed)), QStringLiteral("ATIVO"));
        ::kill(static_cast<pid_t>(rig.bus.sim.processId()), SIGUSR2);
        QVERIFY(rig.waitFor([&] {
            rig.bus.stations.openingTick();
            return rig.bus.stations.portState() == bus::PortState::Open;
        }));
        QCOMPARE(alarms::stateText(*rig.entry(0, Kind::PortClosed)), QStringLiteral("NORMALIZADO"));

        // A station no longer polled: its alarms go; acknowledged already, they leave the list.
        QVERIFY(rig.entry(2, Kind::NoAnswer));
        rig.bus.settings.setPolled(2, false);
        QVERIFY(!rig.entry(2, Kind::NoAnswer));
    }

    // A restart: an alarm read back stays as it was, acknowledged or not, with its time and its
    // repetitions, until its rule says otherwise. Station 2 never answers: its SEM RESPOSTA is
    // confirmed by three failed polls, and the polls before them change nothing; station 1's
    // PRESET 1 is confirmed by its first reply.
    void restartKeepsWhatNoRuleEnded_data() {
        QTest::addColumn<bool>("acknowledged");
        QTest::newRow("acknowledged") << true;
        QTest::newRow("not acknowledged") << false;
    }
    void restartKeepsWhatNoRuleEnded() {
        QFETCH(bool, acknowledged);
        const QString scenario = QStringLiteral("[station 1]\nunit=km/h\npreset1=0,1\n"
                                                "preset2=900\n[station 2]\nsilent=1\n");
        QByteArray file;
        QList<alarms::Entry> before;
        {
            Rig rig(scenario);
            QVERIFY(rig.bus.start());
            QVERIFY(rig.waitFor([&] { return rig.entry(2, Kind::NoAnswer) != nullptr; }));
            QVERIFY(rig.entry(1, Kind::Preset1));
            if (acknowledged)
                rig.book.acknowledge({{2, Kind::NoAnswer}}, QStringLiteral("operador"),
                                     QDateTime::currentMSecsSinceEpoch());
            rig.store.flush();
            before = rig.book.entries();
            QFile written(rig.file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            file = written.readAll();
        }
        Rig rig(scenario);
        QFile copy(rig.file);
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(file) == file.size());
        copy.close();
        QCOMPARE(rig.store.restore({}), QString());
        const auto kept = [&](Kind kind) {
            const alarms::Entry* now = rig.entry(kind == Kind::NoAnswer ? 2 : 1, kind);
            const auto was = std::find_if(before.begin(), before.end(),
                                          [&](const auto& e) { return e.kind == kind; });
            return now && now->state == was->state && now->sinceMs == was->sinceMs &&
                   now->repetitions == was->repetitions &&
                   now->acknowledgedBy == was->acknowledgedBy;
        };
        QStringList broken;
        QObject::connect(&rig.book, &alarms::AlarmBook::changed, [&] {
            for (const Kind kind : {Kind::NoAnswer, Kind::Preset1}) {
                if (!kept(kind))
                    broken << alarms::kindText(kind);
            }
        });
        QSignalSpy raised(&rig.book, &alarms::AlarmBook::newActive);
        QVERIFY(rig.bus.start());
        QVERIFY(rig.waitFor([&] { return !rig.monitor.station(2).answering(); }));
        QTest::qWait(1000);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u',')));
        QVERIFY(kept(Kind::NoAnswer) && kept(Kind::Preset1));
        QCOMPARE(rig.entry(2, Kind::NoAnswer)->toConfirm, false);
        QCOMPARE(raised.size(), 0);
    }
};

QTEST_MAIN(TestAlarmWatch)
#include "tst_alarm_watch.moc"
