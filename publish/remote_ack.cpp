#include "publish/remote_ack.h"

#include "modbus/stations.h"
#include "publish/topics.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace publish {

namespace {

RemoteAckRead refused(const QString& why) {
    return {std::nullopt, why};
}

// The station of "<prefix>/<n>/ack" or "<prefix>/ack"; none for any other topic.
std::optional<int> stationOf(const QString& prefix, const QString& topic) {
    const std::optional<Topic> read = readTopic({prefix}, topic);
    if (!read || read->prefix != prefix || read->kind != Topic::Kind::Ack)
        return std::nullopt;
    return read->station;
}

// A name for the journal's line: printable, on one line, short.
bool goodAcker(const QString& by) {
    if (by.trimmed().isEmpty() || by.size() > kMostAckerChars)
        return false;
    for (const QChar c : by) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

} // namespace

RemoteAckRead readRemoteAck(const QString& prefix, const QString& topic,
                            const QByteArray& payload) {
    const std::optional<int> station = stationOf(prefix, topic);
    if (!station)
        return refused(QStringLiteral("tópico %1 sem estação de 1 a %2").arg(topic).arg(kStations));
    if (payload.size() > kMostAckBytes)
        return refused(
            QStringLiteral("mensagem em %1 com mais de %2 bytes").arg(topic).arg(kMostAckBytes));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refused(QStringLiteral("mensagem em %1 não é um objeto JSON").arg(topic));
    const QJsonObject object = document.object();
    const QJsonValue alarm = object.value(QStringLiteral("alarm"));
    const QJsonValue by = object.value(QStringLiteral("by"));
    if (!alarm.isString() || !by.isString())
        return refused(QStringLiteral("mensagem em %1 sem \"alarm\" ou \"by\"").arg(topic));
    if (!goodAcker(by.toString()))
        return refused(
            QStringLiteral("\"by\" em %1 vazio, longo demais ou com caracteres de controle")
                .arg(topic));
    RemoteAck ack{*station, std::nullopt, by.toString().trimmed()};
    if (alarm.toString() != u"*") {
        ack.kind = alarms::kindFromText(alarm.toString());
        if (!ack.kind || !alarms::validStation(*ack.kind, *station))
            return refused(QStringLiteral("alarme \"%1\" desconhecido em %2")
                               .arg(alarm.toString().left(kMostAckerChars), topic));
    }
    return {ack, {}};
}

QString remoteUser(const QString& by) {
    return by + QStringLiteral(" (remoto)");
}

} // namespace publish
