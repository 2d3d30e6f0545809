// The alarm list on a clock of the test's own: every state change, chatter, acknowledging,
// silencing and shelving, the horn, the day's history, and the file that keeps the list over a
// restart, damaged files and a FIFO in its place included. Local time is fixed at UTC-3.

#include "alarms/alarm_book.h"
#include "alarms/alarm_file.h"
#include "toolkit/failure.h"

#include "fifo_guard.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::newRow("+-+") << "ATIVO r1 s0  n2 h1";
        QTest::newRow("+a-+") << "ATIVO r0 s3  n2 h1";
        QTest::newRow("-") << "- n0 h0";
        QTest::newRow("+s") << "SUPRIMIDO ATÉ 14:31 r0 s0  n1 h0";
        QTest::newRow("+s-+") << "SUPRIMIDO ATÉ 14:31 r1 s0  n1 h0";
        QTest::newRow("+as") << "SUPRIMIDO ATÉ 14:32 r0 s0 ana n1 h0";
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

    // A flag chattering at its threshold: one entry, every coming counted and in the history.
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
        QCOMPARE(raised.size(), 11);
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
        book.restore(read.entries);
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
