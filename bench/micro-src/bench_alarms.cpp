// The alarms' share of one poll: the watch hands the reading's conditions to the alarm list
// (presets with the speed, battery, answering), the way the program does after health.
#include "alarms/alarm_book.h"
#include "alarms/alarm_watch.h"
#include "health/health_monitor.h"
#include "readings/reply.h"
#include "replies.h"
#include "settings/station_settings.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Rig {
    QTemporaryDir logs;
    settings::StationSettings settings;
    health::HealthMonitor monitor{{
        .settings = settings,
        .logFolder = [this] { return logs.path(); },
        .nowMs = [] { return qint64(1'800'000'000'000); },
    }};
    alarms::AlarmBook book;
    alarms::AlarmWatch watch{{
        .book = book,
        .health = monitor,
        .settings = settings,
        .nowMs = [] { return qint64(1'800'000'000'000); },
    }};
    std::vector<bus::PollOutcome> outcomes;
    std::vector<readings::Reading> readings;

    // Good polls of the eight stations; with `presets`, every station's preset 1 is on, so
    // each poll also follows a listed alarm's peak.
    explicit Rig(bool presets) {
        for (const bench::Exchange& e : bench::goodExchanges(64)) {
            bus::PollOutcome outcome;
            outcome.station = e.station;
            outcome.kind = modbus::ReplyKind::Good;
            outcome.values = modbus::decodeReply(e.reply);
            if (presets)
                outcome.values->status |= modbus::status::kPreset1Alarm;
            outcomes.push_back(outcome);
            readings.push_back(readings::readingOf(*outcome.values, e.station));
        }
        for (std::size_t i = 0; i < outcomes.size(); ++i)
            watch.pollFinished(outcomes[i], &readings[i]);
    }
};

void run(benchmark::State& state, bool presets) {
    Rig rig(presets);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t at = i++ % rig.outcomes.size();
        rig.watch.pollFinished(rig.outcomes[at], &rig.readings[at]);
    }
    state.counters["listed"] = double(rig.book.entries().size());
}

void BM_AlarmPoll(benchmark::State& state) {
    run(state, false);
}
BENCHMARK(BM_AlarmPoll);

void BM_AlarmPollPresetsOn(benchmark::State& state) {
    run(state, true);
}
BENCHMARK(BM_AlarmPollPresetsOn);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
