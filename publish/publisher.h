#pragma once

#include "bus/poll_outcome.h"
#include "modbus/stations.h"
#include "publish/mqtt_settings.h"
#include "publish/payloads.h"
#include "readings/reading_feed.h"
#include "settings/station_settings.h"
#include "toolkit/journal_stream.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace alarms {
class AlarmBook;
}
namespace health {
class HealthMonitor;
}

namespace publish {

class AlarmTopics;
class MqttClient;

// Follows every poll and the port, and keeps the broker's retained topics current: the
// program's status, each station's last good reading and whether it answers, and every minute
// its counts of the last hour. While the broker is away only the latest reading of each
// station is kept (the older ones are counted as dropped); everything is published again when
// the connection comes back. The retained topics of stations no longer polled are cleared on
// each connection and when the stations change. Never shows a box: the state of the connection
// is a text.
class Publisher : public QObject, public readings::ReadingListener {
    Q_OBJECT

public:
    struct Stations {
        // Names, addresses, and which stations are polled now (those shown).
        const settings::StationSettings& settings;
        // Whether a station answers, and its counts for the health topic; told of each poll
        // before the publisher.
        const health::HealthMonitor& health;
        // The alarm list, published per station and acknowledged through the broker when
        // reconhecer_remoto is on; none: no alarm topics at all. Acknowledgements take their
        // time from health's clock.
        alarms::AlarmBook* alarms = nullptr;
    };

    Publisher(MqttSettings settings, Stations stations, QObject* parent = nullptr);
    ~Publisher() override;

    void start();
    // "offline" on the status topic, then the goodbye.
    void stop();

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;
    // The stations polled may have changed (the configuration was saved): the retained topics
    // of those no longer polled are cleared, now or on the next connection.
    void stationsChanged();

    // "MQTT: conectado a host:1883", "MQTT: sem conexão com host:1883 — motivo. Nova ...",
    // and on a line of its own what makes remote acknowledgement unsafe, if anything.
    QString stateText() const;
    // What makes remote acknowledgement unsafe on this connection; empty when nothing does.
    const QString& ackExposure() const { return ackExposure_; }
    bool connected() const;
    // Readings replaced by a newer one of the same station before the broker could take them,
    // or lost with the connection before they were written.
    qint64 droppedStates() const;
    // Publishes the health topics now (the timer does it every minute).
    void publishHealth();

    // Acknowledgements through the broker not carried out: reconhecer_remoto is off, or the
    // message was not one (not JSON, a field missing, an unknown alarm or station, too long).
    qint64 remoteAcksIgnored() const;
    qint64 remoteAcksMalformed() const;

    static constexpr int kHealthPeriodMs = 60'000;

signals:
    void stateTextChanged(const QString& text);
    // Each acknowledgement through the broker that was not carried out, and why.
    void remoteAckRefused(const QString& reason);

private:
    struct Slot {
        QByteArray state;          // the last good reading's payload, empty before the first
        QString unit;              // of that reading
        bool statePending = false; // not yet taken by the broker
        std::optional<bool> online;
        QString discoveryKey; // name and unit the discovery configs were published for
    };

    void connectedChanged(bool connected);
    void setOnline(int station, bool online);
    void publishState(int station);
    void publishDiscovery(int station, const QString& unit);
    void publishEverything();
    bool polled(int station) const;
    // Empty retained messages on every topic of the stations not polled, discovery included:
    // the broker then forgets them.
    void clearStationsNotPolled();
    bool send(const QString& topic, const QByteArray& payload, int qos = 1);
    // A line on standard error; never holds the password.
    void report(const QString& text, toolkit::Severity severity);

    MqttSettings settings_;
    Stations stations_;
    std::unique_ptr<MqttClient> client_;
    AlarmTopics* alarmTopics_ = nullptr; // with a book only
    QTimer* healthTimer_ = nullptr;
    std::array<Slot, kStations> slots_{};
    qint64 dropped_ = 0;
    QString lastReported_;
    QString ackExposure_;
};

} // namespace publish
