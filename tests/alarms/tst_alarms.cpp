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

// 8 December 2026, 14:00 local time (read after main has set the time zone).
qint64 afternoonMs() {
    return QDateTime(QDate(2026, 12, 8), QTime(14, 0)).toMSecsSinceEpoch();
}
constexpr qint64 kMinuteMs = 60 * 1000;

qint64 minutes(int count) {
    return afternoonMs() + count * kMinuteMs;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
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

} // namespace

class TestAlarms : public QObject {
    Q_OBJECT

private slots:
    void transitions_data();
    void transitions();
    void chatterKeepsOneEntry();
    void acknowledgeJournals();
    void shelvingEnds_data();
    void shelvingEnds();
    void hornFollowsPriority_data();
    void hornFollowsPriority();
    void silenceLastsUntilNextNewAlarm();
    void batteryHysteresis_data();
    void batteryHysteresis();
    void peakAndQuietPolls();
    void dayHistory();
    void restartFromFile();
    void damagedFile_data();
    void damagedFile();
    void fifoInPlaceOfFile();
};

// Steps one minute apart on PRESET 1 of station 4: '+' comes, '-' goes, 'a' acknowledges
// (user "ana"), 's' shelves for 30 minutes.
void TestAlarms::transitions_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("state"); // empty: not listed
    QTest::addColumn<int>("repetitions");
    QTest::addColumn<QString>("acknowledgedBy");
    QTest::addColumn<int>("newActive");
    QTest::addColumn<int>("sinceMinute");

    QTest::newRow("comes") << "+"
                           << "ATIVO" << 0 << "" << 1 << 0;
    QTest::newRow("still there") << "++"
                                 << "ATIVO" << 0 << "" << 1 << 0;
    QTest::newRow("goes: latched") << "+-"
                                   << "NORMALIZADO" << 0 << "" << 1 << 0;
    QTest::newRow("acknowledged") << "+a"
                                  << "RECONHECIDO" << 0 << "ana" << 1 << 0;
    QTest::newRow("acknowledged, goes") << "+a-"
                                        << "" << 0 << "" << 1 << 0;
    QTest::newRow("latched, acknowledged") << "+-a"
                                           << "" << 0 << "" << 1 << 0;
    QTest::newRow("comes back latched") << "+-+"
                                        << "ATIVO" << 1 << "" << 2 << 0;
    QTest::newRow("acknowledged, gone, comes") << "+a-+"
                                               << "ATIVO" << 0 << "" << 2 << 3;
    QTest::newRow("goes while normal") << "-"
                                       << "" << 0 << "" << 0 << 0;
    QTest::newRow("shelved") << "+s"
                             << "SUPRIMIDO ATÉ 14:31" << 0 << "" << 1 << 0;
    QTest::newRow("shelved, goes, comes") << "+s-+"
                                          << "SUPRIMIDO ATÉ 14:31" << 1 << "" << 1 << 0;
    QTest::newRow("acknowledged, shelved") << "+as"
                                           << "SUPRIMIDO ATÉ 14:32" << 0 << "ana" << 1 << 0;
}

void TestAlarms::transitions() {
    QFETCH(QString, steps);
    QFETCH(QString, state);
    QFETCH(int, repetitions);
    QFETCH(QString, acknowledgedBy);
    QFETCH(int, newActive);
    QFETCH(int, sinceMinute);

    AlarmBook book;
    QSignalSpy raised(&book, &AlarmBook::newActive);
    const Key key{4, Kind::Preset1};
    for (int i = 0; i < steps.size(); ++i) {
        const qint64 at = minutes(i);
        switch (steps.at(i).toLatin1()) {
        case '+':
        case '-':
            book.setActive(4, Kind::Preset1, steps.at(i) == u'+', at);
            break;
        case 'a':
            book.acknowledge({key}, QStringLiteral("ana"), at);
            break;
        case 's':
            QVERIFY(book.shelve(key, AlarmBook::kShelve30MinMs, QStringLiteral("ana"), at));
            break;
        }
    }
    const Entry* entry = book.find(key);
    QCOMPARE(entry ? alarms::stateText(*entry) : QString(), state);
    QCOMPARE(book.entries().size(), state.isEmpty() ? 0 : 1);
    if (entry) {
        QCOMPARE(entry->sinceMs, minutes(sinceMinute));
        QCOMPARE(entry->repetitions, repetitions);
        QCOMPARE(entry->acknowledgedBy, acknowledgedBy);
    }
    QCOMPARE(raised.size(), newActive);
}

