// From the reading that raises an alarm to the horn's stream on the sound server: the alarm
// list told of a preset flag, the horn following it, and PulseAudio's own event for the new
// stream, read from `pactl subscribe`. Needs PULSE_SERVER (bench/horn starts a server of its
// own). Prints one line per trial: the milliseconds until the stream came; then the process's
// CPU while the horn is silent, continuous and intermittent, 10 s each, as
// "cpu <state> <ms of CPU per s>".
#include "alarms/alarm_book.h"
#include "alarms/horn.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// Runs the event loop until `done` or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The process's CPU in ms per s over `seconds` of an idle event loop.
double cpuWhileIdle(int seconds) {
    const double before = cpuMs();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuMs() - before) / seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int trials = argc > 1 ? std::atoi(argv[1]) : 20;
    QProcess events;
    QElapsedTimer clock;
    clock.start();
    qint64 newAtNs = -1;
    bool removed = false;
    QObject::connect(&events, &QProcess::readyReadStandardOutput, [&] {
        while (events.canReadLine()) {
            const QByteArray line = events.readLine();
            if (line.contains("'new' on sink-input"))
                newAtNs = clock.nsecsElapsed();
            else if (line.contains("'remove' on sink-input"))
                removed = true;
        }
    });
    events.start(QStringLiteral("pactl"), {QStringLiteral("subscribe")});
    if (!events.waitForStarted()) {
        std::fprintf(stderr, "bench_horn: pactl subscribe did not start\n");
        return 1;
    }
    alarms::AlarmBook book;
    auto horn = std::make_unique<alarms::HornPlayer>(book, alarms::HornSettings{});
    QObject::connect(horn.get(), &alarms::HornPlayer::unavailable, [](const QString& text) {
        std::fprintf(stderr, "bench_horn: %s\n", qPrintable(text));
        QCoreApplication::exit(1);
    });
    // The sounds are loaded and the server reached before the first trial.
    waitFor([] { return false; }, 1500);
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int trial = 0; trial < trials; ++trial) {
        newAtNs = -1;
        removed = false;
        const qint64 raisedNs = clock.nsecsElapsed();
        book.setActive(1, alarms::Kind::Preset2, true, now += 1000, 30.0, QStringLiteral("m/s"));
        if (!waitFor([&] { return newAtNs >= 0; }, 3000)) {
            std::fprintf(stderr, "bench_horn: no stream within 3 s at trial %d\n", trial);
            return 1;
        }
        std::printf("%.1f\n", double(newAtNs - raisedNs) / 1e6);
        std::fflush(stdout);
        book.setActive(1, alarms::Kind::Preset2, false, now += 1000);
        book.acknowledgeAll(QStringLiteral("bench"), now);
        waitFor([&] { return removed; }, 3000);
        waitFor([] { return false; }, 200);
    }
    events.terminate();
    events.waitForFinished();

    constexpr int kCpuSeconds = 10;
    book.acknowledgeAll(QStringLiteral("bench"), now += 1000);
    std::printf("cpu silent %.3f\n", cpuWhileIdle(kCpuSeconds));
    book.setActive(1, alarms::Kind::Preset2, true, now += 1000, 30.0, QStringLiteral("m/s"));
    std::printf("cpu continuous %.3f\n", cpuWhileIdle(kCpuSeconds));
    book.acknowledgeAll(QStringLiteral("bench"), now += 1000);
    book.setActive(2, alarms::Kind::Preset1, true, now += 1000, 30.0, QStringLiteral("m/s"));
    std::printf("cpu intermittent %.3f\n", cpuWhileIdle(kCpuSeconds));
    std::fflush(stdout);
    // The stream closed and the server's answers taken before Qt's sound engine is torn down
    // at exit: packets still coming in then can abort the process.
    horn.reset();
    cpuWhileIdle(1);
    return 0;
}
