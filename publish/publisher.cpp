#include "publish/publisher.h"

#include "health/health_monitor.h"
#include "publish/alarm_topics.h"
#include "publish/connection_text.h"
#include "publish/mqtt_client.h"

#include <QDateTime>
#include <QTimer>

#include <cstdio>

namespace publish {

namespace {

const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";

} // namespace

Publisher::Publisher(MqttSettings settings, Stations stations, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), stations_(std::move(stations)),
      ackExposure_(ackExposureText(settings_, AckSender::StationPc)) {
    client_ = std::make_unique<MqttClient>(
        settings_, MqttClient::Will{statusTopic(settings_.prefix), kOffline});
    connect(client_.get(), &MqttClient::connectedChanged, this, &Publisher::connectedChanged);
    connect(client_.get(), &MqttClient::failed, this, [this](const QString& reason) {
        // Told once per reason: the retries of a broker that stays away add no line.
        if (reason != lastReported_)
            report(reason, toolkit::Severity::Warning);
        emit stateTextChanged(stateText());
    });
    if (stations_.alarms) {
        const health::HealthMonitor& health = stations_.health;
        alarmTopics_ = new AlarmTopics({.settings = settings_,
                                        .stations = stations_.settings,
                                        .book = *stations_.alarms,
                                        .client = *client_,
                                        .nowMs = [&health] { return health.nowMs(); }},
                                       this);
        connect(alarmTopics_, &AlarmTopics::refused, this, &Publisher::remoteAckRefused);
    }
    healthTimer_ = new QTimer(this);
    healthTimer_->setInterval(kHealthPeriodMs);
    connect(healthTimer_, &QTimer::timeout, this, &Publisher::publishHealth);
}

Publisher::~Publisher() {
    stop();
}

void Publisher::start() {
    if (!ackExposure_.isEmpty())
        report(ackExposure_, toolkit::Severity::Warning);
    client_->start();
    healthTimer_->start();
    emit stateTextChanged(stateText());
}

void Publisher::stop() {
    healthTimer_->stop();
    client_->stop(statusTopic(settings_.prefix), kOffline);
}

qint64 Publisher::droppedStates() const {
    return dropped_ + client_->lostMessages();
}

bool Publisher::connected() const {
    return client_->connected();
}

QString Publisher::stateText() const {
    const QString broker = QStringLiteral("%1:%2").arg(settings_.host).arg(settings_.port);
    QString text;
    if (client_->connected())
        text = QStringLiteral("MQTT: conectado a %1").arg(broker);
    else if (client_->lastError().isEmpty())
        text = QStringLiteral("MQTT: conectando a %1...").arg(broker);
    else
        text = QStringLiteral("MQTT: sem conexão com %1 — %2. Nova tentativa em até 30 s.")
                   .arg(broker, client_->lastError());
    return ackExposure_.isEmpty() ? text : text + u'\n' + ackExposure_;
}

bool Publisher::send(const QString& topic, const QByteArray& payload, int qos) {
    return client_->publish(topic, payload, qos, true);
}

void Publisher::pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) {
    if (outcome.station < 1 || outcome.station > kStations || outcome.cutShort ||
        !polled(outcome.station))
        return;
    Slot& slot = slots_[stationSlot(outcome.station)];
    if (!reading || !outcome.values) {
        // Health has counted this poll already: it says when the failures make the station
        // silent.
        if (!stations_.health.station(outcome.station).answering() || outcome.portLost)
            setOnline(outcome.station, false);
        return;
    }
    const StationInfo info{outcome.station, stations_.settings.name(outcome.station),
                           stations_.settings.addressText(outcome.station)};
    if (slot.statePending && !connected())
        ++dropped_;
    slot.state = stateJson(info, *outcome.values, *reading,
                           QDateTime::fromMSecsSinceEpoch(outcome.replyReadMs));
    slot.statePending = true;
    slot.unit = reading->unitText;
    setOnline(outcome.station, true);
    if (connected()) {
        publishDiscovery(outcome.station, slot.unit);
        publishState(outcome.station);
    }
}

void Publisher::portStateChanged(bus::PortState, bus::PortState to, const QString&) {
    if (to != bus::PortState::Lost)
        return;
    for (int station = 1; station <= kStations; ++station) {
        if (slots_[stationSlot(station)].online)
            setOnline(station, false);
    }
}

