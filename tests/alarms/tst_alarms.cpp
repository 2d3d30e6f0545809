// The alarm list on a clock of the test's own: every state change, chatter, acknowledging,
// silencing and shelving, the horn, the day's history, and the file that keeps the list over a
// restart, damaged files and a FIFO in its place included. Local time is fixed at UTC-3.

#include "alarms/alarm_book.h"
#include "alarms/alarm_file.h"
#include "alarms/alarm_json.h"
#include "alarms/alarm_settings.h"
#include "alarms/alarm_store.h"
#include "toolkit/failure.h"

#include "fifo_guard.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

using alarms::AlarmBook;
using alarms::Entry;
using alarms::Horn;
using alarms::Key;
using alarms::Kind;
using alarms::State;

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;

// 8 December 2026, 14:00 local time, and minutes after it (read after main set the time zone).
qint64 minutes(int count) {
    return QDateTime(QDate(2026, 12, 8), QTime(14, 0)).toMSecsSinceEpoch() + count * kMinuteMs;
}

// "station|event|detail" for every journal line the book gave.
QStringList journalLines(const QSignalSpy& spy) {
    QStringList lines;
    for (const QList<QVariant>& line : spy)
        lines << QStringLiteral("%1|%2|%3")
                     .arg(line.at(0).toInt())
                     .arg(line.at(1).toString(), line.at(2).toString());
    return lines;
}

// "<state> r<repetitions> s<minute it came> <acknowledged by>", or "-" when not listed.
QString entryText(const Entry* e) {
    if (!e)
        return QStringLiteral("-");
    return QStringLiteral("%1 r%2 s%3 %4")
        .arg(alarms::stateText(*e))
        .arg(e->repetitions)
        .arg((e->sinceMs - minutes(0)) / kMinuteMs)
        .arg(e->acknowledgedBy);
}

} // namespace

class TestAlarms : public QObject {
    Q_OBJECT

private slots:
    // The row's name is its steps, one minute apart, on PRESET 1 (média) of station 4: '+' comes,
    // '-' goes, 'a' acknowledges (user "ana"), 's' shelves for 30 minutes. The outcome is the
    // entry's text, then n<new ATIVO signals> h<horn: 0 none, 1 intermittent>.
    void transitions_data() {
        QTest::addColumn<QString>("outcome");
        QTest::newRow("+") << "ATIVO r0 s0  n1 h1";
        QTest::newRow("++") << "ATIVO r0 s0  n1 h1";
        QTest::newRow("+-") << "NORMALIZADO r0 s0  n1 h0";
        QTest::newRow("+a") << "RECONHECIDO r0 s0 ana n1 h0";
        QTest::newRow("+a-") << "- n1 h0";
        QTest::newRow("+-a") << "- n1 h0";
        // Back to ATIVO unacknowledged: the horn says it, no window is raised again.
        QTest::newRow("+-+") << "ATIVO r1 s0  n1 h1";
        QTest::newRow("+a-+") << "ATIVO r0 s3  n2 h1";
        QTest::newRow("-") << "- n0 h0";
        QTest::newRow("+s") << "SUPRIMIDO ATÉ 14:31 r0 s0  n1 h0";
        QTest::newRow("+s-+") << "SUPRIMIDO ATÉ 14:31 r1 s0  n1 h0";
        QTest::newRow("+as") << "SUPRIMIDO ATÉ 14:32 r0 s0 ana n1 h0";
        // RETIRAR SUPRESSÃO ('u'): the state it would have had.
        QTest::newRow("+su") << "ATIVO r0 s0  n2 h1";
        QTest::newRow("+s-u") << "NORMALIZADO r0 s0  n1 h0";
        QTest::newRow("+as-u") << "- n1 h0";
        QTest::newRow("+u") << "ATIVO r0 s0  n1 h1";
    }
    void transitions() {
        QFETCH(QString, outcome);
        const QString steps = QString::fromLatin1(QTest::currentDataTag());
        AlarmBook book;
        QSignalSpy raised(&book, &AlarmBook::newActive);
        const Key key{4, Kind::Preset1};
        for (int i = 0; i < steps.size(); ++i) {
            const QChar step = steps.at(i);
            if (step == u'+' || step == u'-')
                book.setActive(4, Kind::Preset1, step == u'+', minutes(i));
            else if (step == u'a')
                book.acknowledge({key}, QStringLiteral("ana"), minutes(i));
            else if (step == u'u')
                book.unshelve({key}, QStringLiteral("ana"), minutes(i));
            else
                QVERIFY(book.shelve(key, AlarmBook::kShelve30MinMs, "ana", minutes(i)));
        }
        QVERIFY(book.entries().size() <= 1);
        QCOMPARE(QStringLiteral("%1 n%2 h%3")
                     .arg(entryText(book.find(key)))
                     .arg(raised.size())
                     .arg(int(book.horn())),
                 outcome);
    }

