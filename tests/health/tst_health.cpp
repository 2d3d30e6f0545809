// The station counters, the event journal's files and the events the monitor notes, with a
// clock of the test's own: each case sets the time it needs, midnight included.

#include "health/event_journal.h"
#include "health/health_monitor.h"
#include "health/station_health.h"

#include "boxes.h"
#include "named_stations.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using health::Counts;
using health::Event;
using health::StationHealth;
using modbus::ReplyKind;

namespace {

const QDateTime kMorning(QDate(2026, 12, 7), QTime(9, 0, 0));

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bus::PollOutcome outcome(int station, ReplyKind kind,
                         std::optional<modbus::StationValues> values = std::nullopt) {
    bus::PollOutcome o;
    o.station = station;
    o.address = std::uint8_t(station);
    o.kind = kind;
    o.values = values;
    return o;
}

// A good reading of a km/h station: speed in tenths, the status bits, the battery.
modbus::StationValues reading(std::uint16_t speed, std::uint8_t bits, std::uint16_t battery = 370) {
    return {
        speed, battery,
        3,     150,
        250,   std::uint8_t(bits | modbus::status::kRf | modbus::status::kDirectionValid | 0x01)};
}

// A monitor writing into a temporary log folder, at the time the test sets.
struct Monitor {
    QTemporaryDir folder;
    qint64 nowMs = kMorning.toMSecsSinceEpoch();
    NamedStations stations;
    health::HealthMonitor monitor{{
        .settings = stations,
        .logFolder = [this] { return folder.path(); },
        .nowMs = [this] { return nowMs; },
    }};

    void at(const QDateTime& time) { nowMs = time.toMSecsSinceEpoch(); }
    void later(int seconds) { nowMs += 1000LL * seconds; }
    void poll(int station, ReplyKind kind, std::optional<modbus::StationValues> values = {}) {
        later(1);
        readings::tell(monitor, outcome(station, kind, values));
    }
    QStringList lines() const {
        QStringList all;
        for (const Event& event : monitor.events())
            all << health::journal::line(event);
        return all;
    }
};

} // namespace

class TestHealth : public QObject {
    Q_OBJECT

private slots:
    void everyKindCountedAsItself() {
        StationHealth health;
        const qint64 t = kMorning.toMSecsSinceEpoch();
        for (ReplyKind kind :
             {ReplyKind::Good, ReplyKind::NoReply, ReplyKind::BadCrc, ReplyKind::WrongAddress,
              ReplyKind::WrongFunction, ReplyKind::TooShort, ReplyKind::Good})
            health.record(kind, t);
        QCOMPARE(health.sinceStart(), (Counts{7, 2, 1, 1, 1, 1, 1}));
        QCOMPARE(*health.sinceStart().successPercent(), 200.0 / 7);
        QVERIFY(!Counts{}.successPercent());
        QCOMPARE(health.lastGoodMs(), t);
    }

