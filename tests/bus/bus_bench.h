#pragma once

// The windows' side of the station bus, played by a test, and anemosim on a real
// pseudo-terminal: shared by the bus tests.

#include "bus/station_bus.h"
#include "toolkit/timer.h"

#include "named_stations.h"
#include "reply_wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The windows' side of the bus, played by the test.
struct FakeWindows : bus::View, bus::OutcomeListener {
    NamedStations settings; // addresses 1 to 8
    QString text;
    QStringList messages;
    int portLostShown = 0;
    std::vector<bus::PollOutcome> outcomes;
    QStringList events; // what the bus told, in order

    FakeWindows() { settings.setBaudText(QStringLiteral("9600")); }
    void showFirst(int count) {
        for (int station = 1; station <= kStations; ++station)
            settings.setPolled(station, station <= count);
    }
    QString portText() const override { return text; }
    void setPortText(const QString& t) override {
        text = t;
        events << QStringLiteral("text ") + t;
    }
    void showPortMessage(const QString& message) override {
        messages << message;
        events << QStringLiteral("message");
    }
    void showPortLost() override {
        ++portLostShown;
        events << QStringLiteral("port lost");
    }
    void pollFinished(const bus::PollOutcome& outcome) override {
        outcomes.push_back(outcome);
        events << QStringLiteral("outcome %1").arg(outcome.station);
    }
    void portStateChanged(bus::PortState, bus::PortState to, const QString&) override {
        if (to == bus::PortState::Lost || to == bus::PortState::ClosedForConfiguration)
            events << QStringLiteral("port closed");
    }
};

// anemosim with its link in a temporary folder.
struct Simulator {
    QTemporaryDir folder;
    QString link = folder.filePath(QStringLiteral("ttySIM"));
    QProcess process;

    explicit Simulator(const QStringList& options) {
        process.start(QStringLiteral(ANEMOSIM_PATH),
                      QStringList{"--link", link, "--seed", "3"} + options);
        process.waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(link) && waited.elapsed() < 5000)
            QTest::qWait(20);
    }
    ~Simulator() {
        process.terminate();
        process.waitForFinished();
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
};

struct Bench {
    FakeWindows windows;
    bus::StationBus stations{windows.settings, windows, nullptr};

    explicit Bench(const QString& port) {
        windows.settings.setPortName(port);
        stations.addListener(windows);
        stations.setStationIndex(1);
        // The ticks are driven by hand: no timer runs on its own.
        stations.openingTimer().setEnabled(false);
    }
    // One poll of the station the index names: the control tick, then its reply tick after
    // the reply wait, and the end of its read.
    const bus::PollOutcome& poll() {
        const int station = stations.stationIndex();
        stations.controlTick();
        stations.controlTimer().setEnabled(false);
        QTest::qWait(stations.replyTimer(station).interval());
        stations.replyTick(station);
        if (!waitForReply(stations))
            qFatal("the read of station %d did not end", station);
        return windows.outcomes.back();
    }
};

Q_DECLARE_METATYPE(modbus::ReplyKind)
