// The wind history's reading of log files, over a generated week of 8 stations at one reading
// every 1.8 s (about 2.7 million lines, as a real station writes them):
//   bench_history generate DOCUMENTS   writes the week into DOCUMENTS/log_zareraziru
//   bench_history parse DOCUMENTS      reads it back and prints lines, seconds and lines/s
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString documents = QString::fromLocal8Bit(argv[2]);
    return mode == u"generate" ? generate(documents) : mode == u"parse" ? parse(documents) : 2;
}
