#pragma once

#include "readings/reply.h"

#include <QString>

#include <functional>

namespace readings {

class StationPanel;

// Appends an outcome (" - OK", " - ERRO") to the poll trail in the status bar.
using TrailAppender = std::function<void(const QString&)>;

// No reply or an invalid one: the communication-off icon, both presets silver, " - ERRO".
// The values of the last good reply stay on the panel.
void showFailure(StationPanel& panel, const TrailAppender& appendToTrail);

// A good reply, step by step; an icon that cannot be loaded stops the steps there, and what
// was already shown stays shown.
void showReading(StationPanel& panel, const Reading& reading, const TrailAppender& appendToTrail);

} // namespace readings
