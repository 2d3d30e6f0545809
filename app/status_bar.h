#pragma once

#include <array>

class QLabel;
class QStatusBar;

namespace app {

// The three panels of the main window's status bar: 40, 40 pixels and the rest of the width,
// texts centred and plain. Every panel keeps a fixed size, so the texts that change at every
// poll never make the status bar lay itself out again (that was half the program's work per
// poll), and each paints its own background, so a new trail repaints the panel alone.
std::array<QLabel*, 3> buildStatusPanels(QStatusBar* bar);

} // namespace app
