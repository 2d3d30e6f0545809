#include "publish/alarm_topics.h"

#include "alarms/alarm_book.h"
#include "publish/mqtt_client.h"
#include "publish/payloads.h"
#include "publish/remote_ack.h"
#include "settings/station_settings.h"

#include <QLoggingCategory>

namespace publish {

namespace {

// Each acknowledgement through the broker, carried out or not: QT_LOGGING_RULES=
// "anemometros.mqtt.info=true" shows them without a flood of lines from a misbehaving client.
Q_LOGGING_CATEGORY(lcMqtt, "anemometros.mqtt", QtWarningMsg)

} // namespace

AlarmTopics::AlarmTopics(Parts parts, QObject* parent)
    : QObject(parent), settings_(parts.settings), stations_(parts.stations), book_(parts.book),
      client_(parts.client), nowMs_(std::move(parts.nowMs)) {
    connect(&book_, &alarms::AlarmBook::changed, this, &AlarmTopics::publishChanged);
    connect(&client_, &MqttClient::messageReceived, this, &AlarmTopics::messageReceived);
    client_.subscribe({settings_.prefix + QStringLiteral("/+/ack"),
                       ackTopic(settings_.prefix, alarms::kPortStation)});
}

bool AlarmTopics::polled(int station) const {
    return station == alarms::kPortStation || stations_.polled(station);
}

QString AlarmTopics::nameOf(int station) const {
    return station == alarms::kPortStation ? stations_.portName() : stations_.name(station);
}

void AlarmTopics::publishAll() {
    sent_.fill({});
    discoveryNames_.fill({});
    publishChanged();
}

void AlarmTopics::publishChanged() {
    if (!client_.connected())
        return;
    for (int station = 0; station <= kStations; ++station) {
        if (!polled(station))
            continue;
        publishDiscovery(station);
        QByteArray payload = alarmsPayload(station, nameOf(station), book_.entries());
        if (payload != sent_[station] &&
            client_.publish(alarmsTopic(settings_.prefix, station), payload, 1, true))
            sent_[station] = std::move(payload);
    }
}

void AlarmTopics::publishDiscovery(int station) {
    if (!settings_.discovery || station == alarms::kPortStation)
        return;
    const StationInfo info{station, stations_.name(station), {}};
    if (discoveryNames_[station] == info.name)
        return;
    const Message config = alarmDiscoveryConfig(settings_, info);
    if (client_.publish(config.topic, config.payload, 1, true))
        discoveryNames_[station] = info.name;
}

void AlarmTopics::clear(int station) {
    sent_[station].clear();
    discoveryNames_[station].clear();
    client_.publish(alarmsTopic(settings_.prefix, station), {}, 1, true);
    // Cleared whether discovery is on or not: it may have been on before.
    client_.publish(alarmDiscoveryConfig(settings_, {station, {}, {}}).topic, {}, 1, true);
}

void AlarmTopics::messageReceived(const QString& topic, const QByteArray& payload, bool retained) {
    const auto refuse = [this](qint64& count, const QString& why) {
        ++count;
        qCInfo(lcMqtt).noquote() << why;
        emit refused(why);
    };
    if (!settings_.remoteAck)
        return refuse(ignored_, QStringLiteral("reconhecimento remoto em %1 ignorado: "
                                               "reconhecer_remoto está desligado")
                                    .arg(topic));
    // A retained acknowledgement would be carried out again at every connection.
    if (retained)
        return refuse(
            malformed_,
            QStringLiteral("reconhecimento remoto em %1 ignorado: mensagem retida").arg(topic));
    const RemoteAckRead read = readRemoteAck(settings_.prefix, topic, payload);
    if (!read.ack)
        return refuse(malformed_,
                      QStringLiteral("reconhecimento remoto ignorado: %1").arg(read.problem));
    const RemoteAck& ack = *read.ack;
    const QString user = remoteUser(ack.by);
    if (ack.kind) {
        book_.acknowledge({{ack.station, *ack.kind}}, user, nowMs_());
    } else if (ack.station == alarms::kPortStation) {
        book_.acknowledgeAll(user, nowMs_());
    } else {
        QList<alarms::Key> keys;
        for (const alarms::Entry& entry : book_.entries()) {
            if (entry.station == ack.station)
                keys.append(entry.key());
        }
        book_.acknowledge(keys, user, nowMs_());
    }
    ++acknowledged_;
    qCInfo(lcMqtt).noquote() << "reconhecimento remoto em" << topic << "por" << user;
}

} // namespace publish
