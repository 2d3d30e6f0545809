// The wind history: log files as the program writes them read back, the summary of a day,
// the wind rose, today's readings held in memory, and the window over real files.

#include "history/chart_views.h"
#include "history/history_window.h"
#include "history/live_readings.h"
#include "history/prepared.h"
#include "history/wind_stats.h"
#include "logs/log_format.h"
#include "logs/log_step.h"
#include "readings/reply.h"

#include "history_files.h"
#include "named_stations.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using history::Sample;
using history_test::fromLogFiles;
using modbus::StationValues;
Q_DECLARE_METATYPE(StationValues)
Q_DECLARE_METATYPE(Sample)

namespace {

namespace bits = modbus::status;
const QDate kDay(2026, 12, 7);

// The log file the program writes for these readings of `station`, through its own log step.
QByteArray loggedFile(const QString& folder, int station, const QString& name,
                      const std::vector<std::pair<QTime, StationValues>>& readings) {
    for (const auto& [time, values] : readings) {
        logs::writeLogLine(logs::logRequest(station, readings::readingOf(values, station), name,
                                            folder, QDateTime(kDay, time)));
    }
    QFile file(logs::logFolder(folder) + u'/' + logs::logFileName(kDay, name));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

Sample sample(int second, std::uint16_t speed, std::int8_t direction = 0, std::uint16_t p1 = 100,
              std::uint16_t p2 = 200, std::uint16_t battery = 370) {
    Sample s;
    s.secondOfDay = second;
    s.speed = speed;
    s.direction = direction;
    s.preset1 = p1;
    s.preset2 = p2;
    s.battery = battery;
    return s;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

    QTemporaryDir work_;

private slots:
    void init() {
        QVERIFY(QDir(work_.path()).removeRecursively());
        QVERIFY(QDir().mkpath(work_.filePath(QStringLiteral("Documents/log_zareraziru"))));
        QDir::setCurrent(work_.path());
    }

    // Lines the program wrote, read back value for value.
    void readsWhatTheProgramWrites_data() {
        QTest::addColumn<int>("station");
        QTest::addColumn<StationValues>("values");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<Sample>("expected");
        const auto row = [](const char* name, int station, StationValues v, const char* unit,
                            Sample s) {
            QTest::newRow(name) << station << v << QString(unit) << s;
        };
        const std::uint8_t ok = bits::kRf | bits::kDirectionValid;
        row("m/s at station 1", 1, {123, 370, 1, 50, 200, std::uint8_t(ok | 0)}, "m/s",
            {36000, 123, 50, 200, 370, 1, false});
        row("km/h padded at station 2", 2,
            {455, 361, 0, 300, 500, std::uint8_t(ok | 1 | bits::kSoundAlarm)}, "km/h",
            {36000, 455, 300, 500, 361, 0, true});
        row("knots", 3, {7, 339, 15, 1, 2, std::uint8_t(ok | 2)}, "kn",
            {36000, 7, 1, 2, 339, 15, false});
        row("no unit", 4, {0, 0, 8, 0, 0, std::uint8_t(ok | 3)}, "", {36000, 0, 0, 0, 0, 8, false});
        row("over the limit", 5, {10000, 370, 4, 65535, 10000, std::uint8_t(ok | 1)}, "km/h",
            {36000, Sample::kOverLimit, Sample::kOverLimit, Sample::kOverLimit, 370, 4, false});
        row("no direction", 6, {50, 370, 4, 10, 20, std::uint8_t(bits::kRf)}, "m/s",
            {36000, 50, 10, 20, 370, Sample::kNoDirection, false});
        row("battery of 10 V and more", 1, {50, 1234, 2, 10, 20, ok}, "m/s",
            {36000, 50, 10, 20, 1234, 2, false});
    }
    void readsWhatTheProgramWrites() {
        QFETCH(int, station);
        QFETCH(StationValues, values);
        QFETCH(QString, unit);
        QFETCH(Sample, expected);
        const QByteArray bytes = loggedFile(work_.filePath("Documents"), station,
                                            QStringLiteral("EST"), {{QTime(10, 0), values}});
        const history::DayLog log = history::readLog(bytes);
        QCOMPARE(log.unit, unit);
        QCOMPARE(log.skipped, 0);
        QCOMPARE(log.samples.size(), std::size_t(1));
        QCOMPARE(log.samples[0], expected);
    }

    void badLinesAreSkippedAndCounted() {
        const QByteArray bytes =
            "HORA;VELOCIDADE(kn);DIRECAO;PRESET1(kn);PRESET2(kn);ALARME SONORO;BATERIA(V)\n"
            "10:00:00;1,5;NE ;2,0;3,0;OFF;3,70;\n"  // LF alone
            "uma linha estranha\r\n"                // a foreign line
            "25:00:00;1,5;NE;2,0;3,0;OFF;3,70;\r\n" // no such time
            "10:00:02;1,5;XX;2,0;3,0;OFF;3,70;\r\n" // no such point
            "10:00:03;1,5;N;2,0;3,0;OFF;3,70\r\n"   // no closing ';'
            "\r\n"
            "10:00:04;2,5;S;2,0;3,0;ON;3,70;\r\n"
            "10:00:05;2,"; // being written
        const history::DayLog log = history::readLog(bytes);
        QCOMPARE(log.unit, QStringLiteral("kn"));
        QCOMPARE(log.samples.size(), std::size_t(2));
        QCOMPARE(log.samples[1].secondOfDay, 36004);
        QCOMPARE(log.samples[1].sound, true);
        QCOMPARE(log.skipped, 5);
        QCOMPARE(history::readLog("").samples.size(), std::size_t(0));
    }

    void logNames() {
        const history::LogName name =
            history::parseLogName(QStringLiteral("07-12-2026 EST. NORTE.txt"));
        QCOMPARE(name.day, kDay);
        QCOMPARE(name.station, QStringLiteral("EST. NORTE"));
        QVERIFY(!history::parseLogName(QStringLiteral("Eventos 07-12-2026.txt")).day.isValid());
        QVERIFY(!history::parseLogName(QStringLiteral("31-02-2026 X.txt")).day.isValid());
    }

    void summaryOfAKnownDay() {
        // Preset 1 at 10,0, preset 2 at 20,0: readings 10 s apart, one gap of 10 minutes.
        const std::vector<Sample> day{sample(3600, 50, 0, 100, 200, 380),
                                      sample(3610, 100),
                                      sample(3620, 250),
                                      sample(3630, 200),
                                      sample(4230, 120),
                                      sample(4240, 30, 0, 100, 200, 365)};
        const history::DaySummary s = history::summarize(kDay, day);
        QCOMPARE(s.readings, 6);
        QCOMPARE(*s.maxSpeed, std::uint16_t(250));
        QCOMPARE(s.maxSecond, 3620);
        QCOMPARE(*s.meanSpeed, 125.0);
        // At or above P1: 3610, 3620, 3630 (60 s at most) and 4230 → 10 + 10 + 60 + 10 s.
        QCOMPARE(s.minutesAtOrAbovePreset1, 90.0 / 60);
        QCOMPARE(s.minutesAbovePreset2, 10.0 / 60); // 3620 only; 20,0 is not above 20,0
        QCOMPARE(s.firstSecond, 3600);
        QCOMPARE(s.lastSecond, 4240);
        QCOMPARE(s.batteryFirst, std::uint16_t(380));
        QCOMPARE(s.batteryLast, std::uint16_t(365));
        const history::DaySummary limit =
            history::summarize(kDay, {sample(10, Sample::kOverLimit)});
        QCOMPARE(history::speedText(*limit.maxSpeed), QStringLiteral("> LIMITE"));
        QVERIFY(!limit.meanSpeed);
        QCOMPARE(history::summarize(kDay, {}).readings, 0);
    }

    void windRoseOfAKnownSet() {
        // km/h: calm below 1,08 km/h; Beaufort 3 from 12,24; Beaufort 7 and above from 50,04.
        history::WindRose rose;
        for (const Sample& s : {sample(1, 5, 0), sample(2, 150, 4), sample(3, 150, 4),
                                sample(4, 600, 4), sample(5, 150, Sample::kNoDirection),
                                sample(6, Sample::kOverLimit, 8), sample(7, 20, 12)})
            rose.add(s, QStringLiteral("km/h"));
        QCOMPARE(rose.calm, 1);
        QCOMPARE(rose.unknown, 1);
        QCOMPARE(rose.placed(), 6);
        QCOMPARE(rose.share(4, 1), 200.0 / 6);  // L, Beaufort 3
        QCOMPARE(rose.share(4, 5), 100.0 / 6);  // L, Beaufort 7 and above
        QCOMPARE(rose.share(8, 5), 100.0 / 6);  // S, over the limit
        QCOMPARE(rose.share(12, 0), 100.0 / 6); // O, Beaufort 1-2
        QCOMPARE(rose.calmShare(), 100.0 / 6);
        QCOMPARE(history::bandNames(QStringLiteral("km/h"))[1],
                 QStringLiteral("Beaufort 3 (12,2-19,7 km/h)"));
        QCOMPARE(history::compassNames()[9], QStringLiteral("SSO"));
    }

    void unitsShown() {
        QCOMPARE(*history::conversion(QStringLiteral("m/s"), history::ShownUnit::KilometresPerHour),
                 3.6);
        QCOMPARE(*history::conversion(QStringLiteral("kn"), history::ShownUnit::AsLogged), 1.0);
        QVERIFY(
            qFuzzyCompare(*history::conversion(QStringLiteral("km/h"), history::ShownUnit::Knots),
                          1000.0 / 1852.0));
        QVERIFY(!history::conversion(QString(), history::ShownUnit::MetresPerSecond));
        QCOMPARE(history::speedText(100, 3.6), QStringLiteral("36,0"));
    }

    // The trend's lines: thinned to the lowest and highest of each slice with the peak kept,
    // the newest readings in, presets as steps, and the last 24 hours across midnight.
    void preparedTrend() {
        history::StationHistory data;
        data.unit = QStringLiteral("km/h");
        std::vector<Sample>& day = data.days[kDay];
        for (int second = 0; second < 86400; second += 8)
            day.push_back(sample(second, 50, 0, second < 43200 ? 100 : 150));
        day[5001].speed = 999;
        const history::Prepared p =
            history::prepare(data, {kDay, false}, QDateTime(kDay, QTime(23, 59)));
        const history::TrendLines lines = p.trend.lines();
        QCOMPARE(lines.speed.size(), 1); // readings 8 s apart all day: no gap
        const QList<QPointF>& speed = lines.speed[0];
        QVERIFY(speed.size() <= history::kMostTrendPoints + 2);
        const auto peak = std::max_element(speed.begin(), speed.end(),
                                           [](QPointF a, QPointF b) { return a.y() < b.y(); });
        QCOMPARE(peak->y(), 999.0);
        QCOMPARE(qint64(peak->x()), QDateTime(kDay, QTime(11, 6, 48)).toMSecsSinceEpoch());
        QCOMPARE(qint64(speed.last().x()), QDateTime(kDay, QTime(23, 59, 52)).toMSecsSinceEpoch());
        const qint64 noon = QDateTime(kDay, QTime(12, 0)).toMSecsSinceEpoch();
        QCOMPARE(lines.preset1[0],
                 (QList<QPointF>{{double(kDay.startOfDay().toMSecsSinceEpoch()), 100},
                                 {double(noon), 100},
                                 {double(noon), 150},
                                 {speed.last().x(), 150}}));
        QCOMPARE(p.chosen.readings, 10800);
        QCOMPARE(p.week[1].readings, 0);

        history::StationHistory twoDays;
        twoDays.days[kDay.addDays(-1)] = {sample(600, 10), sample(86399, 20)};
        twoDays.days[kDay] = {sample(0, 30), sample(60, 40)};
        const history::Prepared last24 =
            history::prepare(twoDays, {kDay, true}, QDateTime(kDay, QTime(0, 30)));
        QCOMPARE(last24.trend.lines().speed.size(), 1);
        const QList<QPointF> last24Speed = last24.trend.lines().speed[0];
        QCOMPARE(last24Speed.size(), 3); // 00:10 of the day before is more than 24 hours ago
        QCOMPARE(qint64(last24Speed[0].x()),
                 QDateTime(kDay.addDays(-1), QTime(23, 59, 59)).toMSecsSinceEpoch());
        QCOMPARE(qint64(last24Speed[1].x()), kDay.startOfDay().toMSecsSinceEpoch());
        QCOMPARE(last24.chosen.readings, 3);
    }

    // Today's readings held in memory take the file's place from the first of them on.
    void todayFromMemoryAndFile() {
        qint64 now = QDateTime(kDay, QTime(12, 0)).toMSecsSinceEpoch();
        NamedStations stations;
        history::LiveReadings live({.settings = stations, .nowMs = [&now] { return now; }});
        bus::PollOutcome outcome;
        outcome.station = 2;
        outcome.kind = modbus::ReplyKind::Good;
        outcome.values =
            StationValues{77, 370, 3, 10, 20, std::uint8_t(bits::kRf | bits::kDirectionValid | 1)};
        readings::tell(live, outcome);
        now += 2000;
        readings::tell(live, outcome);
        const history::LiveReadings::Day held = live.readingsOf(QStringLiteral("EST 2"));
        QCOMPARE(held.unit, QStringLiteral("km/h"));
        QCOMPARE(held.samples.size(), std::size_t(2));
        QCOMPARE(held.samples[1].secondOfDay, 12 * 3600 + 2);
        const std::vector<Sample> merged =
            history::mergeToday({sample(11 * 3600, 1), sample(12 * 3600, 77, 3)}, held.samples);
        QCOMPARE(merged.size(), std::size_t(3));
        QCOMPARE(merged.front().speed, std::uint16_t(1));
        // A new day drops yesterday's.
        now = QDateTime(kDay.addDays(1), QTime(0, 0, 1)).toMSecsSinceEpoch();
        readings::tell(live, outcome);
        QCOMPARE(live.readingsOf(QStringLiteral("EST 2")).samples.size(), std::size_t(1));
    }

    // A day of two stations' readings held in memory reads back as the log would hold it (the
    // battery of the first and the newest reading); once the day is over it is given up,
    // whether a reading of the new day comes or only a failed poll, and nothing of it is read.
    void heldDayIsFreedAtMidnight() {
        const qint64 midnight = kDay.startOfDay().toMSecsSinceEpoch();
        qint64 now = midnight;
        NamedStations stations;
        history::LiveReadings live({.settings = stations, .nowMs = [&now] { return now; }});
        constexpr int kReadings = 5000;
        std::vector<Sample> expected;
        for (int i = 0; i < kReadings; ++i) {
            now = midnight + i * 2000LL;
            const bool overLimit = i % 997 == 3;
            const bool noDirection = i % 13 == 5;
            const bool sound = i % 5 == 1;
            const std::uint16_t preset1 = i < 2500 ? 100 : 150;
            const StationValues values{std::uint16_t(overLimit ? 10000 : i % 1200),
                                       std::uint16_t(360 + i % 20),
                                       std::uint16_t(i % 16),
                                       preset1,
                                       200,
                                       std::uint8_t(bits::kRf |
                                                    (noDirection ? 0 : bits::kDirectionValid) |
                                                    (sound ? bits::kSoundAlarm : 0) | 2)};
            bus::PollOutcome outcome;
            outcome.kind = modbus::ReplyKind::Good;
            outcome.values = values;
            for (int station : {1, 6}) {
                outcome.station = station;
                readings::tell(live, outcome);
            }
            expected.push_back({i * 2, overLimit ? Sample::kOverLimit : std::uint16_t(i % 1200),
                                preset1, 200, std::uint16_t(360 + i % 20),
                                noDirection ? Sample::kNoDirection : std::int8_t(i % 16), sound});
        }
        const history::LiveReadings::Day day = live.readingsOf(QStringLiteral("EST 6"));
        QCOMPARE(day.unit, QStringLiteral("kn"));
        QCOMPARE(day.samples.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            Sample held = day.samples[i];
            if (i > 0 && i + 1 < expected.size())
                held.battery = expected[i].battery; // only the first and the newest are held
            QVERIFY2(held == expected[i], qPrintable(QString::number(i)));
        }
        const std::size_t dayBytes = live.heldBytes();
        QVERIFY(dayBytes > 0);

        // Past midnight nothing of the day before is read, and the first poll gives it up.
        now = midnight + 86'400'000 + 1000;
        QVERIFY(live.readingsOf(QStringLiteral("EST 1")).samples.empty());
        QVERIFY(live.names().isEmpty());
        bus::PollOutcome silent;
        silent.station = 1;
        silent.kind = modbus::ReplyKind::NoReply;
        readings::tell(live, silent);
        QCOMPARE(live.heldBytes(), std::size_t(0));
        bus::PollOutcome good;
        good.station = 6;
        good.kind = modbus::ReplyKind::Good;
        good.values = StationValues{77, 370, 3, 10, 20, std::uint8_t(bits::kRf | 1)};
        readings::tell(live, good);
        QCOMPARE(live.names(), QStringList{QStringLiteral("EST 6")});
        QCOMPARE(live.readingsOf(QStringLiteral("EST 6")).samples.size(), std::size_t(1));
        QVERIFY2(live.heldBytes() < dayBytes / 5, qPrintable(QString::number(live.heldBytes())));
    }

    // The window over real files: two names for one station in one day (a rename), the last
    // 24 hours across midnight, a station not being logged, and export.
    void windowOverRealFiles() {
        const QString documents = work_.filePath("Documents");
        const StationValues calm{20, 370, 4,
                                 50, 60,  std::uint8_t(bits::kRf | bits::kDirectionValid | 1)};
        StationValues gust = calm;
        gust.speed = 700;
        gust.status |= bits::kPreset1Alarm | bits::kPreset2Alarm;
        loggedFile(documents, 1, QStringLiteral("NORTE"),
                   {{QTime(8, 0), calm}, {QTime(9, 0), gust}});
        loggedFile(documents, 1, QStringLiteral("NORTE NOVO"), {{QTime(14, 0), calm}});
        // Yesterday, late: inside the last 24 hours from 00:30 today.
        logs::writeLogLine(logs::logRequest(1, readings::readingOf(gust, 1),
                                            QStringLiteral("NORTE"), documents,
                                            QDateTime(kDay.addDays(-1), QTime(23, 59, 59))));
        qint64 now = QDateTime(kDay, QTime(15, 0)).toMSecsSinceEpoch();
        NamedStations stations; // station 3 is "SUL", its log off
        stations.setName(3, QStringLiteral("SUL"));
        history::LiveReadings live({.settings = stations, .nowMs = [&now] { return now; }});
        bus::PollOutcome outcome;
        outcome.station = 3;
        outcome.kind = modbus::ReplyKind::Good;
        outcome.values = calm;
        readings::tell(live, outcome);
        history::HistoryWindow window({.logFolder = [&] { return logs::logFolder(documents); },
                                       .live = &live,
                                       .settings = stations,
                                       .nowMs = [&now] { return now; }},
                                      nullptr);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QStringList offered;
        for (int i = 0; i < window.stationBox()->count(); ++i)
            offered << window.stationBox()->itemText(i);
        QCOMPARE(offered, (QStringList{"NORTE", "NORTE NOVO", "SUL"}));
        QCOMPARE(window.dayBox()->itemText(2), QStringLiteral("06-12-2026"));
        QCOMPARE(window.stationBox()->currentText(), QStringLiteral("NORTE"));
        QVERIFY2(
            window.summaryLabel()->text().contains(QStringLiteral("Máxima: 70,0 km/h às 09:00:00")),
            qPrintable(window.summaryLabel()->text()));
        QVERIFY(window.summaryLabel()->text().contains(QStringLiteral("Leituras: 2")));
        QCOMPARE(window.weekTable()->model()->index(1, 0).data().toString(),
                 QStringLiteral("06-12-2026"));
        QCOMPARE(window.weekTable()->model()->index(1, 6).data().toString(), QStringLiteral("1"));
        QCOMPARE(window.trendChart()->pointsShown(), 2);

        // Knots instead of the file's km/h.
        window.unitBox()->setCurrentIndex(3);
        emit window.unitBox()->activated(3);
        QVERIFY(window.summaryLabel()->text().contains(QStringLiteral("Máxima: 37,8 kn")));
        window.unitBox()->setCurrentIndex(0);
        emit window.unitBox()->activated(0);

        // The last 24 hours, from 00:30: yesterday's 23:59:59 and today's two.
        now = QDateTime(kDay, QTime(0, 30)).toMSecsSinceEpoch();
        window.dayBox()->setCurrentIndex(1);
        emit window.dayBox()->activated(1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QCOMPARE(window.trendChart()->pointsShown(), 3);
        now = QDateTime(kDay, QTime(15, 0)).toMSecsSinceEpoch();

        // A station that is not logged shows what came since the start, and says so.
        window.stationBox()->setCurrentIndex(2);
        emit window.stationBox()->activated(2);
        window.dayBox()->setCurrentIndex(0);
        emit window.dayBox()->activated(0);
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QVERIFY2(window.noteLabel()->text().contains(QStringLiteral("SUL não está sendo gravada")),
                 qPrintable(window.noteLabel()->text()));
        QVERIFY(window.summaryLabel()->text().contains(QStringLiteral("Leituras: 1")));
        QVERIFY(window.roseNote()->text().startsWith(
            QStringLiteral("1 leitura na rosa; 0 sem direção")));

        // The chart as PNG and the summary table beside it: the station and the unit on the
        // first line, the units in the column titles, bare numbers in the cells.
        window.tabs()->setCurrentIndex(2);
        const QString png = work_.filePath("rosa.png");
        window.exportTo(png);
        QVERIFY(!QImage(png).isNull());
        QFile csv(work_.filePath("rosa.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("ESTA\xC7\xC3O;SUL;UNIDADE;km/h\r\n"
                                 "DIA;M\xC1XIMA (km/h);HORA DA M\xC1XIMA;M\xC9"
                                 "DIA (km/h);"));
        QVERIFY(bytes.contains("\r\n07-12-2026;2,0;15:00:00;"));
        QCOMPARE(bytes.count("\r\n"), 9);
    }

    void loadingCanBeCancelled() {
        const QString documents = work_.filePath("Documents");
        QString text = logs::headerLine(QStringLiteral("m/s")) + QStringLiteral("\r\n");
        for (int second = 0; second < 86400; second += 2)
            text += logs::logLine(QTime(0, 0).addSecs(second),
                                  {"1,0", "N", "2,0", "3,0", "OFF", "3,70"}) +
                    QStringLiteral("\r\n");
        for (int back = 0; back < 7; ++back) {
            QFile file(logs::logFolder(documents) + u'/' +
                       logs::logFileName(kDay.addDays(-back), QStringLiteral("X")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text.toLatin1());
        }
        const qint64 now = QDateTime(kDay, QTime(23, 0)).toMSecsSinceEpoch();
        history::HistoryWindow window(fromLogFiles(documents, now), nullptr);
        window.show();
        QVERIFY(window.loading());
        QVERIFY(window.cancelButton()->isVisible());
        QTest::mouseClick(window.cancelButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QCOMPARE(window.noteLabel()->text(), QStringLiteral("Leitura cancelada."));
        QVERIFY(!window.summaryLabel()->text().contains(QStringLiteral("Leituras")));
        // Loaded in full, the week is there.
        emit window.stationBox()->activated(0);
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            window.summaryLabel()->text().contains(QStringLiteral("Leituras: 43200")), 2000);
        QCOMPARE(window.weekTable()->model()->index(6, 6).data().toString(),
                 QStringLiteral("43200"));
    }

    void textsReadableThroughAccessibility() {
        const QString documents = work_.filePath("Documents");
        loggedFile(documents, 1, QStringLiteral("NORTE"),
                   {{QTime(8, 0), StationValues{20, 370, 4, 50, 60,
                                                std::uint8_t(bits::kRf | bits::kDirectionValid)}}});
        const qint64 now = QDateTime(kDay, QTime(15, 0)).toMSecsSinceEpoch();
        history::HistoryWindow window(fromLogFiles(documents, now), nullptr);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        window.tabs()->setCurrentIndex(2);
        QStringList texts;
        std::function<void(QAccessibleInterface*)> collect = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            texts << node->text(QAccessible::Name) << node->text(QAccessible::Description)
                  << node->text(QAccessible::Value);
            for (int i = 0; i < node->childCount(); ++i)
                collect(node->child(i));
        };
        collect(QAccessible::queryAccessibleInterface(&window));
        const QString all = texts.join(u'\n');
        for (const char* wanted : {"Tendência", "Rosa dos ventos", "Estação:", "NORTE", "Calmaria",
                                   "L 100,0 %", "máxima 2,0 m/s às 08:00:00"})
            QVERIFY2(all.contains(QString::fromUtf8(wanted)), wanted);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
