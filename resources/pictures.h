#pragma once

#include <QIcon>
#include <QString>

#include <array>

// Paths of the pictures compiled into the program. Linking anemo_resources registers them
// before main() runs; no Q_INIT_RESOURCE is needed.
namespace pictures {

// Inactive-state panel icons, shown until a station's first reply; 16, 32 and 48 pixels each.
inline constexpr char kComIdleIcon[] = ":/icons/com_idle.ico";
inline constexpr char kRfIdleIcon[] = ":/icons/rf_idle.ico";
inline constexpr char kSoundIdleIcon[] = ":/icons/sound_idle.ico";
inline constexpr char kBatteryIdleIcon[] = ":/icons/battery_idle.ico";

// The station display unit; the .ico holds 16, 32 and 48 pixels.
inline constexpr char kAppIcon[] = ":/icons/app.ico";
inline constexpr std::array<int, 6> kAppIconPngSizes{16, 32, 48, 64, 128, 256};
QString appIconPng(int size);
// Every PNG size, for QGuiApplication::setWindowIcon().
QIcon applicationIcon();

// 24 × 24 button pictures.
inline constexpr char kSaveButton[] = ":/icons/button_save.png";
inline constexpr char kSearchButton[] = ":/icons/button_search.png";
inline constexpr char kOpenButton[] = ":/icons/button_open.png";

} // namespace pictures
