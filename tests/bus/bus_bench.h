#pragma once

// The windows' side of the station bus, played by a test, and anemosim on a real
// pseudo-terminal: shared by the bus tests.

#include "bus/station_bus.h"
#include "toolkit/timer.h"

#include "reply_wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The windows' side of the bus, played by the test.
struct FakeWindows : bus::Settings, bus::View, bus::OutcomeListener {
    QString port;
    QString baud = QStringLiteral("9600");
    std::array<QString, kStations> addresses{"1", "2", "3", "4", "5", "6", "7", "8"};
    int shown = 8;
    QString text;
    QStringList messages;
    int portLostShown = 0;
    std::vector<bus::PollOutcome> outcomes;
    QStringList events; // what the bus told, in order

    bool stationShown(int station) const override { return station <= shown; }
    QString addressText(int station) const override { return addresses[stationSlot(station)]; }
    QString portName() const override { return port; }
    QString baudText() const override { return baud; }
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
    bus::StationBus stations{windows, windows, nullptr};

    explicit Bench(const QString& port) {
        windows.port = port;
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
