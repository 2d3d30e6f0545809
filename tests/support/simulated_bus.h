#pragma once

// The station bus against anemosim on a real pseudo-terminal, with no window: the test plays
// the windows' side (addresses 1..n, every station shown) and the bus timers tick the bus as
// the main window's handlers would. Needs ANEMOSIM_PATH.

#include "bus/station_bus.h"
#include "readings/reading_feed.h"
#include "toolkit/timer.h"

#include "named_stations.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class SimulatedBus : public bus::View {
public:
    // scenario: anemosim's scenario text.
    SimulatedBus(int count, const QString& scenario) {
        QFile file(folder.filePath(QStringLiteral("cenario.ini")));
        file.open(QIODevice::WriteOnly);
        file.write(scenario.toUtf8());
        file.close();
        sim.start(QStringLiteral(ANEMOSIM_PATH),
                  {"--link", link, "--stations", QString::number(count), "--seed", "11",
                   "--scenario", file.fileName(), "--log", "/dev/null", "--record",
                   folder.filePath(QStringLiteral("record.csv"))});
        sim.waitForStarted();
        QObject::connect(&stations.controlTimer(), &toolkit::Timer::timeout,
                         [this] { stations.controlTick(); });
        for (int station = 1; station <= kStations; ++station)
            QObject::connect(&stations.replyTimer(station), &toolkit::Timer::timeout,
                             [this, station] { stations.replyTick(station); });
        stations.openingTimer().setEnabled(false);
        stations.setStationIndex(1);
        for (int station = count + 1; station <= kStations; ++station)
            settings.setPolled(station, false);
        settings.setPortName(link);
        settings.setBaudText(QStringLiteral("9600"));
        settings.setCyclePauseMs(200);
        stations.addListener(feed);
        stations.controlTimer().setInterval(200);
    }
    ~SimulatedBus() override {
        // No close(): it would tell a read still pending to listeners that the test may have
        // destroyed already. The port closes with the bus, which tells nobody.
        sim.terminate();
        sim.waitForFinished();
    }

    bool start() {
        for (int waited = 0; !QFile::exists(link) && waited < 5000; waited += 20)
            QTest::qWait(20);
        stations.openingTick();
        return stations.portState() == bus::PortState::Open;
    }

    // The operator opens the configuration window right after each of the next `count`
    // requests to station 1, and closes it again: the opening timer reopens the port. Returns
    // once the port is open after the last.
    bool cutShortPolls(int count) {
        int cuts = 0;
        const auto cutting =
            QObject::connect(&stations.controlTimer(), &toolkit::Timer::timeout, [&] {
                if (cuts < count && stations.replyTimer(1).enabled()) {
                    ++cuts;
                    stations.stopForConfiguration();
                    stations.openingTimer().setInterval(300);
                    stations.openingTimer().setEnabled(true);
                }
            });
        const auto reopening = QObject::connect(&stations.openingTimer(), &toolkit::Timer::timeout,
                                                [this] { stations.openingTick(); });
        for (int waited = 0; waited < 10000; waited += 20) {
            if (cuts == count && stations.portState() == bus::PortState::Open)
                break;
            QTest::qWait(20);
        }
        QObject::disconnect(cutting);
        QObject::disconnect(reopening);
        return cuts == count && stations.portState() == bus::PortState::Open;
    }

    QString portText() const override { return text_; }
    void setPortText(const QString& t) override { text_ = t; }
    void showPortMessage(const QString& text) override { qWarning() << "port message:" << text; }
    void showPortLost() override {}

    QTemporaryDir folder;
    QString link = folder.filePath(QStringLiteral("ttySIM"));
    QProcess sim;
    NamedStations settings; // the windows' side: addresses 1..n, stations 1..n shown
    bus::StationBus stations{settings, *this, nullptr};
    // What the program's watchers follow: every poll with its reading.
    readings::ReadingFeed feed;

private:
    QString text_;
};