    // A flag chattering at its threshold: one entry, every coming counted and in the history,
    // the window raised once.
    void chatterKeepsOneEntry() {
        AlarmBook book;
        QSignalSpy raised(&book, &AlarmBook::newActive);
        book.setActive(2, Kind::Preset2, true, minutes(0));
        for (int i = 1; i <= 10; ++i) {
            book.setActive(2, Kind::Preset2, false, minutes(i) - 30000);
            book.setActive(2, Kind::Preset2, true, minutes(i));
        }
        QCOMPARE(book.entries().size(), 1);
        QCOMPARE(entryText(&book.entries().constFirst()), "ATIVO r10 s0 ");
        QCOMPARE(raised.size(), 1);
        QCOMPARE(book.dayHistory().size(), 11);
        QCOMPARE(book.dayHistory().at(3).durationMs(0), qint64(30000));
    }

    void acknowledgeJournals() {
        AlarmBook book;
        QSignalSpy journal(&book, &AlarmBook::journal);
        book.setActive(1, Kind::Preset2, true, minutes(0));
        book.setActive(2, Kind::LogFailed, true, minutes(1));
        book.setActive(2, Kind::LogFailed, false, minutes(2));
        book.setActive(0, Kind::PortClosed, true, minutes(3));
        book.shelve({0, Kind::PortClosed}, AlarmBook::kShelve1HourMs, "rui", minutes(4));
        journal.clear();

        const QList<Key> done = book.acknowledgeAll(QStringLiteral("maria"), minutes(5));
        QCOMPARE(done, (QList<Key>{{2, Kind::LogFailed}, {1, Kind::Preset2}}));
        QCOMPARE(journalLines(journal), (QStringList{"2|ALARME RECONHECIDO|LOG FALHOU, maria",
                                                     "1|ALARME RECONHECIDO|PRESET 2, maria"}));
        // The latched one left; the active one stays, acknowledged; the shelved one is as it was.
        QCOMPARE(book.entries().size(), 2);
        QCOMPARE(entryText(book.find({1, Kind::Preset2})), "RECONHECIDO r0 s0 maria");
        QCOMPARE(book.find({1, Kind::Preset2})->acknowledgedAtMs, minutes(5));
        QCOMPARE(entryText(book.find({0, Kind::PortClosed})), "SUPRIMIDO ATÉ 15:04 r0 s3 ");
        QVERIFY(book.acknowledge({{1, Kind::Preset2}}, "maria", minutes(6)).isEmpty());
        journal.clear();
        const QList<Key> unshelved =
            book.unshelve({{0, Kind::PortClosed}, {1, Kind::Preset2}}, "maria", minutes(7));
        QCOMPARE(unshelved, (QList<Key>{{0, Kind::PortClosed}}));
        QCOMPARE(journalLines(journal), QStringList{"0|SUPRESSÃO RETIRADA|PORTA FECHADA, maria"});
    }

    // SEM RESPOSTA (alta), acknowledged, then shelved for 1 h at 14:00.
    void shelvingEnds_data() {
        QTest::addColumn<bool>("stillActive");
        QTest::addColumn<QString>("outcome"); // as in transitions, h2: continuous
        QTest::newRow("still active: ATIVO again") << true << "ATIVO r0 s0  n1 h2";
        QTest::newRow("gone meanwhile: leaves") << false << "- n0 h0";
    }
    void shelvingEnds() {
        QFETCH(bool, stillActive);
        QFETCH(QString, outcome);
        AlarmBook book;
        const Key key{5, Kind::NoAnswer};
        book.setActive(5, Kind::NoAnswer, true, minutes(0));
        book.acknowledge({key}, QStringLiteral("ana"), minutes(0));
        QSignalSpy journal(&book, &AlarmBook::journal);
        QSignalSpy raised(&book, &AlarmBook::newActive);
        QVERIFY(book.shelve(key, AlarmBook::kShelve1HourMs, "joão", minutes(0)));
        QCOMPARE(book.horn(), Horn::None);
        if (!stillActive)
            book.setActive(5, Kind::NoAnswer, false, minutes(10));

        book.tick(minutes(60) - 1);
        QCOMPARE(entryText(book.find(key)), "SUPRIMIDO ATÉ 15:00 r0 s0 ana");
        book.tick(minutes(60));
        QCOMPARE(QStringLiteral("%1 n%2 h%3")
                     .arg(entryText(book.find(key)))
                     .arg(raised.size())
                     .arg(int(book.horn())),
                 outcome);
        QCOMPARE(journalLines(journal),
                 (QStringList{"5|ALARME SUPRIMIDO|SEM RESPOSTA até 15:00, joão",
                              "5|SUPRESSÃO TERMINADA|SEM RESPOSTA"}));
    }

