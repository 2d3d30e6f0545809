#include "publish/topics.h"

#include "modbus/stations.h"

#include <array>
#include <utility>

namespace publish {

namespace {

// The last level of each kind's topic.
constexpr std::array<std::pair<Topic::Kind, const char*>, 6> kLevels{{
    {Topic::Kind::Status, "status"},
    {Topic::Kind::State, "state"},
    {Topic::Kind::Availability, "availability"},
    {Topic::Kind::Health, "health"},
    {Topic::Kind::Alarms, "alarms"},
    {Topic::Kind::Ack, "ack"},
}};

QLatin1String levelOf(Topic::Kind kind) {
    for (const auto& [known, level] : kLevels) {
        if (known == kind)
            return QLatin1String(level);
    }
    return {};
}

std::optional<Topic::Kind> kindOf(QStringView level) {
    for (const auto& [kind, text] : kLevels) {
        if (level == QLatin1String(text))
            return kind;
    }
    return std::nullopt;
}

// Only the status, the port's alarms and its acknowledgement sit right under the prefix.
bool ofThePc(Topic::Kind kind) {
    return kind == Topic::Kind::Status || kind == Topic::Kind::Alarms || kind == Topic::Kind::Ack;
}

} // namespace

QString topicOf(const QString& prefix, int station, Topic::Kind kind) {
    if (station == 0 && ofThePc(kind))
        return prefix + u'/' + levelOf(kind);
    return QStringLiteral("%1/%2/%3").arg(prefix).arg(station).arg(levelOf(kind));
}

std::optional<Topic> readTopic(const QStringList& prefixes, const QString& topic) {
    std::optional<Topic> found;
    for (const QString& prefix : prefixes) {
        // The level after the prefix and the prefix's last letter first: most prefixes differ
        // from the topic's only there.
        if (topic.size() <= prefix.size() || topic.at(prefix.size()) != u'/' ||
            (!prefix.isEmpty() && topic.at(prefix.size() - 1) != prefix.back()) ||
            !topic.startsWith(prefix) || (found && found->prefix.size() >= prefix.size()))
            continue;
        const QStringView rest = QStringView(topic).mid(prefix.size() + 1);
        if (const std::optional<Topic::Kind> kind = kindOf(rest); kind && ofThePc(*kind)) {
            found = Topic{prefix, 0, *kind};
        } else if (rest.size() > 2 && rest.at(1) == u'/' && rest.at(0) >= u'1' &&
                   rest.at(0) < QChar(u'1' + kStations)) {
            const std::optional<Topic::Kind> stationKind = kindOf(rest.mid(2));
            if (stationKind && *stationKind != Topic::Kind::Status)
                found = Topic{prefix, rest.at(0).unicode() - u'0', *stationKind};
        }
    }
    return found;
}

QStringList siteFilters(const QStringList& prefixes) {
    QStringList filters;
    for (const QString& prefix : prefixes)
        filters << prefix + QStringLiteral("/status") << prefix + QStringLiteral("/alarms")
                << prefix + QStringLiteral("/+/state") << prefix + QStringLiteral("/+/availability")
                << prefix + QStringLiteral("/+/alarms");
    return filters;
}

} // namespace publish
