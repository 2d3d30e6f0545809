#pragma once

#include "modbus/stations.h"

#include <QObject>
#include <QString>

#include <array>

namespace settings {

// How the settings now in force came to be: read from ConfigALL.txt at start, or saved.
enum class Applied { Loaded, Saved };

// Who the stations are and how the bus is set up: the port, the rate, which stations are polled
// (those at or below the station count; all eight until a configuration applies its count), each
// station's name, address text and log switch, the read interval and the cycle pause. The
// configuration window writes into it when each change takes effect (an address, a log switch,
// the port and the rate as they are edited; the count as it is chosen; names on saving); the
// bus, the log step, health, the history, the publisher and the windows read it.
class StationSettings : public QObject {
    Q_OBJECT

public:
    explicit StationSettings(QObject* parent = nullptr);

    // The port's text: a bare name is a device under /dev/, a name with '/' a path.
    QString portName() const { return portName_; }
    void setPortName(const QString& name);
    QString baudText() const { return baudText_; }
    void setBaudText(const QString& text);

    bool shown(int station) const { return stations_[stationSlot(station)].shown; }
    void setShown(int station, bool shown);
    QString name(int station) const { return stations_[stationSlot(station)].name; }
    void setName(int station, const QString& name);
    // As typed: converted when a request is built, so a bad address fails there.
    QString addressText(int station) const { return stations_[stationSlot(station)].address; }
    void setAddressText(int station, const QString& text);
    bool logged(int station) const { return stations_[stationSlot(station)].logged; }
    void setLogged(int station, bool logged);

    QString readIntervalText() const { return readIntervalText_; }
    void setReadIntervalText(const QString& text);
    int cyclePauseMs() const { return cyclePauseMs_; }
    void setCyclePauseMs(int ms);

    // Tells the settings are in force as loaded at start or as saved.
    void announce(Applied how) { emit applied(how); }

signals:
    void shownChanged(int station, bool shown);
    void nameChanged(int station, const QString& name);
    // Any change of any setting.
    void changed();
    void applied(settings::Applied how);

private:
    struct Station {
        bool shown = true;
        QString name;
        QString address;
        bool logged = false;
    };

    QString portName_;
    QString baudText_;
    std::array<Station, kStations> stations_{};
    QString readIntervalText_;
    int cyclePauseMs_ = 0;
};

} // namespace settings
