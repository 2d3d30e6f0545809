#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The topics of a station PC on the broker, built and read here only: the publisher, the remote
// acknowledgement and the site view use this one map. Topics never hold a station's name or
// address, only its slot number; the station PC itself and its port are station 0.
namespace publish {

struct Topic {
    // <prefix>/status, <prefix>/<n>/state, <prefix>/<n>/availability, <prefix>/<n>/health,
    // <prefix>/<n>/alarms and <prefix>/alarms (the port's), <prefix>/<n>/ack and <prefix>/ack.
    enum class Kind { Status, State, Availability, Health, Alarms, Ack };
    QString prefix;
    int station = 0;
    Kind kind = Kind::State;
};

QString topicOf(const QString& prefix, int station, Topic::Kind kind);

inline QString statusTopic(const QString& prefix) {
    return topicOf(prefix, 0, Topic::Kind::Status);
}
inline QString stateTopic(const QString& prefix, int station) {
    return topicOf(prefix, station, Topic::Kind::State);
}
inline QString availabilityTopic(const QString& prefix, int station) {
    return topicOf(prefix, station, Topic::Kind::Availability);
}
inline QString healthTopic(const QString& prefix, int station) {
    return topicOf(prefix, station, Topic::Kind::Health);
}
inline QString alarmsTopic(const QString& prefix, int station) {
    return topicOf(prefix, station, Topic::Kind::Alarms);
}
inline QString ackTopic(const QString& prefix, int station) {
    return topicOf(prefix, station, Topic::Kind::Ack);
}

// The topic among the followed prefixes, by the longest prefix that matches; none for any
// other topic (a station number outside 1 to 8, a level more or less, another prefix).
std::optional<Topic> readTopic(const QStringList& prefixes, const QString& topic);

// The filters that bring what the site view follows of `prefixes`: status, states,
// availability and alarm lists.
QStringList siteFilters(const QStringList& prefixes);

} // namespace publish
