#include "settings/station_settings.h"

namespace settings {

namespace {

// Sets `field`; true when the value is new.
template <typename T> bool assign(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

StationSettings::StationSettings(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("StationSettings"));
    // The names the panels carry until a configuration gives theirs.
    for (int station = 1; station <= kStations; ++station)
        stations_[stationSlot(station)].name = QStringLiteral("ANEMÔMETRO %1").arg(station);
}

void StationSettings::setPortName(const QString& name) {
    if (assign(portName_, name))
        emit changed();
}

void StationSettings::setBaudText(const QString& text) {
    if (assign(baudText_, text))
        emit changed();
}

void StationSettings::setShown(int station, bool shown) {
    if (!assign(stations_[stationSlot(station)].shown, shown))
        return;
    emit shownChanged(station, shown);
    emit changed();
}

void StationSettings::setName(int station, const QString& name) {
    if (!assign(stations_[stationSlot(station)].name, name))
        return;
    emit nameChanged(station, name);
    emit changed();
}

void StationSettings::setAddressText(int station, const QString& text) {
    if (assign(stations_[stationSlot(station)].address, text))
        emit changed();
}

void StationSettings::setLogged(int station, bool logged) {
    if (assign(stations_[stationSlot(station)].logged, logged))
        emit changed();
}

void StationSettings::setReadIntervalText(const QString& text) {
    if (assign(readIntervalText_, text))
        emit changed();
}

void StationSettings::setCyclePauseMs(int ms) {
    if (assign(cyclePauseMs_, ms))
        emit changed();
}

} // namespace settings