    // The horn follows the highest priority of the ATIVO alarms; SILENCIAR holds until a new one.
    void silenceLastsUntilNextNewAlarm() {
        AlarmBook book;
        QSignalSpy journal(&book, &AlarmBook::journal);
        QVERIFY(!book.silence(QStringLiteral("ana"))); // nothing sounding: nothing to journal
        book.setActive(3, Kind::BatteryLow, true, minutes(0));
        QCOMPARE(book.horn(), Horn::Intermittent);
        QVERIFY(book.silence(QStringLiteral("ana")));
        QCOMPARE(book.horn(), Horn::None);
        book.setActive(3, Kind::BatteryLow, true, minutes(1)); // the same alarm, polled again
        QCOMPARE(book.horn(), Horn::None);
        book.setActive(6, Kind::NoAnswer, true, minutes(2));
        QCOMPARE(book.horn(), Horn::Continuous);
        QCOMPARE(journalLines(journal), QStringList{"0|ALARME SILENCIADO|ana"});
        book.setActive(3, Kind::Preset1, true, minutes(3));
        book.acknowledge({{6, Kind::NoAnswer}}, QStringLiteral("ana"), minutes(3));
        QCOMPARE(book.horn(), Horn::Intermittent);

        // A latched alarm coming again is a new ATIVO one.
        book.silence(QStringLiteral("ana"));
        book.setActive(3, Kind::Preset1, false, minutes(4));
        QCOMPARE(book.horn(), Horn::None);
        book.setActive(3, Kind::Preset1, true, minutes(5));
        QCOMPARE(book.horn(), Horn::Intermittent);
    }

    void batteryHysteresis_data() {
        QTest::addColumn<bool>("wasLow");
        QTest::addColumn<int>("hundredths");
        QTest::addColumn<bool>("low");
        QTest::newRow("3,39 V comes") << false << 339 << true;
        QTest::newRow("3,40 V does not come") << false << 340 << false;
        QTest::newRow("3,49 V does not come") << false << 349 << false;
        QTest::newRow("3,40 V stays") << true << 340 << true;
        QTest::newRow("3,49 V stays") << true << 349 << true;
        QTest::newRow("3,50 V goes") << true << 350 << false;
    }
    void batteryHysteresis() {
        QFETCH(bool, wasLow);
        QFETCH(int, hundredths);
        QFETCH(bool, low);
        QCOMPARE(alarms::batteryLow(wasLow, hundredths), low);
    }

    // The peak is the highest speed while a preset alarm is active; a poll that changes nothing
    // tells nobody.
    void peakAndQuietPolls() {
        AlarmBook book;
        QSignalSpy changed(&book, &AlarmBook::changed);
        const QString kmh = QStringLiteral("km/h");
        book.setActive(7, Kind::Preset2, true, minutes(0), 40.0, kmh);
        book.setActive(7, Kind::Preset2, true, minutes(1), 52.3, kmh);
        book.setActive(7, Kind::Preset2, true, minutes(2), 45.0, kmh);
        book.setActive(7, Kind::Preset2, true, minutes(3), 52.3, kmh);
        book.setActive(7, Kind::Preset1, false, minutes(3));
        book.setActive(7, Kind::NoAnswer, true, minutes(3), 60.0, kmh);
        QCOMPARE(changed.size(), 3); // came, rose to 52,3, the other alarm came
        QCOMPARE(book.find({7, Kind::Preset2})->peak, std::optional<double>(52.3));
        QCOMPARE(book.find({7, Kind::Preset2})->unit, kmh);
        QCOMPARE(book.find({7, Kind::NoAnswer})->peak, std::optional<double>());

        book.setActive(7, Kind::Preset2, false, minutes(4), 20.0, kmh);
        book.setActive(7, Kind::Preset2, true, minutes(5), 30.0, kmh);
        QCOMPARE(book.find({7, Kind::Preset2})->peak, std::optional<double>(52.3));
        QCOMPARE(book.dayHistory().at(0).peak, std::optional<double>(52.3));
        QCOMPARE(book.dayHistory().at(2).peak, std::optional<double>(30.0));
    }

