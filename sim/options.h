#pragma once

#include "sim/station_setup.h"

#include <QStringList>

namespace sim {

struct CommandLine {
    enum class Action { Run, ShowHelp, Refuse };
    Action action = Action::Run;
    BusSetup setup;
    QString error; // Portuguese, for standard error when refused
};

// Reads the arguments after the program name, and the scenario file they name.
CommandLine parseCommandLine(const QStringList& arguments);

QString helpText();

} // namespace sim
