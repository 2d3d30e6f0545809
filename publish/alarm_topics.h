#pragma once

#include "modbus/stations.h"
#include "publish/mqtt_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

namespace alarms {
class AlarmBook;
}
namespace settings {
class StationSettings;
}

namespace publish {

class MqttClient;

// The alarm list on the broker: each polled station's alarms on "<prefix>/<n>/alarms" and the
// port's on "<prefix>/alarms", retained, sent again only when their payload changes and after
// each connection; and the acknowledgements asked on "<prefix>/<n>/ack" and "<prefix>/ack",
// carried out on the book when reconhecer_remoto is on. A message that asks nothing sensible is
// counted and told, never more.
class AlarmTopics : public QObject {
    Q_OBJECT

public:
    struct Parts {
        const MqttSettings& settings;
        const settings::StationSettings& stations;
        alarms::AlarmBook& book;
        MqttClient& client;
        std::function<qint64()> nowMs; // milliseconds since 1970, for the acknowledgement
    };

    explicit AlarmTopics(Parts parts, QObject* parent = nullptr);

    // After a connection: every list and discovery config again, as the broker may have lost
    // them.
    void publishAll();
    // The lists whose payload differs from the one last sent, the names included.
    void publishChanged();
    // Empty retained messages on a station's alarms topic and its discovery config.
    void clear(int station);

    qint64 acknowledged() const { return acknowledged_; }
    qint64 ignored() const { return ignored_; }
    qint64 malformed() const { return malformed_; }

signals:
    // An acknowledgement through the broker that was not carried out, and why, in Portuguese.
    void refused(const QString& why);

private:
    bool polled(int station) const;
    QString nameOf(int station) const;
    void publishDiscovery(int station);
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);

    const MqttSettings& settings_;
    const settings::StationSettings& stations_;
    alarms::AlarmBook& book_;
    MqttClient& client_;
    std::function<qint64()> nowMs_;
    // By station, the port first: the payload and discovery name the broker has now.
    std::array<QByteArray, kStations + 1> sent_{};
    std::array<QString, kStations + 1> discoveryNames_{};
    qint64 acknowledged_ = 0;
    qint64 ignored_ = 0;
    qint64 malformed_ = 0;
};

} // namespace publish
