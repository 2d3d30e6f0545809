// From the reading that raises an alarm to the horn's stream on the sound server: the alarm
// list told of a preset flag, the horn following it, and PulseAudio's own event for the new
// stream, read from `pactl subscribe`. Needs PULSE_SERVER (bench/horn starts a server of its
// own). Prints one line per trial: the milliseconds until the stream came.
#include "alarms/alarm_book.h"
#include "alarms/horn.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

// Runs the event loop until `done` or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
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
    alarms::HornPlayer horn(book, alarms::HornSettings{});
    QObject::connect(&horn, &alarms::HornPlayer::unavailable, [](const QString& text) {
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
    return 0;
}
