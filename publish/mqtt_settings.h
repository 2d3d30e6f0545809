#pragma once

#include <QString>

#include <optional>

namespace publish {

// The [mqtt] group of anemometros.ini in the station folder. Publishing is off unless a host
// is set.
struct MqttSettings {
    QString host;
    int port = 1883;
    QString prefix = QStringLiteral("anemometros");
    QString clientId; // "anemometros-<host name>" when not set
    QString username;
    QString password; // from password_file; never printed
    QString tlsCa;    // a CA file: TLS on
    int keepaliveS = 30;
    bool discovery = false;
    QString discoveryPrefix = QStringLiteral("homeassistant");
};

struct SettingsResult {
    std::optional<MqttSettings> settings; // nothing: publishing off
    QString error; // a bad value, in Portuguese, to be shown once; publishing off then
};

inline const QString kSettingsFile = QStringLiteral("anemometros.ini");

// Reads the [mqtt] group of an INI file. A missing file or an empty host is publishing off,
// without an error.
SettingsResult readSettings(const QString& path);

} // namespace publish