    void theLastHourSlidesMinuteByMinute() {
        StationHealth health;
        const qint64 t = kMorning.toMSecsSinceEpoch();
        health.record(ReplyKind::Good, t);
        health.record(ReplyKind::NoReply, t + 30'000);
        health.record(ReplyKind::Good, t + 61 * 60'000);
        QCOMPARE(health.lastHour(t + 59 * 60'000).polls, 2);
        QCOMPARE(health.lastHour(t + 61 * 60'000), (Counts{1, 1, 0, 0, 0, 0, 0}));
        // A bucket a full hour old is reused for the new minute, not added to.
        health.record(ReplyKind::BadCrc, t + 120 * 60'000);
        QCOMPARE(health.lastHour(t + 120 * 60'000), (Counts{2, 1, 0, 1, 0, 0, 0}));
        QCOMPARE(health.sinceStart().polls, 4);
        QCOMPARE(health.lastHour(t + 200 * 60'000).polls, 0);
    }

    void silentAfterExactlyThreeFailures() {
        StationHealth health;
        const qint64 t = kMorning.toMSecsSinceEpoch();
        QCOMPARE(health.record(ReplyKind::NoReply, t), StationHealth::Change::None);
        QCOMPARE(health.record(ReplyKind::BadCrc, t), StationHealth::Change::None);
        QVERIFY(health.answering());
        QCOMPARE(health.record(ReplyKind::TooShort, t), StationHealth::Change::StoppedAnswering);
        QCOMPARE(health.lastFailure(), ReplyKind::TooShort);
        QCOMPARE(health.record(ReplyKind::NoReply, t), StationHealth::Change::None);
        QCOMPARE(health.consecutiveFailures(), 4);
        QCOMPARE(health.record(ReplyKind::Good, t), StationHealth::Change::AnsweringAgain);
        QCOMPARE(health.consecutiveFailures(), 0);
        QCOMPARE(health.record(ReplyKind::Good, t), StationHealth::Change::None);
    }

    void journalLinesAndFiles() {
        QTemporaryDir folder;
        const Event first{kMorning, QStringLiteral("ANEMÔMETRO 1"), QStringLiteral("SEM RESPOSTA"),
                          QStringLiteral("CRC inválido")};
        health::journal::append(folder.path(), first);
        health::journal::append(folder.path(),
                                {kMorning.addSecs(65), QStringLiteral("NORTE; OESTE"),
                                 QStringLiteral("RESPONDENDO"), QStringLiteral("após 65 s")});
        const QString path = folder.filePath(QStringLiteral("Eventos 07-12-2026.txt"));
        QCOMPARE(bytesOf(path),
                 QByteArray("HORA;ESTACAO;EVENTO;DETALHE;\r\n"
                            "09:00:00;ANEM\xD4METRO 1;SEM RESPOSTA;CRC inv\xE1lido;\r\n"
                            "09:01:05;NORTE, OESTE;RESPONDENDO;ap\xF3s 65 s;\r\n"));
        QCOMPARE(health::journal::read(folder.path(), kMorning.date()).first(), first);
        QCOMPARE(health::journal::read(folder.path(), kMorning.date()).size(), 2);

        // A file left empty by a full disk gets its header before its first line.
        QFile empty(folder.filePath(QStringLiteral("Eventos 08-12-2026.txt")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        health::journal::append(folder.path(), {kMorning.addDays(1), "-", "FIM", {}});
        QCOMPARE(bytesOf(empty.fileName()),
                 QByteArray("HORA;ESTACAO;EVENTO;DETALHE;\r\n09:00:00;-;FIM;;\r\n"));
    }

    void journalsOlderThan90DaysGo() {
        QTemporaryDir folder;
        const QDir dir(folder.path());
        const QDate today(2026, 12, 7);
        const auto touch = [&](const QString& name) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        touch(health::journal::fileName(today.addDays(-90)));
        touch(health::journal::fileName(today.addDays(-91)));
        touch(health::journal::fileName(today.addYears(-3)));
        touch(QStringLiteral("Eventos 01-01-2020.txt.bak"));
        touch(QStringLiteral("01-01-2020 ANEMÔMETRO 1.txt"));
        dir.mkdir(health::journal::fileName(today.addDays(-200)));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("01-01-2020 ANEMÔMETRO 1.txt")),
                            dir.filePath(health::journal::fileName(today.addDays(-300)))));
        QCOMPARE(health::journal::prune(folder.path(), today), 2);
        QStringList left = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        left.sort();
        // Kept: 90 days old, not a journal's name, a folder, a link.
        QCOMPARE(left, (QStringList{"01-01-2020 ANEMÔMETRO 1.txt", "Eventos 01-01-2020.txt.bak",
                                    "Eventos 08-09-2026.txt", "Eventos 10-02-2026.txt",
                                    "Eventos 21-05-2026.txt"}));
    }

    void silenceAndReturnAsEvents() {
        Monitor m;
        m.poll(2, ReplyKind::Good, reading(100, 0));
        m.poll(2, ReplyKind::NoReply);
        m.poll(2, ReplyKind::BadCrc);
        QVERIFY(m.lines().isEmpty());
        m.poll(2, ReplyKind::WrongAddress);
        m.later(40);
        m.poll(2, ReplyKind::Good, reading(100, 0));
        QCOMPARE(m.lines(), (QStringList{"09:00:04;EST 2;SEM RESPOSTA;endereço errado;",
                                         "09:00:45;EST 2;RESPONDENDO;após 44 s;"}));
    }

    void alarmsFollowTheStatusByte() {
        Monitor m;
        namespace bits = modbus::status;
        // The first reading tells only what is on: preset 2 on, the others off.
        m.poll(1, ReplyKind::Good, reading(300, bits::kPreset2Alarm));
        m.poll(1, ReplyKind::Good, reading(234, bits::kPreset1Alarm | bits::kSoundAlarm));
        m.poll(1, ReplyKind::Good, reading(251, bits::kPreset1Alarm | bits::kSoundAlarm));
        m.poll(1, ReplyKind::Good, reading(240, bits::kPreset1Alarm));
        m.poll(1, ReplyKind::Good, reading(90, 0, 338));
        m.poll(1, ReplyKind::Good, reading(90, 0, 335)); // still low: no second line
        m.poll(1, ReplyKind::Good, reading(90, 0, 345));
        m.poll(1, ReplyKind::Good, reading(90, 0, 339));
        modbus::StationValues rfOff = reading(90, 0);
        rfOff.status &= ~bits::kRf;
        m.poll(1, ReplyKind::Good, rfOff);
        m.poll(1, ReplyKind::Good, reading(90, 0));
        QCOMPARE(m.lines(), (QStringList{
                                "09:00:01;EST 1;PRESET2 ATIVO;;",
                                "09:00:02;EST 1;PRESET1 ATIVO;;",
                                "09:00:02;EST 1;PRESET2 NORMAL;30,0 km/h;",
                                "09:00:02;EST 1;ALARME SONORO ON;;",
                                "09:00:04;EST 1;ALARME SONORO OFF;;",
                                "09:00:05;EST 1;PRESET1 NORMAL;25,1 km/h;",
                                "09:00:05;EST 1;BATERIA BAIXA;3,38 V;",
                                "09:00:08;EST 1;BATERIA BAIXA;3,39 V;",
                                "09:00:09;EST 1;RF OFF;;",
                                "09:00:10;EST 1;RF ON;;",
                            }));
    }

    // A peak beyond what a panel can show is "> LIMITE" with no unit after it; a count of one
    // is singular.
    void wordingOfLimitsAndCounts() {
        Monitor m;
        namespace bits = modbus::status;
        m.poll(1, ReplyKind::Good, reading(120, 0));
        m.poll(1, ReplyKind::Good, reading(10000, bits::kPreset1Alarm));
        m.poll(1, ReplyKind::Good, reading(120, 0));
        m.monitor.logRecovered(1, 1);
        m.monitor.logRecovered(1, 2);
        QCOMPARE(m.lines(), (QStringList{"09:00:02;EST 1;PRESET1 ATIVO;;",
                                         "09:00:03;EST 1;PRESET1 NORMAL;> LIMITE;",
                                         "09:00:03;EST 1;LOG NORMAL;1 leitura perdida;",
                                         "09:00:03;EST 1;LOG NORMAL;2 leituras perdidas;"}));
    }

    // What is held for the window stays small over a long run: today's events only, the
    // newest of them.
    void heldEventsAreTodaysNewest() {
        Monitor m;
        m.at(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 50)));
        m.monitor.logFailed(1, QStringLiteral("ontem"));
        m.at(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)));
        const int many = int(health::HealthMonitor::kMostEventsHeld) * 2;
        for (int i = 0; i < many; ++i)
            m.monitor.logRecovered(2, i);
        const QList<health::Event>& held = m.monitor.events();
        QVERIFY(held.size() >= health::HealthMonitor::kMostEventsHeld);
        QVERIFY(held.size() <= health::HealthMonitor::kMostEventsHeld * 5 / 4);
        QCOMPARE(held.constLast().detail, QStringLiteral("%1 leituras perdidas").arg(many - 1));
        for (const health::Event& event : held)
            QCOMPARE(event.at.date(), QDate(2026, 12, 8));
    }

    void thePortAndTheProgram() {
        Monitor m;
        m.monitor.programStarted();
        m.monitor.portStateChanged(bus::PortState::Open, bus::PortState::Lost,
                                   QStringLiteral("ttyUSB0"));
        m.monitor.portStateChanged(bus::PortState::Lost, bus::PortState::Open,
                                   QStringLiteral("ttyUSB0"));
        m.monitor.portStateChanged(bus::PortState::ClosedForConfiguration, bus::PortState::Open,
                                   QStringLiteral("ttyUSB0"));
        m.monitor.programEnded();
        QCOMPARE(m.lines(), (QStringList{"09:00:00;-;INÍCIO;;", "09:00:00;ttyUSB0;PORTA PERDIDA;;",
                                         "09:00:00;ttyUSB0;PORTA REABERTA;;", "09:00:00;-;FIM;;"}));
    }

    void midnightStartsTheNextDaysFile() {
        Monitor m;
        m.at(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 58)));
        m.poll(3, ReplyKind::Good, reading(10, modbus::status::kSoundAlarm));
        m.poll(3, ReplyKind::Good, reading(10, 0)); // 00:00:00 of the 8th
        QCOMPARE(
            bytesOf(m.folder.filePath(QStringLiteral("Eventos 07-12-2026.txt"))),
            QByteArray("HORA;ESTACAO;EVENTO;DETALHE;\r\n23:59:59;EST 3;ALARME SONORO ON;;\r\n"));
        QCOMPARE(
            bytesOf(m.folder.filePath(QStringLiteral("Eventos 08-12-2026.txt"))),
            QByteArray("HORA;ESTACAO;EVENTO;DETALHE;\r\n00:00:00;EST 3;ALARME SONORO OFF;;\r\n"));
    }

    // The log folder goes away under a running program: one box, left open while more
    // events come, and polling (here: the events) goes on; the next event after the folder
    // is back is written again.
    void aFailingJournalIsReportedOnce() {
        Monitor m;
        BoxWatcher watcher([&](QMessageBox*) {
            m.poll(4, ReplyKind::NoReply);
            m.poll(4, ReplyKind::NoReply);
            m.poll(4, ReplyKind::NoReply); // SEM RESPOSTA while the box is open
            QTest::qWait(2600);
        });
        const QString folder = m.folder.path();
        QVERIFY(QDir(folder).removeRecursively());
        m.monitor.programEnded(); // an event: the journal cannot be written
        QTRY_COMPARE_WITH_TIMEOUT(watcher.boxes().size(), std::size_t(1), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.openNow(), 0, 5000);
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("File not found"));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::Critical);
        QTest::qWait(50);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(m.monitor.events().size(), 2); // still noted for the window
        QVERIFY(QDir().mkpath(folder));
        m.poll(4, ReplyKind::Good, reading(10, 0));
        QCOMPARE(bytesOf(QDir(folder).filePath(QStringLiteral("Eventos 07-12-2026.txt"))),
                 QByteArray("HORA;ESTACAO;EVENTO;DETALHE;\r\n"
                            "09:00:04;EST 4;RESPONDENDO;ap\xF3s 4 s;\r\n"));
    }
};

QTEST_MAIN(TestHealth)
#include "tst_health.moc"