// A flag chattering at its threshold: one entry, every coming counted and in the history.
void TestAlarms::chatterKeepsOneEntry() {
    AlarmBook book;
    QSignalSpy raised(&book, &AlarmBook::newActive);
    book.setActive(2, Kind::Preset2, true, minutes(0));
    for (int i = 1; i <= 10; ++i) {
        book.setActive(2, Kind::Preset2, false, minutes(i) - 30000);
        book.setActive(2, Kind::Preset2, true, minutes(i));
    }
    QCOMPARE(book.entries().size(), 1);
    const Entry& entry = book.entries().constFirst();
    QCOMPARE(entry.repetitions, 10);
    QCOMPARE(entry.state, State::Active);
    QCOMPARE(entry.sinceMs, afternoonMs());
    QCOMPARE(raised.size(), 11);
    QCOMPARE(book.dayHistory().size(), 11);
    QCOMPARE(book.dayHistory().at(3).durationMs(0), qint64(30000));
}

void TestAlarms::acknowledgeJournals() {
    AlarmBook book;
    QSignalSpy journal(&book, &AlarmBook::journal);
    book.setActive(1, Kind::Preset2, true, minutes(0));
    book.setActive(2, Kind::LogFailed, true, minutes(1));
    book.setActive(2, Kind::LogFailed, false, minutes(2));
    book.setActive(0, Kind::PortClosed, true, minutes(3));
    book.shelve({0, Kind::PortClosed}, AlarmBook::kShelve1HourMs, QStringLiteral("rui"),
                minutes(4));
    journal.clear();

    const QList<Key> done = book.acknowledgeAll(QStringLiteral("maria"), minutes(5));
    QCOMPARE(done, (QList<Key>{{2, Kind::LogFailed}, {1, Kind::Preset2}}));
    QCOMPARE(journalLines(journal), (QStringList{"2|ALARME RECONHECIDO|LOG FALHOU, maria",
                                                 "1|ALARME RECONHECIDO|PRESET 2, maria"}));
    // The latched one left; the active one stays, acknowledged; the shelved one is untouched.
    QCOMPARE(book.entries().size(), 2);
    const Entry* preset = book.find({1, Kind::Preset2});
    QVERIFY(preset);
    QCOMPARE(preset->state, State::Acknowledged);
    QCOMPARE(preset->acknowledgedAtMs, minutes(5));
    QCOMPARE(book.find({0, Kind::PortClosed})->state, State::Shelved);
    QVERIFY(book.acknowledge({{1, Kind::Preset2}}, QStringLiteral("maria"), minutes(6)).isEmpty());
}

void TestAlarms::shelvingEnds_data() {
    QTest::addColumn<bool>("stillActive");
    QTest::addColumn<QString>("stateAfter"); // empty: not listed
    QTest::addColumn<int>("newActive");
    QTest::addColumn<int>("horn");

    QTest::newRow("still active: ATIVO again") << true << "ATIVO" << 1 << int(Horn::Continuous);
    QTest::newRow("gone meanwhile: leaves") << false << "" << 0 << int(Horn::None);
}

