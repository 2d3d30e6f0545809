// One reply tick's handling with the read left out, as the station bus and its listeners do
// it: the poll outcome with the reply check and the decoded values, the display on a real
// station panel and the log step appending to a real file. Runs with the offscreen platform in a
// temporary working folder holding IMAGES/ (copied from the built station folder) and a temporary
// home folder for the logs.
#include "replies.h"

#include "bus/poll_outcome.h"
#include "health/diagnostics_window.h"
#include "health/health_monitor.h"
#include "logs/log_files.h"
#include "logs/log_format.h"
#include "logs/log_step.h"
#include "readings/reply.h"
#include "readings/station_display.h"
#include "readings/station_panel.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <memory>

namespace {

struct Station {
    settings::StationSettings stations; // every station logged, under its panel's name
    QWidget window;
    std::array<readings::StationPanel*, 8> panels{};
    QString trail;
    QString documents;
    std::vector<bench::Exchange> exchanges = bench::goodExchanges(64);
    std::vector<readings::Reading> readings;

    Station() {
        for (int n = 1; n <= 8; ++n) {
            auto* panel = new readings::StationPanel(n, &window);
            panel->move(((n - 1) % 4) * 180, ((n - 1) / 4) * 250);
            panel->setName(QStringLiteral("ANEMÔMETRO %1").arg(n));
            panels[n - 1] = panel;
            stations.setLogged(n, true);
        }
        window.resize(740, 520);
        window.show();
        for (const bench::Exchange& e : exchanges)
            readings.push_back(readings::decodeReply(e.reply, e.station));
    }

    readings::TrailAppender appender() {
        return [this](const QString& text) { trail += text; };
    }

    // The poll of station 1 starts the trail anew, as in the polling cycle.
    void poll(int station) {
        if (station == 1)
            trail = QStringLiteral("N°: 1");
        else
            trail += QStringLiteral(" | N°: %1").arg(station);
    }

    bus::PollOutcome lastOutcome;
    logs::LogStep logStep{{
        .settings = stations,
        .documentsFolder = [this] { return documents; },
    }};

    void log(const readings::StationPanel& panel, const readings::Reading& reading) {
        if (!logs::shouldLog(true, reading.rfText))
            return;
        logs::writeLogLine(logs::logRequest(panel.station(), reading, panel.name(), documents,
                                            QDateTime::currentDateTime()));
    }

    // The outcome of one poll as the bus makes it after its read, then its two listeners:
    // the main window's panel and the log step.
    void replyTick(const bench::Exchange& e) {
        // The port's read makes the reply's bytes; here one outcome is refilled in place, so
        // that no allocation is counted that the real tick does not make.
        bus::PollOutcome& outcome = lastOutcome;
        outcome.station = e.station;
        outcome.address = e.last[0];
        outcome.reply.assign(e.reply.begin(), e.reply.end());
        outcome.replyReadMs = QDateTime::currentMSecsSinceEpoch();
        modbus::CrcRegister crc;
        outcome.kind = modbus::checkReply(outcome.reply, e.last, crc);
        outcome.values.reset();
        if (outcome.good())
            outcome.values = modbus::decodeReply(outcome.reply);
        readings::StationPanel& panel = *panels[e.station - 1];
        if (!outcome.good())
            readings::showFailure(panel, appender());
        else
            readings::showReading(panel, readings::readingOf(*outcome.values, e.station),
                                  appender());
        readings::tell(logStep, outcome);
    }
};

Station* station = nullptr;

void BM_ShowReading(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t k = i++ % station->readings.size();
        const bench::Exchange& e = station->exchanges[k];
        station->poll(e.station);
        readings::showReading(*station->panels[e.station - 1], station->readings[k],
                              station->appender());
    }
}
BENCHMARK(BM_ShowReading);

void BM_ShowFailure(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        station->poll(n % 8 + 1);
        readings::showFailure(*station->panels[n++ % 8], station->appender());
    }
}
BENCHMARK(BM_ShowFailure);

void BM_WriteLogLine(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t k = i++ % station->readings.size();
        station->log(*station->panels[station->exchanges[k].station - 1], station->readings[k]);
    }
}
BENCHMARK(BM_WriteLogLine);

