#pragma once

#include "canvas.h"

namespace icongen {

// Button pictures, drawn on a 24-unit grid and written at 24 × 24 pixels.
inline constexpr qreal kButtonGrid = 24;

Drawing floppyDisk();
Drawing magnifyingGlass();
Drawing openFolder();

} // namespace icongen