void TestAlarms::shelvingEnds() {
    QFETCH(bool, stillActive);
    QFETCH(QString, stateAfter);
    QFETCH(int, newActive);
    QFETCH(int, horn);

    AlarmBook book;
    const Key key{5, Kind::NoAnswer};
    book.setActive(5, Kind::NoAnswer, true, minutes(0));
    book.acknowledge({key}, QStringLiteral("ana"), minutes(0));
    QSignalSpy journal(&book, &AlarmBook::journal);
    QSignalSpy raised(&book, &AlarmBook::newActive);
    QVERIFY(book.shelve(key, AlarmBook::kShelve1HourMs, QStringLiteral("joão"), minutes(0)));
    QCOMPARE(book.horn(), Horn::None);
    if (!stillActive)
        book.setActive(5, Kind::NoAnswer, false, minutes(10));
    QCOMPARE(book.find(key)->state, State::Shelved);

    book.tick(minutes(60) - 1);
    QCOMPARE(book.find(key)->state, State::Shelved);
    book.tick(minutes(60));
    const Entry* entry = book.find(key);
    QCOMPARE(entry ? alarms::stateText(*entry) : QString(), stateAfter);
    if (entry) {
        QCOMPARE(entry->acknowledgedBy, QString());
        QCOMPARE(entry->shelvedUntilMs, qint64(0));
    }
    QCOMPARE(raised.size(), newActive);
    QCOMPARE(int(book.horn()), horn);
    QCOMPARE(journalLines(journal), (QStringList{"5|ALARME SUPRIMIDO|SEM RESPOSTA até 15:00, joão",
                                                 "5|SUPRESSÃO TERMINADA|SEM RESPOSTA"}));
}

void TestAlarms::hornFollowsPriority_data() {
    QTest::addColumn<QList<int>>("activeKinds"); // on station 1
    QTest::addColumn<QList<int>>("acknowledgedKinds");
    QTest::addColumn<int>("horn");

    const int preset2 = int(Kind::Preset2), preset1 = int(Kind::Preset1);
    const int battery = int(Kind::BatteryLow), noAnswer = int(Kind::NoAnswer);
    QTest::newRow("none") << QList<int>{} << QList<int>{} << int(Horn::None);
    QTest::newRow("preset 1") << QList<int>{preset1} << QList<int>{} << int(Horn::Intermittent);
    QTest::newRow("battery") << QList<int>{battery} << QList<int>{} << int(Horn::Intermittent);
    QTest::newRow("preset 2") << QList<int>{preset2} << QList<int>{} << int(Horn::Continuous);
    QTest::newRow("preset 1 and no answer")
        << QList<int>{preset1, noAnswer} << QList<int>{} << int(Horn::Continuous);
    QTest::newRow("preset 2 acknowledged")
        << QList<int>{preset2} << QList<int>{preset2} << int(Horn::None);
    QTest::newRow("preset 2 acknowledged, preset 1 not")
        << QList<int>{preset2, preset1} << QList<int>{preset2} << int(Horn::Intermittent);
}

void TestAlarms::hornFollowsPriority() {
    QFETCH(QList<int>, activeKinds);
    QFETCH(QList<int>, acknowledgedKinds);
    QFETCH(int, horn);

    AlarmBook book;
    for (int kind : activeKinds)
        book.setActive(1, Kind(kind), true, minutes(0));
    for (int kind : acknowledgedKinds)
        book.acknowledge({{1, Kind(kind)}}, QStringLiteral("ana"), minutes(1));
    QCOMPARE(int(book.horn()), horn);
}