void Publisher::stationsChanged() {
    clearStationsNotPolled();
    if (alarmTopics_)
        alarmTopics_->publishChanged();
}

qint64 Publisher::remoteAcksIgnored() const {
    return alarmTopics_ ? alarmTopics_->ignored() : 0;
}

qint64 Publisher::remoteAcksMalformed() const {
    return alarmTopics_ ? alarmTopics_->malformed() : 0;
}

bool Publisher::polled(int station) const {
    return stations_.settings.polled(station);
}

void Publisher::clearStationsNotPolled() {
    if (!connected())
        return;
    for (int station = 1; station <= kStations; ++station) {
        if (polled(station))
            continue;
        slots_[stationSlot(station)] = Slot{};
        for (const QString& topic :
             {stateTopic(settings_.prefix, station), availabilityTopic(settings_.prefix, station),
              healthTopic(settings_.prefix, station)})
            send(topic, {});
        // Cleared whether discovery is on or not: it may have been on before.
        for (const Message& config : discoveryConfigs(settings_, {station, {}, {}}, {}))
            send(config.topic, {});
        if (alarmTopics_)
            alarmTopics_->clear(station);
    }
}

void Publisher::setOnline(int station, bool online) {
    Slot& slot = slots_[stationSlot(station)];
    if (slot.online == online)
        return;
    slot.online = online;
    send(availabilityTopic(settings_.prefix, station), online ? kOnline : kOffline);
}

void Publisher::publishState(int station) {
    Slot& slot = slots_[stationSlot(station)];
    if (slot.state.isEmpty())
        return;
    // Gathered with the others of the second, at QoS 0: a reading lost with a connection is
    // replaced by the next one, and every station's last reading is published again on
    // each reconnection.
    if (client_->publishSoon(stateTopic(settings_.prefix, station), slot.state, 0, true))
        slot.statePending = false;
}

void Publisher::publishDiscovery(int station, const QString& unit) {
    if (!settings_.discovery)
        return;
    Slot& slot = slots_[stationSlot(station)];
    const StationInfo info{station, stations_.settings.name(station),
                           stations_.settings.addressText(station)};
    const QString key = info.name + u'\n' + unit;
    if (slot.discoveryKey == key)
        return;
    for (const Message& config : discoveryConfigs(settings_, info, unit)) {
        if (!send(config.topic, config.payload))
            return;
    }
    slot.discoveryKey = key;
}

void Publisher::publishEverything() {
    send(statusTopic(settings_.prefix), kOnline);
    clearStationsNotPolled();
    for (int station = 1; station <= kStations; ++station) {
        Slot& slot = slots_[stationSlot(station)];
        if (slot.state.isEmpty() && !slot.online)
            continue;
        slot.discoveryKey.clear();
        if (!slot.state.isEmpty())
            publishDiscovery(station, slot.unit);
        if (slot.online)
            send(availabilityTopic(settings_.prefix, station), *slot.online ? kOnline : kOffline);
        publishState(station);
    }
    if (alarmTopics_)
        alarmTopics_->publishAll();
    publishHealth();
}

void Publisher::publishHealth() {
    if (!connected())
        return;
    const qint64 now = stations_.health.nowMs();
    for (int station = 1; station <= kStations; ++station) {
        const health::StationHealth& counts = stations_.health.station(station);
        if (!polled(station) || counts.lastHour(now).polls == 0)
            continue;
        send(healthTopic(settings_.prefix, station), healthJson(station, counts, now), 0);
    }
}

void Publisher::report(const QString& text, toolkit::Severity severity) {
    lastReported_ = text;
    std::fprintf(stderr, "%sanemometros: MQTT %s:%d: %s\n",
                 toolkit::severityPrefix(severity).constData(), qPrintable(settings_.host),
                 settings_.port, qPrintable(text));
}

void Publisher::connectedChanged(bool connected) {
    if (connected)
        report(QStringLiteral("conectado"), toolkit::Severity::Information);
    else
        report(QStringLiteral("conexão perdida"), toolkit::Severity::Warning);
    if (connected)
        publishEverything();
    emit stateTextChanged(stateText());
}

} // namespace publish