// The whole tick after the read.
void BM_ReplyTick(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const bench::Exchange& e = station->exchanges[i++ % station->exchanges.size()];
        station->poll(e.station);
        station->replyTick(e);
    }
}
BENCHMARK(BM_ReplyTick);

// The health monitor's share of a poll: the counters and the alarm states, and now and then
// a line of the event journal in a real file. Each station keeps its reading; one poll in a
// hundred turns its sound alarm on and the next off again, far more often than a real station.
void BM_HealthStep(benchmark::State& state) {
    health::HealthMonitor monitor({
        .settings = station->stations,
        .logFolder = [] { return logs::logFolder(station->documents); },
        .nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); },
    });
    std::size_t i = 0;
    bus::PollOutcome outcome;
    outcome.kind = modbus::ReplyKind::Good;
    for (auto _ : state) {
        outcome.station = static_cast<int>(i % 8) + 1;
        modbus::StationValues values = modbus::decodeReply(station->exchanges[i % 8].reply);
        values.status &= ~modbus::status::kSoundAlarm;
        if (i % 800 < 8)
            values.status |= modbus::status::kSoundAlarm;
        outcome.values = values;
        readings::tell(monitor, outcome);
        ++i;
    }
    state.counters["events per poll"] =
        static_cast<double>(monitor.events().size()) / static_cast<double>(i);
}
BENCHMARK(BM_HealthStep);

// One refresh of the diagnostics window a second, painted: every station's age changes, its
// counts with each second's polls, and new events come into the journal (a sound alarm that
// turns on and off).
void BM_DiagnosticsRefresh(benchmark::State& state) {
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    health::HealthMonitor monitor({
        .settings = station->stations,
        .logFolder = [] { return logs::logFolder(station->documents); },
        .nowMs = [&now] { return now; },
    });
    health::DiagnosticsWindow window(
        monitor,
        {.settings = station->stations,
         .logFolder = [] { return logs::logFolder(station->documents); }},
        nullptr);
    window.show();
    QCoreApplication::processEvents();
    bus::PollOutcome outcome;
    outcome.kind = modbus::ReplyKind::Good;
    int poll = 0;
    for (auto _ : state) {
        for (int k = 0; k < 5; ++k, ++poll) { // about a second of polling, an event in it
            outcome.station = poll % 8 + 1;
            modbus::StationValues values =
                modbus::decodeReply(station->exchanges[std::size_t(poll % 8)].reply);
            values.status &= ~modbus::status::kSoundAlarm;
            if (poll / 8 % 2 == 1)
                values.status |= modbus::status::kSoundAlarm;
            outcome.values = values;
            readings::tell(monitor, outcome);
        }
        now += 1000;
        window.refresh();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_DiagnosticsRefresh);

// The whole tick followed by the event loop's turn, in which the changed panel is painted.
void BM_ReplyTickPainted(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const bench::Exchange& e = station->exchanges[i++ % station->exchanges.size()];
        station->poll(e.station);
        station->replyTick(e);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ReplyTickPainted);

bool copyImages(const QString& from, const QString& to) {
    if (!QDir().mkpath(to))
        return false;
    const QStringList names = QDir(from).entryList({QStringLiteral("*.ICO")}, QDir::Files);
    for (const QString& name : names) {
        if (!QFile::copy(from + u'/' + name, to + u'/' + name))
            return false;
    }
    return !names.isEmpty();
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir temp;
    if (!temp.isValid())
        return 1;
    const QString home = temp.path() + QStringLiteral("/home");
    const QString work = temp.path() + QStringLiteral("/station");
    QDir().mkpath(home + QStringLiteral("/Documents"));
    qputenv("HOME", home.toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QString images = qEnvironmentVariable("BENCH_STATION_DIR", QStringLiteral(STATION_DIR)) +
                           QStringLiteral("/IMAGES");
    if (!copyImages(images, work + QStringLiteral("/IMAGES"))) {
        std::fprintf(stderr, "no icons in %s: build the station_images target first\n",
                     qPrintable(images));
        return 1;
    }
    QDir::setCurrent(work);
    Station s;
    s.documents = home + QStringLiteral("/Documents");
    logs::prepareLogFolder(s.documents);
    station = &s;
    QCoreApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    station = nullptr;
    return 0;
}
