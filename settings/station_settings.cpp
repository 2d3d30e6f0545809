#include "settings/station_settings.h"

namespace settings {

StationSettings::StationSettings(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("StationSettings"));
}

void StationSettings::apply(StationConfig config, Applied how) {
    const StationConfig before = std::exchange(config_, std::move(config));
    for (int station = 1; station <= kStations; ++station) {
        const StationEntry& was = before.station(station);
        const StationEntry& now = config_.station(station);
        if (was.polled != now.polled)
            emit polledChanged(station, now.polled);
        if (was.name != now.name)
            emit nameChanged(station, now.name);
    }
    if (before != config_)
        emit changed();
    // An edit that changes nothing is no news; a loading or a saving always is.
    if (how != Applied::Edited || before != config_)
        emit applied(how);
}

template <typename Change> void StationSettings::edit(Change change) {
    StationConfig edited = config_;
    change(edited);
    if (edited != config_)
        apply(edited, Applied::Edited);
}

void StationSettings::setPortName(const QString& name) {
    edit([&](StationConfig& c) { c.portName = name; });
}

void StationSettings::setBaudText(const QString& text) {
    edit([&](StationConfig& c) { c.baudRate = typedNumber(text); });
}

void StationSettings::setPolled(int station, bool polled) {
    edit([&](StationConfig& c) { c.station(station).polled = polled; });
}

void StationSettings::setName(int station, const QString& name) {
    edit([&](StationConfig& c) { c.station(station).name = name; });
}

void StationSettings::setAddressText(int station, const QString& text) {
    edit([&](StationConfig& c) { c.station(station).address = typedNumber(text); });
}

void StationSettings::setLogged(int station, bool logged) {
    edit([&](StationConfig& c) { c.station(station).logged = logged; });
}

void StationSettings::setReadIntervalText(const QString& text) {
    edit([&](StationConfig& c) { c.readIntervalS = typedNumber(text); });
}

void StationSettings::setCyclePauseMs(int ms) {
    edit([&](StationConfig& c) { c.cyclePauseMs = ms; });
}

} // namespace settings