    void dayHistory() {
        AlarmBook book;
        book.setActive(1, Kind::Preset2, true, minutes(0), 50.0, QStringLiteral("km/h"));
        book.acknowledge({{1, Kind::Preset2}}, QStringLiteral("ana"), minutes(2));
        book.setActive(1, Kind::Preset2, false, minutes(5));
        book.setActive(2, Kind::BatteryLow, true, minutes(6));
        QCOMPARE(book.entries().size(), 1);
        QCOMPARE(book.dayHistory().size(), 2);
        const alarms::DayRecord& first = book.dayHistory().at(0);
        QCOMPARE(first.acknowledgedBy, QStringLiteral("ana"));
        QCOMPARE(first.acknowledgedAtMs, minutes(2));
        QCOMPARE(first.wentMs, minutes(5));
        QCOMPARE(first.durationMs(minutes(100)), 5 * kMinuteMs);
        QCOMPARE(book.dayHistory().at(1).durationMs(minutes(16)), 10 * kMinuteMs);

        // Midnight: the alarms that are over go, the one still active stays.
        const qint64 midnightMs = QDateTime(QDate(2026, 12, 9), QTime(0, 0)).toMSecsSinceEpoch();
        book.tick(midnightMs - 1);
        QCOMPARE(book.dayHistory().size(), 2);
        book.tick(midnightMs);
        QCOMPARE(book.dayHistory().size(), 1);
        QCOMPARE(book.dayHistory().at(0).kind, Kind::BatteryLow);

        // A flag chattering all day: the newest 2000 at least, never more than 2500.
        for (int i = 0; i < 3000; ++i) {
            book.setActive(3, Kind::Preset1, true, midnightMs + 2 * i);
            book.setActive(3, Kind::Preset1, false, midnightMs + 2 * i + 1);
        }
        QVERIFY(book.dayHistory().size() >= 2000 && book.dayHistory().size() <= 2500);
        QCOMPARE(book.dayHistory().constLast().cameMs, midnightMs + 5998);
    }

    // Written by one book, read by another: latched, acknowledged and shelved entries come back
    // as they were; active ones wait for their first poll.
    void restartFromFile() {
        QTemporaryDir folder;
        const QString path = folder.filePath(alarms::kAlarmFileName);
        {
            AlarmBook book;
            book.setActive(1, Kind::Preset2, true, minutes(0), 52.3, QStringLiteral("km/h"));
            book.setActive(2, Kind::Preset1, true, minutes(1));
            book.setActive(2, Kind::Preset1, false, minutes(2));
            book.setActive(2, Kind::Preset1, true, minutes(3));
            book.setActive(2, Kind::Preset1, false, minutes(4));
            book.setActive(3, Kind::BatteryLow, true, minutes(5));
            book.acknowledge({{3, Kind::BatteryLow}}, "joão; \"o\" operador", minutes(6));
            book.setActive(0, Kind::PortClosed, true, minutes(7));
            book.shelve({0, Kind::PortClosed}, AlarmBook::kShelve8HoursMs, "ana", minutes(8));
            alarms::writeAlarmFile(path, book.entries());
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains("\"since\": \"2026-12-08T14:00:00.000-03:00\""));
        QVERIFY(bytes.contains("\"shelved_until\": \"2026-12-08T22:08:00.000-03:00\""));

        const alarms::AlarmFileRead read = alarms::readAlarmFile(path);
        QCOMPARE(read.error, QString());
        AlarmBook book;
        book.restore(read.entries, {});
        QStringList rows;
        for (const Entry& e : book.entries())
            rows << QStringLiteral("%1 %2 %3 %4 %5 %6")
                        .arg(alarms::stationText(e.station), alarms::kindText(e.kind),
                             entryText(&e), e.peak ? QString::number(*e.peak) : "-", e.unit,
                             e.toConfirm ? "?" : "ok");
        QCOMPARE(rows, (QStringList{
                           "- PORTA FECHADA SUPRIMIDO ATÉ 22:08 r0 s7  -  ?",
                           "3 BATERIA BAIXA RECONHECIDO r0 s5 joão; \"o\" operador -  ?",
                           "2 PRESET 1 NORMALIZADO r1 s1  -  ok",
                           "1 PRESET 2 ATIVO r0 s0  52.3 km/h ?",
                       }));
        QCOMPARE(book.find({3, Kind::BatteryLow})->acknowledgedAtMs, minutes(6));

        // The first polls: station 1 confirms its preset, the battery and the port are fine.
        QSignalSpy raised(&book, &AlarmBook::newActive);
        book.setActive(1, Kind::Preset2, true, minutes(30), 48.0, QStringLiteral("km/h"));
        book.setActive(3, Kind::BatteryLow, false, minutes(30));
        book.setActive(0, Kind::PortClosed, false, minutes(30));
        QCOMPARE(book.find({1, Kind::Preset2})->toConfirm, false);
        QCOMPARE(book.find({1, Kind::Preset2})->peak, std::optional<double>(52.3));
        QVERIFY(!book.find({3, Kind::BatteryLow}));
        QCOMPARE(book.find({0, Kind::PortClosed})->active, false);
        QCOMPARE(raised.size(), 0);
    }

