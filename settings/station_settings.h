#pragma once

#include "settings/station_config.h"

#include <QObject>
#include <QString>

namespace settings {

// How the settings now in force came to be: read from ConfigALL.txt at start, saved, or edited
// in the configuration window as it takes effect (an address, a log switch, the port and the
// rate as they are typed; the count as it is chosen).
enum class Applied { Loaded, Saved, Edited };

// Who the stations are and how the bus is set up, as one value (StationConfig). The
// configuration window hands it over; the bus, the log step, health, the history, the alarms,
// the publisher and the windows read it and hear of its changes.
class StationSettings : public QObject {
    Q_OBJECT

public:
    explicit StationSettings(QObject* parent = nullptr);

    const StationConfig& config() const { return config_; }
    // Everything at once: the stations that changed are told, then `changed` and `applied`,
    // once each, when every setting is in force.
    void apply(StationConfig config, Applied how);

    // The port's text: a bare name is a device under /dev/, a name with '/' a path.
    QString portName() const { return config_.portName; }
    QString baudText() const { return config_.baudRate.text; }
    // At or below the station count (all eight until a configuration applies its count).
    bool polled(int station) const { return config_.station(station).polled; }
    QString name(int station) const { return config_.station(station).name; }
    // As typed: converted when a request is built, so a bad address fails there.
    QString addressText(int station) const { return config_.station(station).address.text; }
    bool logged(int station) const { return config_.station(station).logged; }
    QString readIntervalText() const { return config_.readIntervalS.text; }
    int cyclePauseMs() const { return config_.cyclePauseMs; }

    // One setting as an edit takes effect: the value with it changed, applied as Edited.
    void setPortName(const QString& name);
    void setBaudText(const QString& text);
    void setPolled(int station, bool polled);
    void setName(int station, const QString& name);
    void setAddressText(int station, const QString& text);
    void setLogged(int station, bool logged);
    void setReadIntervalText(const QString& text);
    void setCyclePauseMs(int ms);

signals:
    void polledChanged(int station, bool polled);
    void nameChanged(int station, const QString& name);
    // Any change of any setting.
    void changed();
    void applied(settings::Applied how);

private:
    template <typename Change> void edit(Change change);

    StationConfig config_;
};

} // namespace settings
