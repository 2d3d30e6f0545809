// The wind history's reading of log files, over a generated week of 8 stations at one reading
// every 1.8 s (about 2.7 million lines, as a real station writes them), and the memory that
// today's readings held for it take:
//   bench_history generate DOCUMENTS   writes the week into DOCUMENTS/log_zareraziru
//   bench_history parse DOCUMENTS      reads it back and prints lines, seconds and lines/s
//   bench_history live                 feeds the held readings a day of 8 stations at the
//                                      fastest cycle on a clock of its own, then the first
//                                      hour of the next day, and prints the resident memory
//                                      hour by hour ("hour;readings;vmrss_kb"), and once
//                                      the first cycle of the next day has come ("midnight")
#include "history/live_readings.h"
#include "history/log_reader.h"
#include "logs/log_format.h"
#include "toolkit/cp1252.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kStations = 8;
constexpr int kDays = 7;
constexpr int kStepMs = 1800;
const std::array<const char*, 16> kCompass{"N", "NNE", "NE", "ENE", "L", "ESE", "SE", "SSE",
                                           "S", "SSO", "SO", "OSO", "O", "ONO", "NO", "NNO"};

QString decimal(int tenths) {
    return QStringLiteral("%1,%2").arg(tenths / 10).arg(tenths % 10);
}

int generate(const QString& documents) {
    const QString folder = logs::logFolder(documents);
    QDir().mkpath(folder);
    const QDate today = QDate::currentDate();
    qint64 lines = 0;
    for (int back = 0; back < kDays; ++back) {
        const QDate day = today.addDays(-back);
        for (int station = 1; station <= kStations; ++station) {
            QString text = logs::headerLine(QStringLiteral("km/h")) + QStringLiteral("\r\n");
            for (int ms = 0; ms < 86'400'000; ms += kStepMs) {
                const int speed = 100 + int(80 * std::sin(ms / 3.6e6 + station)) + (ms / 7 % 37);
                const int direction = (ms / 600'000 + station) % 17;
                const QString compass =
                    direction == 16 ? QStringLiteral("---")
                    : station == 1
                        ? QString::fromLatin1(kCompass[std::size_t(direction)])
                        : QString::fromLatin1(kCompass[std::size_t(direction)]).leftJustified(3);
                text += logs::logLine(
                            QTime(0, 0).addMSecs(ms),
                            {decimal(speed), compass, decimal(150), decimal(250),
                             speed > 250 ? (station == 1 ? "ON" : "ON ") : "OFF",
                             QStringLiteral("3,%1").arg(70 - back, 2, 10, QLatin1Char('0'))}) +
                        QStringLiteral("\r\n");
                ++lines;
            }
            QFile file(folder + u'/' +
                       logs::logFileName(day, QStringLiteral("ANEMÔMETRO %1").arg(station)));
            if (!file.open(QIODevice::WriteOnly) || file.write(toolkit::toCp1252(text)) < 0)
                return 1;
        }
    }
    std::printf("generated %lld lines in %s\n", lines, qPrintable(folder));
    return 0;
}

int parse(const QString& documents) {
    const QString folder = logs::logFolder(documents);
    std::vector<QByteArray> files;
    qint64 bytes = 0;
    QElapsedTimer total;
    total.start();
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        files.push_back(file.readAll());
        bytes += files.back().size();
    }
    const qint64 readMs = total.elapsed();
    QElapsedTimer parsing;
    parsing.start();
    qint64 lines = 0;
    qint64 skipped = 0;
    for (const QByteArray& file : files) {
        const history::DayLog log = history::readLog(file);
        lines += qint64(log.samples.size());
        skipped += log.skipped;
    }
    const double seconds = parsing.nsecsElapsed() / 1e9;
    std::printf("files %zu, bytes %lld, read in %lld ms\n", files.size(), bytes, readMs);
    std::printf("lines %lld, skipped %lld, parsed in %.3f s: %.0f lines/s\n", lines, skipped,
                seconds, lines / seconds);
    return 0;
}

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

// 8 stations at read interval 1 s: a cycle of 8 polls 205 ms apart and a pause of 200 ms.
int live() {
    constexpr qint64 kCycleMs = kStations * 205 + 200;
    constexpr int kHours = 25;
    const QDate day(2026, 12, 7);
    const qint64 midnight = day.startOfDay().toMSecsSinceEpoch();
    qint64 now = midnight;
    const settings::StationSettings stations; // "ANEMÔMETRO 1" ... "ANEMÔMETRO 8"
    history::LiveReadings held({.settings = stations, .nowMs = [&now] { return now; }});
    bus::PollOutcome outcome;
    outcome.kind = modbus::ReplyKind::Good;
    std::printf("hour;readings;vmrss_kb\n0;0;%ld\n", residentKb());
    qint64 readings = 0;
    for (int hour = 1; hour <= kHours; ++hour) {
        const qint64 hourEnd = midnight + hour * 3'600'000LL;
        for (; now < hourEnd; now += kCycleMs) {
            for (int station = 1; station <= kStations; ++station) {
                const auto ms = std::uint64_t(now - midnight);
                outcome.station = station;
                outcome.values = modbus::StationValues{
                    std::uint16_t(100 + ms / 7 % 300),
                    std::uint16_t(360 + ms / 1000 % 11),
                    std::uint16_t(ms / 600'000 % 16),
                    150,
                    250,
                    std::uint8_t(modbus::status::kRf | modbus::status::kDirectionValid | 1)};
                readings::tell(held, outcome);
                ++readings;
            }
            if (now >= midnight + 86'400'000 && now < midnight + 86'400'000 + kCycleMs)
                std::printf("midnight;%lld;%ld\n", readings, residentKb());
        }
        // Hour 25 is the first hour of the next day: the day before was given up at its
        // first poll.
        std::printf("%d;%lld;%ld\n", hour, readings, residentKb());
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == u"live")
        return live();
    if (argc != 3)
        return 2;
    const QString documents = QString::fromLocal8Bit(argv[2]);
    return mode == u"generate" ? generate(documents) : mode == u"parse" ? parse(documents) : 2;
}
