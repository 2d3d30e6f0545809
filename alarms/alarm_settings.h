#pragma once

#include "toolkit/ini_text.h"

#include <QString>

namespace alarms {

// What the horn plays. A sound file is an absolute path; empty: the program's own sound.
struct HornSettings {
    bool on = true;      // som
    QString highSound;   // som_alta: alta alarms, played in a loop
    QString mediumSound; // som_media: média and baixa alarms
};

// The [alarmes] group of anemometros.ini in the station folder.
struct AlarmSettings {
    HornSettings horn;
    bool openWindow = true; // abrir_janela: a new ATIVO alarm opens the Alarmes window
    // atraso_normalizar: how long a condition must stay gone before its alarm is normal again,
    // as crane wind controllers do, so that a wind hovering at a limit makes one alarm.
    qint64 normalizeDelayMs = 0;
};

inline constexpr int kMostNormalizeDelaySeconds = 3600;

struct AlarmSettingsResult {
    AlarmSettings settings;
    // Every bad value and unknown key, in Portuguese, to be shown once; what was wrong keeps
    // its default, what was right is used.
    QString error;
};

// The most that a sound file of the user's may hold.
using toolkit::kMostSettingsBytes;
inline constexpr qint64 kMostSoundBytes = 10 * 1024 * 1024;

// Reads the [alarmes] group of anemometros.ini as read once at start; group and key names and
// the words ligado, desligado, sim and não in any case. The sound files are relative to the
// folder of the INI file and must be small regular WAV files. A missing file, one that could
// not be read (its reader of [mqtt] says so, once) or a file without the group gives the
// defaults and no error. Other groups are left to others.
AlarmSettingsResult readAlarmSettings(const toolkit::IniFile& ini);
// The same for a file of its own, read here for [alarmes] alone: one that cannot be read is
// said.
AlarmSettingsResult readAlarmSettings(const QString& path);

} // namespace alarms
