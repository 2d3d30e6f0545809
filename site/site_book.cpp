#include "site/site_book.h"

#include "alarms/alarm_book.h"

#include <algorithm>
#include <array>

namespace site {

namespace {

// An entry listed ATIVO that the operator has not seen yet: not listed before, or listed as
// acknowledged or shelved. One that was ATIVO or NORMALIZADO already waits for the operator.
bool calls(const StationAlarms* before, const alarms::Entry& entry) {
    if (entry.state != alarms::State::Active)
        return false;
    if (!before)
        return true;
    const auto known =
        std::find_if(before->entries.begin(), before->entries.end(),
                     [&entry](const alarms::Entry& listed) { return listed.kind == entry.kind; });
    return known == before->entries.end() || known->state == alarms::State::Acknowledged ||
           known->state == alarms::State::Shelved;
}

// A latched entry ATIVO again: the horn sounds again, SILENCIAR or not, as on its station PC.
bool latchedCameBack(const StationAlarms* before, const alarms::Entry& entry) {
    if (entry.state != alarms::State::Active || !before)
        return false;
    return std::any_of(
        before->entries.begin(), before->entries.end(), [&entry](const alarms::Entry& listed) {
            return listed.kind == entry.kind && listed.state == alarms::State::Normalized;
        });
}

} // namespace

SiteBook::SiteBook(QStringList prefixes, QObject* parent)
    : QObject(parent), prefixes_(std::move(prefixes)) {
    // The first of a prefix listed twice, as QStringList::indexOf finds it.
    for (int i = 0; i < int(prefixes_.size()); ++i) {
        if (!place_.contains(prefixes_.at(i)))
            place_.insert(prefixes_.at(i), i);
    }
}

void SiteBook::message(const QString& topic, const QByteArray& payload, Arrival arrival) {
    const std::optional<Topic> read = readTopic(prefixes_, topic);
    if (!read)
        return ignore(topic, QStringLiteral("tópico que a visão do local não segue"));
    const Key key{placeOf(read->prefix), read->station};
    switch (read->kind) {
    case Topic::Kind::Status:
        return statusMessage(key, read->prefix, payload);
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
        return stateMessage(key, read->prefix, payload, arrival);
    case Topic::Kind::Alarms:
        return alarmsMessage(key, read->prefix, payload);
    case Topic::Kind::Health:
    case Topic::Kind::Ack:
        return ignore(topic, QStringLiteral("tópico que a visão do local não segue"));
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

void SiteBook::statusMessage(const Key& key, const QString& prefix, const QByteArray& payload) {
    if (payload.isEmpty()) {
        pcOnline_.erase(key.first);
    } else if (const std::optional<bool> online = readOnline(payload)) {
        pcOnline_[key.first] = *online;
        // A station PC says online once per connection, before its states: those held now
        // may be from before it stopped. The order of the messages tells it, not the times,
        // which come from two clocks.
        if (*online) {
            for (auto& [stationKey, station] : stations_) {
                if (stationKey.first == key.first)
                    station.heardSinceOnline = false;
            }
        }
    } else {
        return ignore(prefix + QStringLiteral("/status"),
                      QStringLiteral("status que não é online nem offline"));
    }
    emit pcChanged(prefix);
}

void SiteBook::stateMessage(const Key& key, const QString& prefix, const QByteArray& payload,
                            Arrival arrival) {
    if (payload.isEmpty()) {
        // The station PC no longer polls it.
        if (stations_.erase(key) != 0)
            emit stationsChanged();
        return;
    }
    std::optional<StationState> state = readState(payload);
    const auto topic = [&] { return QStringLiteral("%1/%2/state").arg(prefix).arg(key.second); };
    if (!state)
        return ignore(topic(), QStringLiteral("estado que não se lê"));
    if (state->station != key.second)
        return ignore(topic(), QStringLiteral("estado de outra estação"));
    const bool added = !stations_.contains(key);
    SiteStation& station = stationAt(key, prefix);
    if (station.state && state->timeMs > station.state->timeMs) {
        station.spacingsMs << state->timeMs - station.state->timeMs;
        if (station.spacingsMs.size() > kSpacingsKept)
            station.spacingsMs.removeFirst();
    }
    if (!state->name.isEmpty())
        station.name = state->name;
    station.heardSinceOnline = !arrival.retained;
    station.clockAhead = arrival.atMs != 0 && state->timeMs - arrival.atMs > kMostAheadMs;
    if (station.clockAhead) {
        ++statesAhead_;
        lastAhead_ = topic();
    }
    station.state = std::move(state);
    if (added)
        emit stationsChanged();
    else
        emit stationChanged(prefix, key.second);
}

void SiteBook::alarmsMessage(const Key& key, const QString& prefix, const QByteArray& payload) {
    if (payload.isEmpty()) {
        if (alarms_.erase(key) != 0) {
            emit alarmsChanged();
            emit stationAlarmsChanged(prefix, key.second);
        }
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
    const StationAlarms* before = known == alarms_.end() ? nullptr : &known->second;
    const bool came =
        std::any_of(list->entries.begin(), list->entries.end(),
                    [before](const alarms::Entry& entry) { return calls(before, entry); });
    if (const auto named = stations_.find(key);
        named != stations_.end() && !list->name.isEmpty() && named->second.name.isEmpty()) {
        named->second.name = list->name;
        emit stationChanged(prefix, key.second);
    }
    const bool sounds = came || std::any_of(list->entries.begin(), list->entries.end(),
                                            [before](const alarms::Entry& e) {
                                                return latchedCameBack(before, e);
                                            });
    alarms_[key] = std::move(*list);
    if (sounds)
        silence_.alarmCame();
    emit alarmsChanged();
    emit stationAlarmsChanged(prefix, key.second);
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
    if (!connected) {
        brokerAwaySinceMs_ = nowMs;
        // What the broker said is learnt again on the next connection: a last will it
        // published as it shut down does not outlive it, nor do the states held.
        pcOnline_.clear();
        for (auto& [key, station] : stations_)
            station.heardSinceOnline = false;
    }
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
    const auto found = stations_.find({placeOf(prefix), station});
    return found == stations_.end() ? nullptr : &found->second;
}

std::optional<bool> SiteBook::pcOnline(const QString& prefix) const {
    const auto found = pcOnline_.find(placeOf(prefix));
    return found == pcOnline_.end() ? std::nullopt : std::optional<bool>(found->second);
}

qint64 SiteBook::staleAfterMs(const SiteStation& station) {
    if (station.spacingsMs.isEmpty())
        return kLeastStaleMs;
    // Asked for every tile every second: the median found in place, without a copy of the list.
    std::array<qint64, kSpacingsKept> sorted{};
    const auto count = std::min<std::size_t>(std::size_t(station.spacingsMs.size()), sorted.size());
    std::copy_n(station.spacingsMs.begin(), count, sorted.begin());
    const auto middle = sorted.begin() + count / 2;
    std::nth_element(sorted.begin(), middle, sorted.begin() + count);
    return std::max(kLeastStaleMs, kStaleSpacings * *middle);
}

NotCurrent SiteBook::whyNotCurrent(const SiteStation& station, qint64 nowMs) const {
    if (!brokerConnected_)
        return NotCurrent::BrokerAway;
    if (pcOnline(station.prefix) == false)
        return NotCurrent::PcStopped;
    if (station.online == false)
        return NotCurrent::StationSilent;
    if (!station.state)
        return NotCurrent::NoState;
    if (station.clockAhead || station.state->timeMs - nowMs > kMostAheadMs)
        return NotCurrent::ClockAhead;
    if (!station.heardSinceOnline)
        return NotCurrent::NotHeard;
    if (nowMs - station.state->timeMs > staleAfterMs(station))
        return NotCurrent::Old;
    return NotCurrent::No;
}

const StationAlarms* SiteBook::stationAlarms(const QString& prefix, int station) const {
    const auto found = alarms_.find({placeOf(prefix), station});
    return found == alarms_.end() ? nullptr : &found->second;
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
    QList<alarms::Entry> entries;
    for (const auto& [key, stationAlarms] : alarms_)
        entries << stationAlarms.entries;
    return silence_.horn(alarms::hornFor(entries));
}

bool SiteBook::silence() {
    if (!silence_.silence(horn()))
        return false;
    emit alarmsChanged();
    return true;
}

} // namespace site