    // Each coming keeps its own peak, whatever came before it and across a restart. Steps, one
    // minute apart, on PRESET 2 of station 1: a speed while above the preset, 0 gone, -1 a
    // restart (the list through its file, the day's records as the day file holds them).
    void eachComingHasItsOwnPeak_data() {
        QTest::addColumn<QList<double>>("steps");
        QTest::addColumn<QStringList>("records"); // "<minute came>-<minute went> <peak>"
        QTest::newRow("a later coming lower than the first")
            << QList<double>{61.5, 0, 27.2, 57.4, 40.0, 0} << QStringList{"0-1 61.5", "2-5 57.4"};
        QTest::newRow("latched at the restart")
            << QList<double>{61.5, 0, -1, 27.2, 57.4, 0} << QStringList{"0-1 61.5", "3-5 57.4"};
        QTest::newRow("in progress at the restart")
            << QList<double>{40.0, 57.4, -1, 27.2, 0} << QStringList{"0-4 57.4"};
        QTest::newRow("in progress, higher after the restart")
            << QList<double>{40.0, -1, 45.0, 0} << QStringList{"0-3 45"};
    }
    void eachComingHasItsOwnPeak() {
        QFETCH(QList<double>, steps);
        QFETCH(QStringList, records);
        auto book = std::make_unique<AlarmBook>();
        const QString kmh = QStringLiteral("km/h");
        for (int i = 0; i < steps.size(); ++i) {
            if (steps[i] < 0) {
                const QList<Entry> entries =
                    alarms::decodeAlarms(alarms::encodeAlarms(book->entries()), "f").entries;
                QList<alarms::DayRecord> written;
                for (const alarms::DayRecord& r : book->dayHistory())
                    if (r.wentMs != 0)
                        written << r;
                book = std::make_unique<AlarmBook>();
                book->restore(entries, written);
            } else {
                book->setActive(1, Kind::Preset2, steps[i] > 0, minutes(i),
                                steps[i] > 0 ? std::optional<double>(steps[i]) : std::nullopt, kmh);
            }
        }
        QStringList seen;
        for (const alarms::DayRecord& r : book->dayHistory())
            seen << QStringLiteral("%1-%2 %3")
                        .arg((r.cameMs - minutes(0)) / kMinuteMs)
                        .arg((r.wentMs - minutes(0)) / kMinuteMs)
                        .arg(r.peak ? QString::number(*r.peak) : "-");
        QCOMPARE(seen, records);
    }

