#pragma once

#include "bus/poll_outcome.h"
#include "health/event_journal.h"
#include "health/station_health.h"
#include "modbus/stations.h"
#include "readings/reading_feed.h"
#include "settings/station_settings.h"

#include <QObject>

#include <array>
#include <functional>

namespace health {

// Follows every poll and the port: counts each station's polls, and writes the event journal
// (a station that stops answering and answers again, its preset and sound alarms, its RF, a
// low battery, the port lost and reopened, the program's start and end). A journal that cannot
// be written is reported once through the standard error report; polling goes on.
class HealthMonitor : public QObject, public readings::ReadingListener {
    Q_OBJECT

public:
    struct Station {
        const settings::StationSettings& settings; // who each station is
        std::function<QString()> logFolder;        // may fail, as the Documents folder may
        std::function<qint64()> nowMs;             // milliseconds since 1970
    };

    explicit HealthMonitor(Station station, QObject* parent = nullptr);

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;

    // INÍCIO, after deleting journals older than 90 days; FIM at a normal end.
    void programStarted();
    void programEnded();
    // The log step's failures: when they start, and when lines are written again.
    void logFailed(int station, const QString& text);
    void logRecovered(int station, int linesLost);
    // An event of another part of the program (the alarms' acknowledgements, silences and
    // shelvings) into the journal, beside the monitor's own.
    void noteEvent(const QString& station, const QString& event, const QString& detail) {
        note(station, event, detail);
    }

    const StationHealth& station(int station) const { return stations_[stationSlot(station)]; }
    // "Aguardando", "Respondendo", "Sem resposta", or "Porta fechada" from the moment the port
    // is lost or closed until the station's first poll after it opens again.
    QString stateText(int station) const;
    bool portClosedFor(int station) const { return portClosed_[stationSlot(station)]; }
    qint64 nowMs() const { return station_.nowMs(); }
    // Today's events of this run, oldest first: the newest kMostEventsHeld at most (a flag
    // that chatters at its threshold notes an event at every poll), for the diagnostics
    // window when the journal file cannot be read.
    const QList<Event>& events() const { return events_; }
    static constexpr qsizetype kMostEventsHeld = 500;

    // "sem resposta", "CRC inválido", ...: the kind of a failed poll as the journal words it.
    static QString failureText(modbus::ReplyKind kind);

signals:
    void eventNoted(const health::Event& event);

private:
    // The alarm states of a station as its last good reading left them.
    struct Alarms {
        bool known = false; // set by the first good reading after start
        bool preset1 = false;
        bool preset2 = false;
        bool sound = false;
        bool rfOff = false;
        bool batteryLow = false;
        std::uint16_t peak1 = 0; // tenths of the unit, while preset 1 is on
        std::uint16_t peak2 = 0;
    };

    void followAlarms(int station, const modbus::StationValues& values,
                      const readings::Reading& reading);
    void note(const QString& station, const QString& event, const QString& detail = {});

    Station station_;
    qint64 startMs_ = 0;
    std::array<StationHealth, kStations> stations_{};
    std::array<Alarms, kStations> alarms_{};
    std::array<bool, kStations> portClosed_{};
    QList<Event> events_;
    bool journalFailing_ = false;
};

} // namespace health