void TestAlarms::silenceLastsUntilNextNewAlarm() {
    AlarmBook book;
    QSignalSpy journal(&book, &AlarmBook::journal);
    QVERIFY(!book.silence(QStringLiteral("ana"))); // nothing sounding: nothing to journal
    book.setActive(3, Kind::Preset1, true, minutes(0));
    QCOMPARE(book.horn(), Horn::Intermittent);
    QVERIFY(book.silence(QStringLiteral("ana")));
    QCOMPARE(book.horn(), Horn::None);
    book.setActive(3, Kind::Preset1, true, minutes(1)); // the same alarm, polled again
    QCOMPARE(book.horn(), Horn::None);
    book.setActive(6, Kind::Preset2, true, minutes(2));
    QCOMPARE(book.horn(), Horn::Continuous);
    QCOMPARE(journalLines(journal), QStringList{"0|ALARME SILENCIADO|ana"});

    // A latched alarm coming again is a new ATIVO one.
    book.silence(QStringLiteral("ana"));
    book.setActive(3, Kind::Preset1, false, minutes(3));
    QCOMPARE(book.horn(), Horn::None);
    book.setActive(3, Kind::Preset1, true, minutes(4));
    QCOMPARE(book.horn(), Horn::Continuous);
}

void TestAlarms::batteryHysteresis_data() {
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

void TestAlarms::batteryHysteresis() {
    QFETCH(bool, wasLow);
    QFETCH(int, hundredths);
    QFETCH(bool, low);
    QCOMPARE(alarms::batteryLow(wasLow, hundredths), low);
}

// The peak is the highest speed while a preset alarm is active; a poll that changes nothing
// tells nobody.
void TestAlarms::peakAndQuietPolls() {
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

void TestAlarms::dayHistory() {
    AlarmBook book;
    book.setActive(1, Kind::Preset2, true, minutes(0), 50.0, QStringLiteral("km/h"));
    book.acknowledge({{1, Kind::Preset2}}, QStringLiteral("ana"), minutes(2));
    book.setActive(1, Kind::Preset2, false, minutes(5));
    book.setActive(2, Kind::BatteryLow, true, minutes(6));
    QCOMPARE(book.entries().size(), 1);
    QCOMPARE(book.dayHistory().size(), 2);
    const alarms::DayRecord& first = book.dayHistory().at(0);
    QCOMPARE(first.station, 1);
    QCOMPARE(first.cameMs, afternoonMs());
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
    QVERIFY(book.dayHistory().size() >= 2000);
    QVERIFY(book.dayHistory().size() <= 2500);
    QCOMPARE(book.dayHistory().constLast().cameMs, midnightMs + 5998);
    QCOMPARE(book.find({3, Kind::Preset1})->repetitions, 2999);
}

// Written by one book, read by another: latched, acknowledged and shelved entries come back as
// they were; active ones wait for their first poll.
void TestAlarms::restartFromFile() {
    QTemporaryDir folder;
    const QString path = folder.filePath(alarms::kAlarmFileName);
    {
        AlarmBook book;
        book.setActive(1, Kind::Preset2, true, minutes(0), 52.3, QStringLiteral("km/h"));
        book.setActive(2, Kind::Preset1, true, minutes(1));
        book.setActive(2, Kind::Preset1, false, minutes(2));
        book.setActive(3, Kind::BatteryLow, true, minutes(3));
        book.acknowledge({{3, Kind::BatteryLow}}, QStringLiteral("joão; \"o\" operador"),
                         minutes(4));
        book.setActive(0, Kind::PortClosed, true, minutes(5));
        book.shelve({0, Kind::PortClosed}, AlarmBook::kShelve8HoursMs, QStringLiteral("ana"),
                    minutes(6));
        alarms::writeAlarmFile(path, book.entries());
    }
    const QByteArray bytes = bytesOf(path);
    QVERIFY(bytes.contains("\"since\": \"2026-12-08T14:00:00.000-03:00\""));
    QVERIFY(bytes.contains("\"shelved_until\": \"2026-12-08T22:06:00.000-03:00\""));

    const alarms::AlarmFileRead read = alarms::readAlarmFile(path);
    QCOMPARE(read.error, QString());
    AlarmBook book;
    book.restore(read.entries);
    QCOMPARE(book.entries().size(), 4);
    QStringList rows;
    for (const Entry& e : book.entries())
        rows << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                    .arg(alarms::stationText(e.station), alarms::kindText(e.kind),
                         alarms::stateText(e), e.peak ? QString::number(*e.peak) : "-", e.unit,
                         e.acknowledgedBy, e.toConfirm ? "?" : "ok")
                    .arg(e.sinceMs - afternoonMs());
    QCOMPARE(rows, (QStringList{
                       "- PORTA FECHADA SUPRIMIDO ATÉ 22:06 -   ? 300000",
                       "3 BATERIA BAIXA RECONHECIDO -  joão; \"o\" operador ? 180000",
                       "2 PRESET 1 NORMALIZADO -   ok 60000",
                       "1 PRESET 2 ATIVO 52.3 km/h  ? 0",
                   }));
    QCOMPARE(book.find({3, Kind::BatteryLow})->acknowledgedAtMs, minutes(4));
    QCOMPARE(book.find({2, Kind::Preset1})->repetitions, 0);

    // The first polls: station 1 confirms its preset, the battery and the port are fine now.
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

void TestAlarms::damagedFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    AlarmBook book;
    book.setActive(1, Kind::Preset2, true, minutes(0), 52.3, QStringLiteral("km/h"));
    book.setActive(2, Kind::Preset1, true, minutes(1));
    const QByteArray whole = alarms::encodeAlarms(book.entries());
    QByteArray unknown = whole;
    unknown.replace("PRESET 1", "PRESET 3");
    QByteArray twice = whole;
    twice.replace("\"station\": 2", "\"station\": 1").replace("PRESET 1", "PRESET 2");

    QTest::newRow("cut in half") << whole.left(whole.size() / 2)
                                 << "alarmes.json está danificado (JSON inválido";
    QTest::newRow("empty") << QByteArray() << "alarmes.json está vazio";
    QTest::newRow("garbage") << QByteArray("\x00\xff<alarmes>", 11)
                             << "alarmes.json está danificado (JSON inválido";
    QTest::newRow("unknown alarm")
        << unknown << "alarmes.json está danificado (alarme 1: estação ou alarme)";
    QTest::newRow("the same alarm twice")
        << twice << "alarmes.json está danificado (alarme 2 repetido)";
    QTest::newRow("no list") << QByteArray("{\"version\": 1}")
                             << "alarmes.json está danificado (versão ou lista)";
}

void TestAlarms::damagedFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);

    QTemporaryDir folder;
    const QString path = folder.filePath(alarms::kAlarmFileName);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const alarms::AlarmFileRead read = alarms::readAlarmFile(path);
    QVERIFY2(read.error.startsWith(error), qPrintable(read.error));
    QVERIFY(read.error.endsWith(QStringLiteral("; a lista de alarmes começa vazia.")));
    QCOMPARE(read.entries.size(), 0);

    // No file yet: the first start, nothing to say.
    QVERIFY(file.remove());
    QCOMPARE(alarms::readAlarmFile(path).error, QString());
}

void TestAlarms::fifoInPlaceOfFile() {
    QTemporaryDir folder;
    const QString path = folder.filePath(alarms::kAlarmFileName);
    FifoGuard fifo(path, QByteArray("{\"version\": 1, \"alarms\": []}"));
    QVERIFY(fifo.made());
    const alarms::AlarmFileRead read = alarms::readAlarmFile(path);
    QCOMPARE(read.error, QStringLiteral("alarmes.json não pôde ser lido: não é um arquivo comum; "
                                        "a lista de alarmes começa vazia."));
    QVERIFY(!fifo.readerWaited());

    AlarmBook book;
    book.setActive(1, Kind::Preset1, true, minutes(0));
    QVERIFY_THROWS_EXCEPTION(toolkit::Failure, alarms::writeAlarmFile(path, book.entries()));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
    QVERIFY(!fifo.readerWaited());
}

int main(int argc, char** argv) {
    // Local time three hours behind UTC all year, so the times written in the file are fixed.
    qputenv("TZ", "<-03>3");
    QCoreApplication app(argc, argv);
    TestAlarms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alarms.moc"
