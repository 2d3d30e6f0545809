#include "site/site_book.h"

#include "alarms/alarm_book.h"

#include <algorithm>

namespace site {

namespace {

bool listedActive(const StationAlarms& list, const alarms::Entry& entry) {
    return std::any_of(list.entries.begin(), list.entries.end(), [&entry](const auto& known) {
        return known.kind == entry.kind && known.state == alarms::State::Active &&
               known.repetitions == entry.repetitions;
    });
}

} // namespace

SiteBook::SiteBook(QStringList prefixes, QObject* parent)
    : QObject(parent), prefixes_(std::move(prefixes)) {}

void SiteBook::message(const QString& topic, const QByteArray& payload) {
    const std::optional<Topic> read = readTopic(prefixes_, topic);
    if (!read)
        return ignore(topic, QStringLiteral("tópico que a visão do local não segue"));
    const Key key{int(prefixes_.indexOf(read->prefix)), read->station};
    switch (read->kind) {
    case Topic::Kind::Status: {
        if (payload.isEmpty()) {
            pcOnline_.erase(key.first);
        } else if (const std::optional<bool> online = readOnline(payload)) {
            pcOnline_[key.first] = *online;
        } else {
            return ignore(topic, QStringLiteral("status que não é online nem offline"));
        }
        emit pcChanged(read->prefix);
        return;
    }
    case Topic::Kind::Availability: {
        const auto known = stations_.find(key);
        if (payload.isEmpty()) {
            if (known != stations_.end()) {
                known->second.online.reset();
                emit stationChanged(read->prefix, read->station);
            }
            return;
        }
        const std::optional<bool> online = readOnline(payload);
        if (!online)
            return ignore(topic, QStringLiteral("disponibilidade que não é online nem offline"));
        const bool added = known == stations_.end();
        stationAt(key, read->prefix).online = *online;
        if (added)
            emit stationsChanged();
        else
            emit stationChanged(read->prefix, read->station);
        return;
    }
    case Topic::Kind::State:
        return stateMessage(key, read->prefix, payload);
    case Topic::Kind::Alarms:
        return alarmsMessage(key, read->prefix, payload);
    }
}

SiteStation& SiteBook::stationAt(const Key& key, const QString& prefix) {
    SiteStation& station = stations_[key];
    station.prefix = prefix;
    station.station = key.second;
    // Its alarm list may have come first, with its name.
    if (const auto listed = alarms_.find(key); station.name.isEmpty() && listed != alarms_.end())
        station.name = listed->second.name;
    return station;
}

void SiteBook::stateMessage(const Key& key, const QString& prefix, const QByteArray& payload) {
    if (payload.isEmpty()) {
        // The station PC no longer polls it.
        if (stations_.erase(key) != 0)
            emit stationsChanged();
        return;
    }
    std::optional<StationState> state = readState(payload);
    const QString topic = QStringLiteral("%1/%2/state").arg(prefix).arg(key.second);
    if (!state)
        return ignore(topic, QStringLiteral("estado que não se lê"));
    if (state->station != key.second)
        return ignore(topic, QStringLiteral("estado de outra estação"));
    const bool added = !stations_.contains(key);
    SiteStation& station = stationAt(key, prefix);
    if (station.state && state->timeMs > station.state->timeMs) {
        station.spacingsMs << state->timeMs - station.state->timeMs;
        if (station.spacingsMs.size() > kSpacingsKept)
            station.spacingsMs.removeFirst();
    }
    if (!state->name.isEmpty())
        station.name = state->name;
    station.state = std::move(state);
    if (added)
        emit stationsChanged();
    else
        emit stationChanged(prefix, key.second);
}

void SiteBook::alarmsMessage(const Key& key, const QString& prefix, const QByteArray& payload) {
    if (payload.isEmpty()) {
        if (alarms_.erase(key) != 0)
            emit alarmsChanged();
        return;
    }
    std::optional<StationAlarms> list = readAlarms(payload);
    const QString topic = key.second == alarms::kPortStation
                              ? prefix + QStringLiteral("/alarms")
                              : QStringLiteral("%1/%2/alarms").arg(prefix).arg(key.second);
    if (!list)
        return ignore(topic, QStringLiteral("lista de alarmes que não se lê"));
    if (list->station != key.second)
        return ignore(topic, QStringLiteral("lista de alarmes de outra estação"));
    const auto known = alarms_.find(key);
    bool came = false;
    for (const alarms::Entry& entry : list->entries) {
        if (entry.state == alarms::State::Active &&
            (known == alarms_.end() || !listedActive(known->second, entry)))
            came = true;
    }
    if (const auto named = stations_.find(key);
        named != stations_.end() && !list->name.isEmpty() && named->second.name.isEmpty()) {
        named->second.name = list->name;
        emit stationChanged(prefix, key.second);
    }
    alarms_[key] = std::move(*list);
    if (came)
        silenced_ = false;
    emit alarmsChanged();
    if (came)
        emit newActive();
}

void SiteBook::ignore(const QString& topic, const QString& why) {
    ++ignored_;
    lastIgnored_ = QStringLiteral("%1: %2").arg(topic, why);
}

void SiteBook::setBrokerConnected(bool connected, qint64 nowMs) {
    if (connected == brokerConnected_ && brokerAwaySinceMs_ != 0)
        return;
    brokerConnected_ = connected;
    if (!connected)
        brokerAwaySinceMs_ = nowMs;
    emit brokerChanged();
}

QList<const SiteStation*> SiteBook::stations() const {
    QList<const SiteStation*> list;
    list.reserve(qsizetype(stations_.size()));
    for (const auto& [key, station] : stations_)
        list << &station;
    return list;
}

const SiteStation* SiteBook::find(const QString& prefix, int station) const {
    const auto found = stations_.find({int(prefixes_.indexOf(prefix)), station});
    return found == stations_.end() ? nullptr : &found->second;
}

std::optional<bool> SiteBook::pcOnline(const QString& prefix) const {
    const auto found = pcOnline_.find(int(prefixes_.indexOf(prefix)));
    return found == pcOnline_.end() ? std::nullopt : std::optional<bool>(found->second);
}

qint64 SiteBook::staleAfterMs(const SiteStation& station) {
    if (station.spacingsMs.isEmpty())
        return kLeastStaleMs;
    QList<qint64> sorted = station.spacingsMs;
    std::sort(sorted.begin(), sorted.end());
    return std::max(kLeastStaleMs, kStaleSpacings * sorted.at(sorted.size() / 2));
}

bool SiteBook::current(const SiteStation& station, qint64 nowMs) const {
    return brokerConnected_ && station.state && station.online != false &&
           pcOnline(station.prefix) != false &&
           nowMs - station.state->timeMs <= staleAfterMs(station);
}

QList<SiteAlarm> SiteBook::alarms() const {
    QList<SiteAlarm> list;
    for (const auto& [key, stationAlarms] : alarms_) {
        const QString name =
            key.second == alarms::kPortStation ? QStringLiteral("-") : stationAlarms.name;
        for (const alarms::Entry& entry : stationAlarms.entries)
            list << SiteAlarm{prefixes_.at(key.first), name, entry};
    }
    std::stable_sort(list.begin(), list.end(), [](const SiteAlarm& a, const SiteAlarm& b) {
        return a.entry.sinceMs > b.entry.sinceMs;
    });
    return list;
}

alarms::Horn SiteBook::horn() const {
    if (silenced_)
        return alarms::Horn::None;
    QList<alarms::Entry> entries;
    for (const auto& [key, stationAlarms] : alarms_)
        entries << stationAlarms.entries;
    return alarms::hornFor(entries);
}

bool SiteBook::silence() {
    if (horn() == alarms::Horn::None)
        return false;
    silenced_ = true;
    emit alarmsChanged();
    return true;
}

} // namespace site