    // Killed between the day file's line for a coming that went and the list's next write: the
    // list still says active, the day file says it went. It is NORMALIZADO, and its next coming
    // is a coming of its own, not a second line for the first.
    void restartAfterAComingWentUnlisted() {
        AlarmBook before;
        before.setActive(2, Kind::NoAnswer, true, minutes(0));
        const QList<Entry> listed = before.entries();
        before.setActive(2, Kind::NoAnswer, false, minutes(3));
        const QList<alarms::DayRecord> written = before.dayHistory();

        AlarmBook book;
        QSignalSpy closed(&book, &AlarmBook::recordClosed);
        book.restore(listed, written);
        QCOMPARE(entryText(book.find({2, Kind::NoAnswer})), "NORMALIZADO r0 s0 ");
        QCOMPARE(book.recordsInProgress().size(), 0);
        book.setActive(2, Kind::NoAnswer, true, minutes(5));
        book.setActive(2, Kind::NoAnswer, false, minutes(6));
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).value<alarms::DayRecord>().cameMs, minutes(5));
        QCOMPARE(entryText(book.find({2, Kind::NoAnswer})), "NORMALIZADO r1 s0 ");
    }

    // [alarmes] atraso_normalizar: an alarm is normal only once its condition stayed gone that
    // long; its record ends when the condition went. Steps "<second><+|-|t|x>": the condition
    // found or gone by a poll, a tick of the clock, the station no longer polled.
    void normalizeDelay_data() {
        QTest::addColumn<int>("delaySeconds");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("records"); // "<second came>-<second went>"
        QTest::newRow("chatter within the delay")
            << 10 << QStringList{"0+", "2-", "4+", "6-", "8+", "10-", "19t"} << "ATIVO r0"
            << QStringList{"0-0"};
        QTest::newRow("gone for the delay, by the clock")
            << 10 << QStringList{"0+", "2-", "4+", "6-", "15t", "16t"} << "NORMALIZADO r0"
            << QStringList{"0-6"};
        QTest::newRow("gone for the delay, by the polls")
            << 10 << QStringList{"0+", "5-", "9-", "15-"} << "NORMALIZADO r0" << QStringList{"0-5"};
        QTest::newRow("no delay") << 0 << QStringList{"0+", "2-", "4+", "6-"} << "NORMALIZADO r1"
                                  << QStringList{"0-2", "4-6"};
        QTest::newRow("no longer polled: at once")
            << 10 << QStringList{"0+", "3x"} << "NORMALIZADO r0" << QStringList{"0-3"};
    }
    void normalizeDelay() {
        QFETCH(int, delaySeconds);
        QFETCH(QStringList, steps);
        QFETCH(QString, entry);
        QFETCH(QStringList, records);
        AlarmBook book;
        book.setNormalizeDelayMs(delaySeconds * 1000);
        const qint64 start = minutes(0);
        for (const QString& step : steps) {
            const qint64 atMs = start + step.chopped(1).toInt() * 1000;
            switch (step.back().toLatin1()) {
            case '+':
            case '-':
                book.setActive(3, Kind::Preset1, step.back() == u'+', atMs, 30.0, "m/s");
                break;
            case 't':
                book.tick(atMs);
                break;
            default:
                book.endAtOnce(3, Kind::Preset1, atMs);
            }
        }
        const Entry* listed = book.find({3, Kind::Preset1});
        QVERIFY(listed);
        QCOMPARE(QStringLiteral("%1 r%2").arg(alarms::stateText(*listed)).arg(listed->repetitions),
                 entry);
        QStringList seen;
        for (const alarms::DayRecord& r : book.dayHistory())
            seen << QStringLiteral("%1-%2")
                        .arg((r.cameMs - start) / 1000)
                        .arg(r.wentMs ? (r.wentMs - start) / 1000 : 0);
        QCOMPARE(seen, records);
    }

    void normalizeDelaySetting_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("delayMs"); // -1: refused, with its message
        QTest::newRow("30 s") << QByteArray("30") << qint64(30000);
        QTest::newRow("none") << QByteArray("0") << qint64(0);
        QTest::newRow("an hour, the most") << QByteArray("3600") << qint64(3600000);
        QTest::newRow("past an hour") << QByteArray("3601") << qint64(-1);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("a fraction") << QByteArray("1,5") << qint64(-1);
        QTest::newRow("a word") << QByteArray("dez") << qint64(-1);
    }
    void normalizeDelaySetting() {
        QFETCH(QByteArray, value);
        QFETCH(qint64, delayMs);
        QTemporaryDir folder;
        QFile ini(folder.filePath(QStringLiteral("anemometros.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[alarmes]\nAtraso_Normalizar = " + value + "\n");
        ini.close();
        const alarms::AlarmSettingsResult read = alarms::readAlarmSettings(ini.fileName());
        QCOMPARE(read.settings.normalizeDelayMs, std::max<qint64>(delayMs, 0));
        if (delayMs >= 0)
            QCOMPARE(read.error, QString());
        else
            QVERIFY2(read.error.contains(QStringLiteral("atraso_normalizar deve ser um número de "
                                                        "segundos de 0 a 3600, não \"%1\"")
                                             .arg(QString::fromUtf8(value))),
                     qPrintable(read.error));
    }

    // An acknowledgement reaches every coming of the entry since it was listed, not the comings
    // of an earlier entry of the same alarm, and tells the day files from when.
    void acknowledgementReachesEveryComing() {
        AlarmBook book;
        QSignalSpy told(&book, &AlarmBook::acknowledged);
        book.setActive(4, Kind::Preset2, true, minutes(0));
        book.acknowledgeAll(QStringLiteral("ana"), minutes(1));
        book.setActive(4, Kind::Preset2, false, minutes(2));
        for (int m = 3; m < 9; m += 2) {
            book.setActive(4, Kind::Preset2, true, minutes(m));
            book.setActive(4, Kind::Preset2, false, minutes(m + 1));
        }
        book.acknowledgeAll(QStringLiteral("rui"), minutes(10));
        QStringList by;
        for (const alarms::DayRecord& r : book.dayHistory())
            by << QStringLiteral("%1@%2")
                      .arg(r.acknowledgedBy)
                      .arg((r.acknowledgedAtMs - minutes(0)) / kMinuteMs);
        QCOMPARE(by, (QStringList{"ana@1", "rui@10", "rui@10", "rui@10"}));
        QCOMPARE(told.size(), 2);
        QCOMPARE(told.at(1).at(0).value<alarms::Acknowledgement>().sinceMs, minutes(3));
    }

    // alarmes.json: what the operator did and what enters or leaves the list is on disk at
    // once; a chattering flag does not rewrite it at every poll; what waited is written within
    // the delay and at a stop.
    void storeWritesWhatMatters() {
        QTemporaryDir folder;
        const QString path = folder.filePath(alarms::kAlarmFileName);
        const auto onDisk = [&] { return alarms::readAlarmFile(path).entries; };
        QSet<QByteArray> versions; // every repetition written would be one more
        const auto written = [&] {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                versions.insert(file.readAll());
            return versions.size();
        };
        AlarmBook book;
        auto store = std::make_unique<alarms::AlarmStore>(book, path);
        store->setMostDeferMs(400);
        book.setActive(1, Kind::Preset1, true, minutes(0), 20.0, "m/s");
        QCOMPARE(onDisk().size(), 1);
        written();
        for (int i = 1; i <= 40; ++i) {
            book.setActive(1, Kind::Preset1, i % 2 == 0, minutes(0) + i * 1000, 20.0 + i, "m/s");
            written();
        }
        QVERIFY2(written() <= 2, qPrintable(QString::number(versions.size())));
        QVERIFY(onDisk().constFirst().repetitions < 20);
        // Within the delay, the file catches up by itself.
        QTRY_COMPARE_WITH_TIMEOUT(onDisk().constFirst().repetitions, 20, 2000);
        QCOMPARE(onDisk().constFirst().peak, std::optional<double>(60.0));

        book.setActive(1, Kind::Preset1, false, minutes(1));
        book.setActive(1, Kind::Preset1, true, minutes(1) + 1000);
        book.acknowledgeAll(QStringLiteral("ana"), minutes(2));
        QCOMPARE(alarms::stateText(onDisk().constFirst()), QStringLiteral("RECONHECIDO"));
        QCOMPARE(onDisk().constFirst().repetitions, 21);
        book.setActive(2, Kind::NoAnswer, true, minutes(3));
        QCOMPARE(onDisk().size(), 2);
        book.setActive(2, Kind::NoAnswer, false, minutes(4));
        QCOMPARE(alarms::stateText(onDisk().constFirst()), QStringLiteral("ATIVO"));
        store.reset(); // the stop
        QCOMPARE(alarms::stateText(onDisk().constFirst()), QStringLiteral("NORMALIZADO"));
    }

    // One module writes an entry and reads it back, in the file's form and in the broker's:
    // what the file keeps comes back whole; what a list on the broker shows comes back as shown.
    void entryJsonBothWays_data() {
        QTest::addColumn<int>("form");
        QTest::newRow("alarmes.json") << int(alarms::json::Form::File);
        QTest::newRow("lista no broker") << int(alarms::json::Form::Broker);
    }
    void entryJsonBothWays() {
        QFETCH(int, form);
        const auto how = alarms::json::Form(form);
        AlarmBook book;
        book.setActive(1, Kind::Preset2, true, minutes(0) + 123, 52.3, QStringLiteral("km/h"));
        book.setActive(1, Kind::Preset2, false, minutes(1));
        book.setActive(1, Kind::Preset2, true, minutes(2), 40.5, QStringLiteral("km/h"));
        book.setActive(2, Kind::NoAnswer, true, minutes(3));
        book.acknowledge({{2, Kind::NoAnswer}}, QStringLiteral("joão \"o\" operador"), minutes(4));
        book.setActive(0, Kind::PortClosed, true, minutes(5));
        book.setActive(0, Kind::PortClosed, false, minutes(6));
        book.setActive(3, Kind::BatteryLow, true, minutes(7));
        book.shelve({3, Kind::BatteryLow}, AlarmBook::kShelve1HourMs, "ana", minutes(8));
        for (Entry entry : book.entries()) {
            entry.historySerial = 0;
            const alarms::json::Read read =
                alarms::json::read(alarms::json::write(entry, how), how, entry.station);
            QVERIFY2(read.entry, qPrintable(read.problem));
            Entry expected = entry;
            if (how == alarms::json::Form::Broker) {
                // To the second, and without what only a restart needs.
                const auto second = [](qint64 ms) { return ms / 1000 * 1000; };
                expected.sinceMs = second(expected.sinceMs);
                expected.acknowledgedAtMs = second(expected.acknowledgedAtMs);
                expected.occurrenceMs = 0;
                expected.occurrencePeak.reset();
                // The condition as the state says it: a shelved alarm's is not shown.
                expected.active =
                    expected.state == State::Active || expected.state == State::Acknowledged;
                if (!expected.peak)
                    expected.unit.clear();
            }
            QCOMPARE(*read.entry, expected);
        }
    }

    void damagedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // its start
        AlarmBook book;
        book.setActive(1, Kind::Preset2, true, minutes(0), 52.3, QStringLiteral("km/h"));
        book.setActive(2, Kind::Preset1, true, minutes(1));
        const QByteArray whole = alarms::encodeAlarms(book.entries());
        QByteArray unknown = whole, twice = whole;
        unknown.replace("PRESET 1", "PRESET 3");
        twice.replace("\"station\": 2", "\"station\": 1").replace("PRESET 1", "PRESET 2");
        const QString damaged = QStringLiteral("alarmes.json está danificado (");

        QTest::newRow("cut in half") << whole.left(whole.size() / 2) << damaged + "JSON inválido";
        QTest::newRow("empty") << QByteArray() << "alarmes.json está vazio";
        QTest::newRow("garbage") << QByteArray("\x00\xff<a>", 5) << damaged + "JSON inválido";
        QTest::newRow("unknown alarm") << unknown << damaged + "alarme 1: estação ou alarme)";
        QTest::newRow("the same alarm twice") << twice << damaged + "alarme 2 repetido)";
        QTest::newRow("no list") << QByteArray("{\"version\": 1}") << damaged + "versão ou lista)";
    }
    void damagedFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString path = folder.filePath(alarms::kAlarmFileName);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const alarms::AlarmFileRead read = alarms::readAlarmFile(path);
        QVERIFY2(read.error.startsWith(error), qPrintable(read.error));
        QVERIFY(read.error.endsWith(QStringLiteral("; a lista de alarmes começa vazia.")));
        QCOMPARE(read.entries.size(), 0);

        // No file yet: the first start, nothing to say.
        QVERIFY(file.remove());
        QCOMPARE(alarms::readAlarmFile(path).error, QString());
    }

    void fifoInPlaceOfFile() {
        QTemporaryDir folder;
        const QString path = folder.filePath(alarms::kAlarmFileName);
        FifoGuard fifo(path, QByteArray("{\"version\": 1, \"alarms\": []}"));
        QVERIFY(fifo.made());
        QCOMPARE(alarms::readAlarmFile(path).error,
                 QStringLiteral("alarmes.json não pôde ser lido: não é um arquivo comum; "
                                "a lista de alarmes começa vazia."));
        AlarmBook book;
        book.setActive(1, Kind::Preset1, true, minutes(0));
        QVERIFY_THROWS_EXCEPTION(toolkit::Failure, alarms::writeAlarmFile(path, book.entries()));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
        QVERIFY(!fifo.readerWaited());
    }
};

int main(int argc, char** argv) {
    // Local time three hours behind UTC all year, so the times written in the file are fixed.
    qputenv("TZ", "<-03>3");
    QCoreApplication app(argc, argv);
    TestAlarms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alarms.moc"
