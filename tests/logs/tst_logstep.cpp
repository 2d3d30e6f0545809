// The log step as a listener of the reading feed: what it writes, and what it tells the
// journal when a station's log fails and when it works again.

#include "logs/log_step.h"
#include "modbus/rtu.h"
#include "toolkit/failure.h"

#include "named_stations.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

bus::PollOutcome good(int station, std::uint8_t status = 0x85) {
    bus::PollOutcome outcome;
    outcome.station = station;
    outcome.kind = modbus::ReplyKind::Good;
    outcome.values = modbus::StationValues{123, 370, 0, 50, 200, status};
    return outcome;
}

} // namespace

class TestLogStep : public QObject {
    Q_OBJECT

private slots:
    void writesWithTheDirectionOfTheReading() {
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        QDir().mkpath(QStringLiteral("Documents/log_zareraziru"));
        NamedStations stations;
        for (int station = 1; station <= kStations; ++station)
            stations.setLogged(station, station != 3);
        logs::LogStep step(
            {.settings = stations, .documentsFolder = [&] { return work.filePath("Documents"); }});
        readings::tell(step, good(2));
        readings::tell(step, good(3));       // log switch off
        readings::tell(step, good(4, 0x05)); // RF off
        bus::PollOutcome failed = good(5);
        failed.kind = modbus::ReplyKind::NoReply;
        failed.values.reset();
        readings::tell(step, failed);
        const QStringList files =
            QDir(QStringLiteral("Documents/log_zareraziru")).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile file(QStringLiteral("Documents/log_zareraziru/") + files[0]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines[1].endsWith(";12,3;N  ;5,0;20,0;OFF;3,70;\r")); // padded at station 2
    }

    void failuresReachTheJournalWhenTheyStartAndEnd() {
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        const QString documents = work.filePath("Documents");
        QVERIFY(QDir().mkpath(documents)); // the log folder is missing
        QStringList journal;
        NamedStations stations;
        for (int station = 1; station <= kStations; ++station)
            stations.setLogged(station, true);
        logs::LogStep step({.settings = stations, .documentsFolder = [&] { return documents; }});
        step.setJournal({.failed =
                             [&](int station, const QString& text) {
                                 journal << QStringLiteral("%1 falhou: %2").arg(station).arg(text);
                             },
                         .recovered =
                             [&](int station, int lost) {
                                 journal << QStringLiteral("%1 normal: %2").arg(station).arg(lost);
                             }});
        for (int poll = 0; poll < 3; ++poll) {
            try {
                readings::tell(step, good(1));
                QVERIFY(poll > 0); // repeats go to standard error, not to a box
            } catch (const toolkit::Failure& failure) {
                QCOMPARE(poll, 0); // only the first reaches the standard error report
                QCOMPARE(failure.text(), QStringLiteral("File not found"));
            }
        }
        QCOMPARE(journal, QStringList{"1 falhou: File not found"});
        QVERIFY(QDir().mkpath(documents + QStringLiteral("/log_zareraziru")));
        readings::tell(step, good(1));
        readings::tell(step, good(1));
        QCOMPARE(journal, (QStringList{"1 falhou: File not found", "1 normal: 3"}));
    }
};

QTEST_MAIN(TestLogStep)
#include "tst_logstep.moc"
