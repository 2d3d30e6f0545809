#pragma once

#include "canvas.h"

namespace icongen {

// Station panel icons, drawn on a 32-unit grid to fill the panels' 33 × 33 image boxes.
inline constexpr qreal kPanelIconGrid = 32;

enum class LinkLook { Good, Lost, Idle };

Drawing communicationIcon(LinkLook look);
// Charge in quarters, 0 (empty, red) to 4 (full, green).
Drawing batteryIcon(int quarters);
Drawing idleBatteryIcon();
// Not sounding is the grey speaker under a red prohibition sign.
Drawing speakerIcon(bool sounding);
Drawing radioIcon(bool transmitting);

} // namespace icongen
